#pragma once

#include <string>
#include <string_view>

namespace mae {

// UTF-16 <-> UTF-8. Lone surrogates become U+FFFD in UTF-8. In UTF-8, every byte that does not
// start a well-formed sequence becomes U+FFFD: a stray or cut sequence, an overlong form (C0 80,
// E0 80 AF), a surrogate, a code point past U+10FFFF.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Lower-cases ASCII letters only (column and section names compare this way).
constexpr char16_t LowerAsciiLetter(char16_t c) noexcept {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}
std::u16string AsciiLower(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// The same for bytes (file names): only ASCII letters fold.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// A blank or a tab: what is trimmed around numbers and ini values.
constexpr bool IsBlank(char16_t c) noexcept { return c == u' ' || c == u'\t'; }
// A blank, a tab or a line end (CR, LF): what is trimmed around the keywords and values of a
// connection string.
constexpr bool IsBlankOrLineEnd(char16_t c) noexcept {
    return IsBlank(c) || c == u'\r' || c == u'\n';
}
// A blank alone: what an ODBC driver trims around its options.
constexpr bool IsSpace(char16_t c) noexcept { return c == u' '; }

// text without the units at either end of which trimmed holds.
constexpr std::u16string_view Trim(std::u16string_view text,
                                   bool (*trimmed)(char16_t) noexcept = IsBlank) noexcept {
    while (!text.empty() && trimmed(text.front())) text.remove_prefix(1);
    while (!text.empty() && trimmed(text.back())) text.remove_suffix(1);
    return text;
}

// Decimal text of an integer: digits, a minus sign when negative, nothing else.
std::u16string DecimalText(long long value);

}  // namespace mae
