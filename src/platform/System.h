#pragma once

#include <cstddef>

// What the program asks of the system besides its files (FileSystem.h), one implementation per
// system (posix/System.cpp, win32/System.cpp).
namespace mae::platform {

// Whether this is the Windows edition, whose ODBC drivers go by Windows' names.
bool IsWindows() noexcept;

// Where the system has an ANSI code page (Windows): fills bytes[u], for each UTF-16 unit u below
// count, with the byte its conversion (WideCharToMultiByte(CP_ACP, 0, ...)) makes of that unit
// converted alone, '?' where that is not one byte (a surrogate, a double-byte code page), and
// returns true. Elsewhere (POSIX) returns false and fills nothing.
bool AnsiCodePageBytes(unsigned char* bytes, size_t count) noexcept;

}  // namespace mae::platform
