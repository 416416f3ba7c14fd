#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mae {

// The connection string handed to the driver manager. The SQLite ODBC driver creates an empty
// database wherever a mistyped path points: a string that names a SQLite driver gets NoCreat=1,
// unless it says itself (a NoCreat key of any value).
std::u16string WithNoCreate(std::u16string_view connectionString);

// When the string names a SQLite driver and its Database file is not there: that path (UTF-8),
// "" when the string names no file at all. Nothing for other drivers, for an in-memory or URI
// database, and for a file that exists.
std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString);

}  // namespace mae
