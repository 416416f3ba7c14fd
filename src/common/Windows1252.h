#pragma once

#include <array>
#include <string>
#include <string_view>

namespace mae {

// What a Windows-1252 PC writes for each UTF-16 unit converted alone: the byte of
// WideCharToMultiByte(1252, 0, ...), best fit included (U+0141 to 'L', U+0110 to 0xD0), '?' for
// a unit it cannot map (a surrogate half included). The five bytes Windows-1252 leaves
// unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 control of the same number.
// Compiled in from Windows1252Table.inc, which tools/Windows1252Table.cpp generates under Wine.
// The same type as AnsiCodePage.h's AnsiTable, which is built on this table.
const std::array<unsigned char, 0x10000>& Windows1252Bytes() noexcept;
// Each byte to its UTF-16 unit.
std::u16string DecodeWindows1252(std::string_view bytes);

}  // namespace mae
