#pragma once
// The run-time error report of the Windows edition (Win32 message boxes).

#include <windows.h>

#include <exception>
#include <string>

#include "common/RuntimeError.h"

namespace mae::win32 {

// The report's text (app/startup/WindowFacts.h) with the line breaks of Windows.
std::wstring RunTimeErrorText(const RuntimeError& error);

// Shows the report in a box with the error icon, titled with the program's name, owned by
// owner (may be null). Never throws.
void ShowRunTimeError(const RuntimeError& error, HWND owner) noexcept;
// A caught failure of any type (std::current_exception()), as AsRunTimeError reports it.
void ShowRunTimeError(std::exception_ptr failure, HWND owner) noexcept;

}  // namespace mae::win32
