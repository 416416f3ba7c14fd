#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace mae {

// The code page the program's files are written in (records, select.sql, extract.log), one byte
// for every UTF-16 unit, so a text keeps its length in bytes whatever it holds.
//   Windows edition: the PC's ANSI code page, through the platform's own conversion of each unit
//   alone (WideCharToMultiByte(CP_ACP, 0, ...)): a character the code page lacks becomes its
//   best-fit byte (U+0141 to 'L' on a Windows-1252 PC), else '?'. A unit whose conversion is not
//   a single byte (a double-byte code page) becomes '?'.
//   Linux edition: what a Windows-1252 PC writes, best fit included (Windows1252.h).
// The byte a unit becomes is also its character code in the scrubber, so the two never disagree.
using AnsiTable = std::array<unsigned char, 0x10000>;

// The byte of every unit in this edition's code page: the one conversion of the program.
const AnsiTable& AnsiBytes() noexcept;

inline unsigned char ToAnsi(char16_t unit) noexcept { return AnsiBytes()[unit]; }

// Windows edition on a double-byte code page (932, 936, 949, 950): for each unit the code page
// writes as two bytes, lead byte * 256 + trail byte (0 for every other unit). Such a unit is '?'
// in AnsiBytes (one byte: a column item keeps its length), and the scrubber blanks it and logs
// this code as the 16-bit signed number it is (negative: the lead byte is above 0x7F). Null on
// every other code page, and on Linux.
using DoubleByteTable = std::array<uint16_t, 0x10000>;
const DoubleByteTable* AnsiDoubleBytes() noexcept;
// Writes one byte per unit to dst, which must have room for text.size() bytes.
void EncodeAnsi(std::u16string_view text, char* dst) noexcept;
// Appends one byte per unit to out.
void EncodeAnsi(std::u16string_view text, std::string& out);
std::string EncodeAnsi(std::u16string_view text);

}  // namespace mae
