#include "app/win32/ErrorReport.h"

#include <cstdio>
#include <cwchar>
#include <new>

#include "app/win32/WideText.h"
#include "extract/RunUi.h"

namespace mae::win32 {

std::wstring RunTimeErrorText(const RuntimeError& error) {
    wchar_t number[40];
    if (error.number() < 0) {
        std::swprintf(number, 40, L"%ld (%08lX)", static_cast<long>(error.number()),
                      static_cast<unsigned long>(static_cast<uint32_t>(error.number())));
    } else {
        std::swprintf(number, 40, L"%ld", static_cast<long>(error.number()));
    }
    return L"Run-time error '" + std::wstring(number) + L"':\r\n\r\n" +
           WideFromUtf8(error.description());
}

void ShowRunTimeError(const RuntimeError& error, HWND owner) noexcept {
    try {
        const std::wstring text = RunTimeErrorText(error);
        const std::wstring title = Wide(ProgramName);
        MessageBoxW(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    } catch (...) {
        // Not even the text could be made.
        MessageBoxW(owner, L"Run-time error '7':\r\n\r\nOut of memory", L"meridane-audit-extract",
                    MB_OK | MB_ICONERROR);
    }
}

void ShowRunTimeError(const std::exception& error, HWND owner) noexcept {
    try {
        ShowRunTimeError(AsRunTimeError(error), owner);
    } catch (...) {
        MessageBoxW(owner, L"Run-time error '7':\r\n\r\nOut of memory", L"meridane-audit-extract",
                    MB_OK | MB_ICONERROR);
    }
}

}  // namespace mae::win32
