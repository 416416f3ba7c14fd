#include "db/SqliteNoCreate.h"

#include <algorithm>
#include <vector>

#include "common/Text.h"
#include "db/ConnectionString.h"
#include "platform/FileSystem.h"

namespace mae {

namespace {

using Pairs = std::vector<ConnectionStringPair>;

bool NamesSqliteDriver(const Pairs& attributes) {
    const ConnectionStringPair* driver = FindPair(attributes, u"driver");
    return driver && AsciiLower(driver->value).find(u"sqlite") != std::u16string::npos;
}

}  // namespace

std::u16string WithNoCreate(std::u16string_view connectionString) {
    std::u16string text(connectionString.substr(0, DriverStringLimit));
    const Pairs attributes = DriverOptionPairs(text);
    if (!NamesSqliteDriver(attributes) || FindPair(attributes, u"nocreat")) return text;
    // First, not last: the SQLite driver reads only the first 4095 bytes of a string, and an
    // unclosed brace near the end of a cut string would take a key after it into its value.
    return u"NoCreat=1;" + text;
}

std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString) {
    const Pairs attributes = DriverOptionPairs(connectionString);
    if (!NamesSqliteDriver(attributes)) return std::nullopt;
    const ConnectionStringPair* database = FindPair(attributes, u"database");
    if (!database || database->value.empty()) return std::string();
    if (database->value == u":memory:" || database->value.starts_with(u"file:")) {
        return std::nullopt;
    }
    std::string path = ToUtf8(database->value);
    if (!platform::IsMissing(path)) return std::nullopt;
    return path;
}

}  // namespace mae

namespace mae {

SqliteReading ForSqliteReading(std::u16string_view connectionString, bool rowByRow) {
    SqliteReading reading{std::u16string(connectionString), std::nullopt};
    const Pairs attributes = DriverOptionPairs(connectionString);
    if (!NamesSqliteDriver(attributes)) return reading;
    // The driver reads the first Timeout of the string: the string's own is put back once the
    // connection is open (Connection.cpp).
    if (const ConnectionStringPair* timeout = FindPair(attributes, u"timeout")) {
        const std::u16string& v = timeout->value;
        if (!v.empty() && v.size() <= 9 &&
            std::all_of(v.begin(), v.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
            reading.lockWaitMs = std::stol(ToUtf8(v));
        }
    }
    // In front, as NoCreat: the driver reads only the first 4095 bytes of a string.
    reading.text = u"Timeout=1;" + reading.text;
    if (rowByRow && !FindPair(attributes, u"stepapi")) reading.text = u"StepAPI=1;" + reading.text;
    return reading;
}

}  // namespace mae
