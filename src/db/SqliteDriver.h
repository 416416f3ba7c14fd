#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mae {

// The longest connection string handed to the driver manager, which takes its length as a 16-bit
// count; a longer one is cut there.
inline constexpr size_t DriverStringLimit = 32000;

// The connection string cut to DriverStringLimit units: what follows only puts short keys in
// front of it, which are never cut off.
std::u16string CutForDriverManager(std::u16string_view connectionString);

// Whether library, the file a driver entry points at (odbc::DriverLibrary), is the SQLite ODBC
// driver: decided by the file, whatever the entry is called.
bool IsSqliteDriverLibrary(std::u16string_view library);

// The SQLite ODBC driver's Database file when it is not there: that path (UTF-8), "" when the
// string names no file at all. Nothing for an in-memory or URI database, for a file that exists,
// and for a data source that keeps its file in its own entry.
std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString);

// How a connection that only reads is opened through the SQLite ODBC driver.
struct SqliteReading {
    // In front of the string, where the driver reads a key first: NoCreat=1, as the driver
    // creates an empty database wherever a mistyped path points (an empty or spaced NoCreat of
    // the string's own cannot undo it); Timeout=1, a wait of at most a millisecond for a writer's
    // lock while it connects (the synchronous pragma it sends then needs one, and a read-only
    // connection has no use for it); with rowByRow, StepAPI=1, so that it steps through results
    // row by row instead of copying each one whole first (a StepAPI key of the string's own is
    // kept). In front and not at the end also because the driver reads only the first 4095
    // bytes of a string, and an unclosed brace near the end of a cut string would take a key
    // after it into its value.
    std::u16string text;
    // The string's own Timeout (the driver's wait for a lock, in milliseconds), when it gives
    // one as a number: put back once the connection is open (Connection.cpp).
    std::optional<long> lockWaitMs;
};
SqliteReading ForSqliteReading(std::u16string_view connectionString, bool rowByRow);

}  // namespace mae
