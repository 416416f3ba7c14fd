#include "db/SqliteDriver.h"

#include <algorithm>
#include <vector>

#include "common/Text.h"
#include "db/ConnectionString.h"
#include "platform/FileSystem.h"

namespace mae {

std::u16string CutForDriverManager(std::u16string_view connectionString) {
    return std::u16string(connectionString.substr(0, DriverStringLimit));
}

bool IsSqliteDriverLibrary(std::u16string_view library) {
    // The file's own name, without its folder: "libsqlite3odbc.so", "sqlite3odbc.dll".
    const size_t separator = library.find_last_of(u"/\\");
    const std::u16string_view file =
        separator == std::u16string_view::npos ? library : library.substr(separator + 1);
    return AsciiLower(std::u16string(file)).find(u"sqlite") != std::u16string::npos;
}

std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString) {
    const std::vector<ConnectionStringPair> attributes = DriverOptionPairs(connectionString);
    const ConnectionStringPair* database = FindPair(attributes, u"database");
    if (!database && FindPair(attributes, u"dsn")) return std::nullopt;
    if (!database || database->value.empty()) return std::string();
    if (database->value == u":memory:" || database->value.starts_with(u"file:")) {
        return std::nullopt;
    }
    std::string path = ToUtf8(database->value);
    if (!platform::IsMissing(path)) return std::nullopt;
    return path;
}

SqliteReading ForSqliteReading(std::u16string_view connectionString, bool rowByRow) {
    SqliteReading reading{std::u16string(connectionString), std::nullopt};
    const std::vector<ConnectionStringPair> attributes = DriverOptionPairs(connectionString);
    // The driver reads the first Timeout of the string: the string's own is put back once the
    // connection is open.
    if (const ConnectionStringPair* timeout = FindPair(attributes, u"timeout")) {
        const std::u16string& v = timeout->value;
        if (!v.empty() && v.size() <= 9 &&
            std::all_of(v.begin(), v.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
            reading.lockWaitMs = std::stol(ToUtf8(v));
        }
    }
    reading.text = u"NoCreat=1;Timeout=1;" + reading.text;
    if (rowByRow && !FindPair(attributes, u"stepapi")) reading.text = u"StepAPI=1;" + reading.text;
    return reading;
}

}  // namespace mae
