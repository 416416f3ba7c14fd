#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mae {

// The longest connection string handed to the driver manager, which takes its length as a 16-bit
// count; a longer one is cut there.
inline constexpr size_t DriverStringLimit = 32000;

// The connection string handed to the driver manager: cut to DriverStringLimit units, then, as
// the SQLite ODBC driver creates an empty database wherever a mistyped path points, NoCreat=1 is
// put before a string that names a SQLite driver, unless what is left says itself (a NoCreat
// key of any value). Added after the cut and at the front, it is never cut off.
std::u16string WithNoCreate(std::u16string_view connectionString);

// When the string names a SQLite driver and its Database file is not there: that path (UTF-8),
// "" when the string names no file at all. Nothing for other drivers, for an in-memory or URI
// database, and for a file that exists.
std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString);

}  // namespace mae
