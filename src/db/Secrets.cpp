#include "db/Secrets.h"

#include <algorithm>

#include "common/Text.h"
#include "db/ConnectionString.h"

namespace mae {

namespace {

constexpr std::string_view Mask = "***";

bool IsPasswordKey(std::u16string_view key) {
    return EqualsIgnoreCase(key, u"PWD") || EqualsIgnoreCase(key, u"Password") ||
           EqualsIgnoreCase(key, u"Jet OLEDB:Database Password");
}

void AddSecret(std::u16string_view value, std::vector<std::u16string>& secrets) {
    value = Trim(value, IsBlankOrLineEnd);
    if (!value.empty()) secrets.emplace_back(value);
}

// Every value a driver could take for a password, however it splits the string (a driver
// manager that meets an unclosed brace quotes the rest of the string in its message; ODBC
// drivers know braces but not quotes): after each password keyword and its '=', the text up to
// the next ';' or the end, that text up to a closing brace or quote, and, when it opens with a
// brace or a quote, the text after the opening character, up to its closing one or the end.
void AddLenientSecrets(std::u16string_view s, std::vector<std::u16string>& secrets) {
    static constexpr std::u16string_view keys[] = {u"Jet OLEDB:Database Password", u"Password",
                                                   u"PWD"};
    // Each keyword may add a copy of most of the string: a string of thousands of them would
    // take time and memory by the square of its length. No real string has that many.
    constexpr size_t MaxKeywords = 32;
    size_t found = 0;
    for (const std::u16string_view key : keys) {
        for (size_t at = 0; at + key.size() <= s.size() && found < MaxKeywords; ++at) {
            if (!EqualsIgnoreCase(s.substr(at, key.size()), key)) continue;
            size_t before = at;
            while (before > 0 && IsBlankOrLineEnd(s[before - 1])) --before;
            if (before > 0 && s[before - 1] != u';' && s[before - 1] != u'{' &&
                s[before - 1] != u'"' && s[before - 1] != u'\'') {
                continue;  // the end of a longer keyword ("Mask Password")
            }
            size_t i = at + key.size();
            while (i < s.size() && IsBlankOrLineEnd(s[i])) ++i;
            if (i >= s.size() || s[i] != u'=') continue;
            ++found;
            ++i;
            while (i < s.size() && IsBlankOrLineEnd(s[i])) ++i;
            const size_t semicolon = std::min(s.find(u';', i), s.size());
            AddSecret(s.substr(i, semicolon - i), secrets);
            // Inside an enclosing brace or quote, the value ends at its closing character.
            const size_t closer = std::min(s.find_first_of(u"}\"'", i + 1), semicolon);
            AddSecret(s.substr(i, closer - i), secrets);
            if (i < s.size() && (s[i] == u'{' || s[i] == u'"' || s[i] == u'\'')) {
                const char16_t close = s[i] == u'{' ? u'}' : s[i];
                size_t end = i + 1;
                while (end < s.size() && s[end] != close) ++end;
                AddSecret(s.substr(i + 1, end - i - 1), secrets);
                AddSecret(s.substr(i + 1, semicolon - i - 1), secrets);
            }
        }
    }
}

void AddParsedSecrets(std::u16string_view text, std::vector<std::u16string>& secrets) {
    for (const auto& p : ReadablePairs(text)) {
        if (IsPasswordKey(p.key)) {
            secrets.push_back(p.value);
        } else if (EqualsIgnoreCase(p.key, u"Extended Properties")) {
            AddParsedSecrets(p.value, secrets);
        }
    }
}

// The forms a driver manager quotes a wide string in after narrowing it to a code page it does
// not know the secret's characters in: unixODBC keeps each unit's low byte (U+0141 'Ł' becomes
// 'A', U+20AC '€' becomes 0xAC), a converter that fails writes '?'. Read back as Latin-1.
void AddNarrowedForms(std::vector<std::u16string>& secrets) {
    const size_t count = secrets.size();
    for (size_t k = 0; k < count; ++k) {
        const std::u16string& secret = secrets[k];
        if (std::all_of(secret.begin(), secret.end(), [](char16_t c) { return c < 0x100; }))
            continue;
        std::u16string lowByte;
        std::u16string question;
        for (const char16_t c : secret) {
            lowByte.push_back(static_cast<char16_t>(c & 0xFF));
            question.push_back(c < 0x100 ? c : u'?');
        }
        secrets.push_back(std::move(lowByte));
        secrets.push_back(std::move(question));
    }
}

bool IsKeyAt(std::string_view text, size_t at, std::string_view key) {
    return at + key.size() <= text.size() && EqualsIgnoreCase(text.substr(at, key.size()), key);
}

// Where the value that starts at i ends: at ';', '}' or the end, or, when it opens with a brace,
// after its closing one (a doubled one standing for itself).
size_t ValueEnd(std::string_view text, size_t i) {
    if (i < text.size() && text[i] == '{') {
        for (size_t end = i + 1; end < text.size(); ++end) {
            if (text[end] != '}') continue;
            if (end + 1 < text.size() && text[end + 1] == '}') {
                ++end;
                continue;
            }
            return end + 1;
        }
        return text.size();
    }
    return std::min(text.find_first_of(";}", i), text.size());
}

// A value that the secrets have made the mask already (in its brace or quote, if any): what
// follows it in the message is the message's own.
bool IsMasked(std::string_view value) {
    if (!value.empty() && std::string_view("{\"'").find(value.front()) != std::string_view::npos)
        value.remove_prefix(1);
    return value.starts_with(Mask);
}

// After every password keyword of the text and its '=', the value replaced by the mask.
std::string MaskKeyedValues(std::string text) {
    static constexpr std::string_view keys[] = {"password", "pwd"};
    for (size_t at = 0; at < text.size(); ++at) {
        size_t i = std::string::npos;
        for (const std::string_view key : keys) {
            if (IsKeyAt(text, at, key)) {
                i = at + key.size();
                break;
            }
        }
        if (i == std::string::npos) continue;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        if (i >= text.size() || text[i] != '=') continue;
        ++i;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        const size_t end = ValueEnd(text, i);
        if (end > i && !IsMasked(std::string_view(text).substr(i, end - i)))
            text.replace(i, end - i, Mask);
        at = i;
    }
    return text;
}

}  // namespace

std::vector<std::u16string> ConnectionStringSecrets(std::u16string_view text) {
    std::vector<std::u16string> secrets;
    AddParsedSecrets(text, secrets);
    AddLenientSecrets(text, secrets);
    AddNarrowedForms(secrets);
    return secrets;
}

std::string WithoutSecrets(std::string text, const std::vector<std::u16string>& secrets) {
    // The longest first: a secret that holds a shorter one is blotted out whole.
    std::vector<std::string> ordered;
    for (const auto& secret : secrets) {
        if (secret.size() < 3) continue;  // shorter ones would blot out ordinary words
        ordered.push_back(ToUtf8(secret));
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const std::string& s : ordered) {
        for (size_t at = text.find(s); at != std::string::npos; at = text.find(s, at + Mask.size()))
            text.replace(at, s.size(), Mask);
    }
    // Then what the message itself marks as a password, in whatever form the driver quoted it.
    return MaskKeyedValues(std::move(text));
}

}  // namespace mae
