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

namespace mae {

// How a connection that only reads is opened through the SQLite ODBC driver. Any other string
// is left as it is (text unchanged, no timeout).
struct SqliteReading {
    // The driver waits at most a millisecond for a writer's lock while it connects (the
    // synchronous pragma it sends then needs one, and a read-only connection has no use for
    // it); with rowByRow it steps through results row by row instead of copying each one whole
    // first (StepAPI=1; a StepAPI key of the string's own is kept).
    std::u16string text;
    // The string's own Timeout (the driver's wait for a lock, in milliseconds), when it gives
    // one as a number.
    std::optional<long> lockWaitMs;
};
SqliteReading ForSqliteReading(std::u16string_view connectionString, bool rowByRow);

}  // namespace mae
