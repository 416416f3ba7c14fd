#pragma once

#include <cstddef>
#include <cstdint>

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

// Where the ANSI code page writes some units as two bytes (932, 936, 949, 950): fills codes[u],
// for each unit u below count, with lead byte * 256 + trail byte for such a unit and 0 for any
// other, and returns true. Returns false, filling nothing, where no unit is two bytes (every
// single-byte code page, and POSIX).
bool AnsiCodePageDoubleBytes(uint16_t* codes, size_t count) noexcept;

}  // namespace mae::platform
