#include "layout/Identifier.h"

#include "common/RuntimeError.h"
#include "common/Text.h"

namespace mae {

namespace {

constexpr size_t MaxParts = 4;  // server.database.schema.object, the most any engine names

struct Range {
    char16_t first, last;
};

// Letters of other scripts that a name may hold. Only letters: a driver that hands the
// statement to the database in an ANSI code page turns a character it lacks into its "best
// fit", and the look-alikes of quotes, semicolons and parentheses (fullwidth forms, modifier
// letters such as U+02BC, the Greek question mark U+037E) would become the real ones. Letters
// become letters or '?'.
constexpr Range OtherLetters[] = {
    {0x00AA, 0x00AA}, {0x00B5, 0x00B5}, {0x00BA, 0x00BA},  // ª µ º
    {0x00C0, 0x00D6}, {0x00D8, 0x00F6},                    // Latin-1 letters, not × and ÷
    {0x00F8, 0x0148}, {0x014A, 0x02AF},  // Latin Extended-A and -B, IPA (not U+0149, 'n)
    {0x0386, 0x0386}, {0x0388, 0x03FF},  // Greek, not its accents and punctuation
    {0x0400, 0x0481}, {0x048A, 0x052F},  // Cyrillic
    {0x0531, 0x0556}, {0x0561, 0x0587},  // Armenian
    {0x05D0, 0x05EA},                    // Hebrew
    {0x0620, 0x064A}, {0x0671, 0x06D3},  // Arabic
    {0x0E01, 0x0E30},                    // Thai
    {0x1E00, 0x1EFF},                    // Latin Extended Additional (Vietnamese)
    {0x3041, 0x3096}, {0x30A1, 0x30FA},  // Hiragana, Katakana
    {0x3400, 0x4DBF}, {0x4E00, 0x9FFF},  // CJK ideographs
    {0xAC00, 0xD7A3},                    // Hangul syllables
    {0xFF21, 0xFF3A}, {0xFF41, 0xFF5A},  // fullwidth Latin letters
};

bool IsNameUnit(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
        c == u'_' || c == u'$' || c == u'#') {
        return true;
    }
    if (c < 0x80) return false;
    for (const Range& r : OtherLetters) {
        if (c >= r.first && c <= r.last) return true;
    }
    return false;
}

// One part from at: its end, or npos with fault set.
size_t PartEnd(std::u16string_view name, size_t at, size_t& fault) {
    const size_t n = name.size();
    if (at < n && (name[at] == u'[' || name[at] == u'"')) {
        const char16_t close = name[at] == u'[' ? u']' : u'"';
        bool word = false;  // a part of blanks only names nothing
        size_t i = at + 1;
        for (; i < n && name[i] != close; ++i) {
            if (name[i] == u' ') continue;
            if (!IsNameUnit(name[i])) {
                fault = i;
                return std::u16string_view::npos;
            }
            word = true;
        }
        if (i >= n || !word) {
            fault = i;
            return std::u16string_view::npos;
        }
        return i + 1;
    }
    size_t i = at;
    while (i < n && IsNameUnit(name[i])) ++i;
    if (i == at) {
        fault = at;
        return std::u16string_view::npos;
    }
    return i;
}

// The name cut for a message, its control characters shown as '?'.
std::string Shown(std::u16string_view name) {
    std::u16string shown(name.substr(0, 80));
    for (char16_t& c : shown) {
        if (c < 0x20 || c == 0x7F) c = u'?';
    }
    return "'" + ToUtf8(shown) + (name.size() > 80 ? "'..." : "'");
}

std::string Pointed(std::u16string_view name, size_t fault) {
    if (fault >= name.size()) return "it ends before its name is whole";
    const char16_t c = name[fault];
    std::string what;
    if (c == u' ') {
        what = "a blank";
    } else if (c < 0x20 || c == 0x7F) {
        what = "a control character";
    } else {
        what = "'" + ToUtf8(name.substr(fault, 1)) + "'";
    }
    return "character " + std::to_string(fault + 1) + " (" + what + ") cannot stand there";
}

}  // namespace

std::u16string_view SentName(std::u16string_view name) {
    while (!name.empty() && name.back() == u' ') name.remove_suffix(1);
    return name;
}

size_t IdentifierFault(std::u16string_view name) {
    const std::u16string_view sent = SentName(name);
    size_t at = 0;
    for (size_t part = 1;; ++part) {
        size_t fault = 0;
        const size_t end = PartEnd(sent, at, fault);
        if (end == std::u16string_view::npos) return fault;
        if (end == sent.size()) return std::u16string_view::npos;
        if (sent[end] != u'.' || part == MaxParts) return end;
        at = end + 1;
    }
}

std::u16string CheckedIdentifier(std::u16string_view name, const std::string& whose) {
    const size_t fault = IdentifierFault(name);
    if (fault == std::u16string_view::npos) return std::u16string(SentName(name));
    throw ErrorOf(err::InvalidCall,
                  whose + " (" + Shown(name) +
                      ") is not a name the program sends to a database: " + Pointed(name, fault) +
                      ". A name is letters, digits, _, $ and #, a part with blanks in [...] or "
                      "\"...\", and up to four such parts joined by dots; correct it in the "
                      "control database.");
}

}  // namespace mae
