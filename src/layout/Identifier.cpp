#include "layout/Identifier.h"

#include <algorithm>
#include <iterator>

#include "common/AnsiCodePage.h"
#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae {

namespace {

constexpr size_t MaxParts = 4;  // server.database.schema.object, the most any engine names
constexpr size_t npos = std::u16string_view::npos;

enum Kind : unsigned char { Letter, MarkOrDigit };

struct LetterRange {
    char32_t first, last;
    Kind kind;
};

// Letters, combining marks and decimal digits above ASCII, from the Unicode character database.
constexpr LetterRange NameLetters[] = {
#include "layout/NameLetters.inc"
};

// Where a unit stands: the first of a plain part, a later one of it, or inside [...] or "...".
enum class Place { First, Rest, Delimited };

// Words that an engine reads as a value rather than a column: NULL, the truth values and the
// functions called without parentheses. "current_user" in a select list gives the session's
// role, "CURRENT_TIMESTAMP" the time, in every item of every record.
constexpr std::u16string_view Words[] = {
    u"NULL",           u"TRUE",         u"FALSE",          u"CURRENT_TIMESTAMP",
    u"CURRENT_DATE",   u"CURRENT_TIME", u"CURRENT_USER",   u"USER",
    u"SESSION_USER",   u"SYSTEM_USER",  u"CURRENT_ROLE",   u"CURRENT_CATALOG",
    u"CURRENT_SCHEMA", u"LOCALTIME",    u"LOCALTIMESTAMP",
};

// Blanks, tabs and line ends around a name (a value pasted into an Access table brings them).
bool IsSurrounding(char16_t c) noexcept { return IsBlankOrLineEnd(c); }

bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
bool IsAsciiLetter(char32_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsAsciiDigit(char32_t c) { return c >= u'0' && c <= u'9'; }
bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// The kind of a code point above ASCII, or false when it is neither a letter nor a mark or digit.
bool KindOf(char32_t c, Kind& kind) {
    const auto* end = std::end(NameLetters);
    const auto* it = std::upper_bound(std::begin(NameLetters), end, c,
                                      [](char32_t v, const LetterRange& r) { return v < r.first; });
    if (it == std::begin(NameLetters)) return false;
    --it;
    if (c > it->last) return false;
    kind = it->kind;
    return true;
}

// The code point at i and how many units it takes; a surrogate half without its other half
// comes back as itself (one unit), which no rule lets stand.
char32_t CodePointAt(std::u16string_view s, size_t i, size_t& units) {
    units = 1;
    const char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
        s[i + 1] <= 0xDFFF) {
        units = 2;
        return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00);
    }
    return c;
}

// Whether a plain part may hold c at place (First or Rest).
bool PlainAllows(char32_t c, Place place) {
    const bool first = place == Place::First;
    if (c < 0x80) {
        return IsAsciiLetter(c) || c == u'_' ||
               (!first && (IsAsciiDigit(c) || c == u'$' || c == u'#' || c == u'@'));
    }
    Kind kind{};
    if (!KindOf(c, kind)) return false;
    return kind == Letter || !first;
}

// What the database receives for a unit above ASCII is its byte in the code page the statement
// is narrowed to (the PC's, the Windows-1252 table on Linux). A byte above ASCII is a character
// of that page and none of SQL's delimiters; '?' is the page's "no such character". Any other
// ASCII byte is a best fit (U+01C0 to '|', U+FF3D to ']', U+0300 to '`'): only a letter, a digit
// where digits stand, '_', or a blank inside a delimited part is let through.
bool ImageAllows(char16_t unit, Place place) {
    if (unit < 0x80) return true;
    const unsigned char byte = ToAnsi(unit);
    if (byte >= 0x80 || byte == '?') return true;
    if (IsAsciiLetter(byte) || byte == '_') return true;
    if (IsAsciiDigit(byte)) return place != Place::First;
    return byte == ' ' && place == Place::Delimited;
}

bool ImageAllows(std::u16string_view s, size_t i, size_t units, Place place) {
    for (size_t k = i; k < i + units; ++k) {
        if (!ImageAllows(s[k], place)) return false;
    }
    return true;
}

// Inside [...]: also never a quote, a backquote or ';'. PostgreSQL and psqlODBC do not read
// brackets: to them such a character would open a string or end the statement.
bool BracketAllows(char32_t c) { return c != u'\'' && c != u'"' && c != u'`' && c != u';'; }

enum class Why { Character, End, Word };

struct Fault {
    size_t at = npos;
    Why why = Why::Character;
};

// One delimited part from at ([...] or "..."), its closing delimiter written twice inside: its
// end, or npos with fault set.
size_t DelimitedEnd(std::u16string_view s, size_t at, Fault& fault) {
    const bool bracket = s[at] == u'[';
    const char16_t close = bracket ? u']' : u'"';
    bool word = false;  // a part of blanks only names nothing
    size_t i = at + 1;
    while (i < s.size()) {
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                i += 2;
                word = true;
                continue;
            }
            if (word) return i + 1;
            fault = {i, Why::Character};
            return npos;
        }
        size_t units = 1;
        const char32_t c = CodePointAt(s, i, units);
        if (IsControl(c) || IsSurrogate(c) || (bracket && !BracketAllows(c)) ||
            !ImageAllows(s, i, units, Place::Delimited)) {
            fault = {i, Why::Character};
            return npos;
        }
        if (c != u' ') word = true;
        i += units;
    }
    fault = {s.size(), Why::End};
    return npos;
}

// One plain part from at: its end, or npos with fault set.
size_t PlainEnd(std::u16string_view s, size_t at, Fault& fault) {
    size_t i = at;
    while (i < s.size()) {
        size_t units = 1;
        const char32_t c = CodePointAt(s, i, units);
        const Place place = i == at ? Place::First : Place::Rest;
        if (!PlainAllows(c, place) || !ImageAllows(s, i, units, place)) break;
        i += units;
    }
    if (i == at) {
        fault = {at, at < s.size() ? Why::Character : Why::End};
        return npos;
    }
    return i;
}

bool IsWord(std::u16string_view part) {
    return std::any_of(std::begin(Words), std::end(Words),
                       [&](std::u16string_view w) { return EqualsIgnoreCase(part, w); });
}

// Where the trimmed name s breaks the rule; at is npos when it is a name.
Fault FaultOf(std::u16string_view s) {
    Fault fault;
    size_t at = 0;
    for (size_t part = 1;; ++part) {
        const bool delimited = at < s.size() && (s[at] == u'[' || s[at] == u'"');
        const size_t end = delimited ? DelimitedEnd(s, at, fault) : PlainEnd(s, at, fault);
        if (end == npos) return fault;
        if (end == s.size()) {
            // The column itself, plain, may not be a value's word ("x.current_user" is one on
            // PostgreSQL too).
            if (!delimited && IsWord(s.substr(at))) return {at, Why::Word};
            return {};
        }
        if (s[end] != u'.' || part == MaxParts) return {end, Why::Character};
        at = end + 1;
    }
}

size_t LeadingSurrounding(std::u16string_view name) {
    size_t lead = 0;
    while (lead < name.size() && IsSurrounding(name[lead])) ++lead;
    return lead;
}

// The name cut for a message, its control characters shown as '?'.
std::string Shown(std::u16string_view name) {
    std::u16string shown(name.substr(0, 80));
    for (char16_t& c : shown) {
        if (IsControl(c)) c = u'?';
    }
    return "'" + ToUtf8(shown) + (name.size() > 80 ? "'..." : "'");
}

std::string Pointed(std::u16string_view name, const Fault& fault) {
    if (fault.why == Why::End || fault.at >= name.size()) return "it ends before its name is whole";
    if (fault.why == Why::Word) {
        return "'" + ToUtf8(name.substr(fault.at)) +
               "' is a word the database reads as a value, not a column";
    }
    const char16_t c = name[fault.at];
    std::string what;
    if (c == u' ') {
        what = "a blank";
    } else if (IsControl(c)) {
        what = "a control character";
    } else if (IsSurrogate(c)) {
        size_t units = 1;
        CodePointAt(name, fault.at, units);
        what = units == 2 ? "'" + ToUtf8(name.substr(fault.at, 2)) + "'" : "half a character";
    } else {
        what = "'" + ToUtf8(name.substr(fault.at, 1)) + "'";
    }
    return "character " + std::to_string(fault.at + 1) + " (" + what + ") cannot stand there";
}

}  // namespace

std::u16string_view SentName(std::u16string_view name) { return Trim(name, IsSurrounding); }

size_t IdentifierFault(std::u16string_view name) {
    const Fault fault = FaultOf(SentName(name));
    return fault.at == npos ? npos : fault.at + LeadingSurrounding(name);
}

std::u16string ResultColumnName(std::u16string_view name) {
    const std::u16string_view sent = SentName(name);
    // The last part starts after the last '.' outside a delimited part.
    size_t start = 0;
    char16_t open = 0;
    for (size_t i = 0; i < sent.size(); ++i) {
        const char16_t c = sent[i];
        if (open) {
            if (c == open && i + 1 < sent.size() && sent[i + 1] == open) {
                ++i;
            } else if (c == open) {
                open = 0;
            }
        } else if (c == u'[' || c == u'"') {
            open = c == u'[' ? u']' : u'"';
        } else if (c == u'.') {
            start = i + 1;
        }
    }
    std::u16string_view last = sent.substr(start);
    if (last.size() < 2 || (last.front() != u'[' && last.front() != u'"')) {
        return std::u16string(last);
    }
    const char16_t close = last.front() == u'[' ? u']' : u'"';
    std::u16string out;
    for (size_t i = 1; i + 1 < last.size(); ++i) {
        out += last[i];
        if (last[i] == close && i + 2 < last.size() && last[i + 1] == close) ++i;
    }
    return out;
}

std::u16string CheckedIdentifier(std::u16string_view name, const std::string& whose) {
    const size_t lead = LeadingSurrounding(name);
    const std::u16string_view sent = SentName(name);
    Fault fault = FaultOf(sent);
    if (fault.at == npos) return std::u16string(sent);
    fault.at += lead;
    throw ErrorOf(err::InvalidCall,
                  whose + " (" + Shown(name) +
                      ") is not a name the program sends to a database: " + Pointed(name, fault) +
                      ". A name is a letter or _ followed by letters, digits, _, $, # and @, or "
                      "a part in [...] or \"...\", and up to four such parts joined by dots; "
                      "correct it in the control database.");
}

}  // namespace mae
