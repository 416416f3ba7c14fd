#pragma once

#include <string>
#include <string_view>

namespace mae {

// UTF-16 <-> UTF-8. Lone surrogates become U+FFFD in UTF-8; bad UTF-8 bytes become U+FFFD.
std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

// Lower-cases ASCII letters only (column and section names compare this way).
std::u16string AsciiLower(std::u16string_view text);
// The same into out, reusing its storage.
void AsciiLowerInto(std::u16string_view text, std::u16string& out);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Decimal text of an integer: digits, a minus sign when negative, nothing else.
std::u16string DecimalText(long long value);

}  // namespace mae
