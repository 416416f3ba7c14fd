#include "app/win32/ErrorReport.h"

#include <new>

#include "app/startup/WindowFacts.h"
#include "app/win32/WideText.h"
#include "extract/RunUi.h"

namespace mae::win32 {

std::wstring RunTimeErrorText(const RuntimeError& error) {
    return WideFromUtf8(mae::RunTimeErrorText(error.number(), error.what(), "\r\n"));
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

void ShowRunTimeError(std::exception_ptr failure, HWND owner) noexcept {
    try {
        ShowRunTimeError(AsRunTimeError(failure), owner);
    } catch (...) {
        MessageBoxW(owner, L"Run-time error '7':\r\n\r\nOut of memory", L"meridane-audit-extract",
                    MB_OK | MB_ICONERROR);
    }
}

}  // namespace mae::win32
