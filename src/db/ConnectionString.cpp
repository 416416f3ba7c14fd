#include "db/ConnectionString.h"

#include <algorithm>

#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae {

const ConnectionStringPair* FindPair(const std::vector<ConnectionStringPair>& pairs,
                                     std::u16string_view key) {
    for (const auto& p : pairs)
        if (EqualsIgnoreCase(p.key, key)) return &p;
    return nullptr;
}

namespace {

// How a reader takes a connection string apart.
struct Rules {
    bool (*blank)(char16_t) noexcept;  // what is trimmed around keywords and values
    std::u16string_view openers;       // the characters that enclose a value
    // A fault ends the reading (OLE DB). Otherwise (a driver's own options) a piece without '='
    // is passed over, so is the text after an enclosed value up to the next ';', a value never
    // closed takes the rest of the string, and "==" and an empty keyword mean nothing special.
    bool strict;
};
constexpr Rules OleDbRules{IsBlankOrLineEnd, u"\"'{", true};
constexpr Rules DriverRules{IsSpace, u"{", false};

// Reads a keyword from s[i] up to its '=' (i then after it); false at a ';' or the end first.
bool ReadKey(std::u16string_view s, size_t& i, const Rules& rules, std::u16string& key) {
    for (; i < s.size() && s[i] != u';'; ++i) {
        if (s[i] != u'=') {
            key += s[i];
        } else if (rules.strict && i + 1 < s.size() && s[i + 1] == u'=') {
            key += u'=';  // "==" stands for '=' inside a keyword
            ++i;
        } else {
            ++i;
            key = std::u16string(Trim(key, rules.blank));
            return true;
        }
    }
    return false;
}

// Reads the value that the opening character s[i] encloses (i then after its closing one);
// inside, the closing character written twice stands for itself. false when it is never closed.
bool ReadEnclosed(std::u16string_view s, size_t& i, std::u16string& value) {
    const char16_t close = s[i] == u'{' ? u'}' : s[i];
    for (++i; i < s.size(); ++i) {
        if (s[i] != close) {
            value += s[i];
        } else if (i + 1 < s.size() && s[i + 1] == close) {
            value += close;
            ++i;
        } else {
            ++i;
            return true;
        }
    }
    return false;
}

ConnectionStringReading Parse(std::u16string_view s, const Rules& rules) {
    ConnectionStringReading p;
    const size_t n = s.size();
    size_t i = 0;
    auto fail = [&p](const char* why, size_t at) {
        p.fault = why;
        p.faultAt = at;
        return p;
    };
    for (;;) {
        while (i < n && (rules.blank(s[i]) || s[i] == u';')) ++i;
        if (i >= n) break;
        const size_t keyStart = i;
        std::u16string key, value;
        if (!ReadKey(s, i, rules, key)) {
            if (!rules.strict) continue;
            return fail("a keyword without '='", keyStart);
        }
        if (key.empty() && rules.strict) return fail("a value without a keyword", keyStart);
        while (i < n && rules.blank(s[i])) ++i;
        if (i < n && rules.openers.find(s[i]) != std::u16string_view::npos) {
            const size_t open = i;
            const bool closed = ReadEnclosed(s, i, value);
            if (!rules.strict) {
                i = std::min(s.find(u';', i), n);
            } else if (!closed) {
                return fail("a quoted value that is never closed", open);
            } else {
                while (i < n && rules.blank(s[i])) ++i;
                if (i < n && s[i] != u';') return fail("text after a quoted value", i);
            }
        } else {
            const size_t start = i;
            while (i < n && s[i] != u';') ++i;
            value = Trim(s.substr(start, i - start), rules.blank);
        }
        p.pairs.push_back({std::move(key), std::move(value)});
    }
    return p;
}

}  // namespace

ConnectionStringReading ReadConnectionString(std::u16string_view text) {
    return Parse(text, OleDbRules);
}

RuntimeError BadConnectionString(const std::string& detail) {
    // Error -2147217805: its standard text, its closing period made a colon, then what is wrong.
    std::string text(err::Text(err::BadInitString));
    text.back() = ':';
    return RuntimeError(err::BadInitString, text + " " + detail);
}

void ThrowBadConnectionString(const std::string& fault, size_t at, const char* what) {
    throw BadConnectionString(fault + " at character " + std::to_string(at + 1) + " of " + what);
}

std::vector<ConnectionStringPair> ParseConnectionString(std::u16string_view text) {
    ConnectionStringReading p = Parse(text, OleDbRules);
    if (!p.fault.empty()) ThrowBadConnectionString(p.fault, p.faultAt, "the connection string");
    return std::move(p.pairs);
}

std::vector<ConnectionStringPair> ReadablePairs(std::u16string_view text) {
    return Parse(text, OleDbRules).pairs;
}

std::vector<ConnectionStringPair> DriverOptionPairs(std::u16string_view text) {
    return Parse(text, DriverRules).pairs;
}

}  // namespace mae
