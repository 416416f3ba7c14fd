#pragma once

#include <string>
#include <string_view>

namespace mae {

// The Windows-1252 byte of a UTF-16 unit, as Windows maps it (0x81, 0x8D, 0x8F, 0x90 and 0x9D
// stand for U+0081...). A unit it cannot hold, a surrogate half included, gives '?'.
unsigned char ToWindows1252(char16_t unit) noexcept;
// Writes one byte per unit to dst, which must have room for text.size() bytes.
void EncodeWindows1252(std::u16string_view text, char* dst) noexcept;
// Appends one byte per unit to out.
void EncodeWindows1252(std::u16string_view text, std::string& out);
std::string EncodeWindows1252(std::u16string_view text);
// Each byte to its UTF-16 unit.
std::u16string DecodeWindows1252(std::string_view bytes);

}  // namespace mae
