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
std::u16string AsciiLower(std::u16string_view text);
// The same into out, reusing its storage.
void AsciiLowerInto(std::u16string_view text, std::u16string& out);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);
// The same for bytes (file names): only ASCII letters fold.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// A blank or a tab: what is trimmed around numbers and ini values.
constexpr bool IsBlank(char16_t c) noexcept { return c == u' ' || c == u'\t'; }

// Decimal text of an integer: digits, a minus sign when negative, nothing else.
std::u16string DecimalText(long long value);

}  // namespace mae
