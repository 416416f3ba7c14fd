#include "db/SqliteNoCreate.h"

#include <algorithm>
#include <vector>

#include "common/Text.h"
#include "platform/FileSystem.h"

namespace mae {

namespace {

struct Attribute {
    std::u16string key;  // lower case, blanks around it dropped
    std::u16string value;
};

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
    return text;
}

// key=value pairs separated by ";"; a value in braces may hold ";" and "}}" stands for "}".
std::vector<Attribute> Attributes(std::u16string_view text) {
    std::vector<Attribute> attributes;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t equals = text.find(u'=', pos);
        const size_t semicolon = text.find(u';', pos);
        if (equals == std::u16string_view::npos || semicolon < equals) {
            if (semicolon == std::u16string_view::npos) break;
            pos = semicolon + 1;  // a piece without "=" carries nothing
            continue;
        }
        Attribute attribute{AsciiLower(TrimBlanks(text.substr(pos, equals - pos))), {}};
        pos = equals + 1;
        while (pos < text.size() && text[pos] == u' ') ++pos;
        if (pos < text.size() && text[pos] == u'{') {
            ++pos;
            while (pos < text.size()) {
                if (text[pos] == u'}') {
                    if (pos + 1 < text.size() && text[pos + 1] == u'}') {
                        attribute.value += u'}';
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                attribute.value += text[pos++];
            }
            const size_t end = text.find(u';', pos);
            pos = end == std::u16string_view::npos ? text.size() : end + 1;
        } else {
            const size_t end = text.find(u';', pos);
            const size_t stop = end == std::u16string_view::npos ? text.size() : end;
            attribute.value = TrimBlanks(text.substr(pos, stop - pos));
            pos = stop + 1;
        }
        attributes.push_back(std::move(attribute));
    }
    return attributes;
}

const Attribute* Find(const std::vector<Attribute>& attributes, std::u16string_view key) {
    for (const Attribute& attribute : attributes) {
        if (attribute.key == key) return &attribute;
    }
    return nullptr;
}

bool NamesSqliteDriver(const std::vector<Attribute>& attributes) {
    const Attribute* driver = Find(attributes, u"driver");
    return driver && AsciiLower(driver->value).find(u"sqlite") != std::u16string::npos;
}

}  // namespace

std::u16string WithNoCreate(std::u16string_view connectionString) {
    std::u16string text(connectionString.substr(0, DriverStringLimit));
    const std::vector<Attribute> attributes = Attributes(text);
    if (!NamesSqliteDriver(attributes) || Find(attributes, u"nocreat")) return text;
    // First, not last: the SQLite driver reads only the first 4095 bytes of a string, and an
    // unclosed brace near the end of a cut string would take a key after it into its value.
    return u"NoCreat=1;" + text;
}

std::optional<std::string> MissingSqliteFile(std::u16string_view connectionString) {
    const std::vector<Attribute> attributes = Attributes(connectionString);
    if (!NamesSqliteDriver(attributes)) return std::nullopt;
    const Attribute* database = Find(attributes, u"database");
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
    const std::vector<Attribute> attributes = Attributes(connectionString);
    if (!NamesSqliteDriver(attributes)) return reading;
    // The driver reads the first Timeout of the string: the string's own is put back once the
    // connection is open (Connection.cpp).
    if (const Attribute* timeout = Find(attributes, u"timeout")) {
        const std::u16string& v = timeout->value;
        if (!v.empty() && v.size() <= 9 &&
            std::all_of(v.begin(), v.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
            reading.lockWaitMs = std::stol(ToUtf8(v));
        }
    }
    // In front, as NoCreat: the driver reads only the first 4095 bytes of a string.
    reading.text = u"Timeout=1;" + reading.text;
    if (rowByRow && !Find(attributes, u"stepapi")) reading.text = u"StepAPI=1;" + reading.text;
    return reading;
}

}  // namespace mae
