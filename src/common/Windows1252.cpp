#include "common/Windows1252.h"

#include <array>
#include <cstdint>

namespace mae {

namespace {

struct UnitByte {
    uint16_t unit;
    uint8_t byte;
};

// Every unit whose Windows-1252 byte is not '?', as the platform's conversion gives it.
constexpr UnitByte Listed[] = {
#include "common/Windows1252Table.inc"
};

using AnsiTable = std::array<unsigned char, 0x10000>;

constexpr AnsiTable BuildTable() {
    AnsiTable bytes{};
    bytes.fill('?');
    for (const UnitByte& entry : Listed) bytes[entry.unit] = entry.byte;
    return bytes;
}

constexpr AnsiTable Table = BuildTable();

// The units of bytes 0x80..0x9F. The five bytes Windows-1252 leaves unassigned (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) stand for the C1 control of the same number, as Windows converts them.
constexpr std::array<char16_t, 32> HighControlRow = {
    u'\u20AC', u'\u0081', u'\u201A', u'\u0192', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u02C6', u'\u2030', u'\u0160', u'\u2039', u'\u0152', u'\u008D', u'\u017D', u'\u008F',
    u'\u0090', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u02DC', u'\u2122', u'\u0161', u'\u203A', u'\u0153', u'\u009D', u'\u017E', u'\u0178',
};

constexpr char16_t UnitOfByte(unsigned byte) {
    return byte >= 0x80 && byte <= 0x9F ? HighControlRow[byte - 0x80] : char16_t(byte);
}

// Every byte's own unit gives that byte back: the table and the decoding agree.
constexpr bool EveryByteRoundTrips() {
    for (unsigned b = 0; b < 256; ++b) {
        if (Table[UnitOfByte(b)] != b) return false;
    }
    return true;
}
static_assert(EveryByteRoundTrips());

}  // namespace

const AnsiTable& Windows1252Bytes() noexcept { return Table; }

std::u16string DecodeWindows1252(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = UnitOfByte(static_cast<unsigned char>(bytes[i]));
    return out;
}

}  // namespace mae
