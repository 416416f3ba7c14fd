#pragma once
// The run-time error report of the Windows edition (Win32 message boxes).

#include <windows.h>

#include <exception>
#include <string>

#include "common/RuntimeError.h"

namespace mae::win32 {

// "Run-time error 'N':", an empty line, the description. A negative number is an HRESULT and
// shows its hexadecimal form too: "Run-time error '-2147467259 (80004005)':".
std::wstring RunTimeErrorText(const RuntimeError& error);

// Shows the report in a box with the error icon, titled with the program's name, owned by
// owner (may be null). Never throws.
void ShowRunTimeError(const RuntimeError& error, HWND owner) noexcept;
void ShowRunTimeError(const std::exception& error, HWND owner) noexcept;

}  // namespace mae::win32
