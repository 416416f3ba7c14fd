#pragma once
// The ODBC C API, for the db sources only, and what the platform's drivers differ in. With
// mingw-w64, <sql.h> needs the Windows types declared before it.

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>

namespace mae::odbc {

// Whether a driver's text asked for as bytes (SQL_C_CHAR) can be its own UTF-8: on Windows the
// SQLite ODBC driver may convert it to the code page instead, so text is read as UTF-16 there.
#ifdef _WIN32
inline constexpr bool DriverBytesMayBeUtf8 = false;
#else
inline constexpr bool DriverBytesMayBeUtf8 = true;
#endif

}  // namespace mae::odbc
