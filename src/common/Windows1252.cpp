#include "common/Windows1252.h"

#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mae {

namespace {

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

// One byte for every UTF-16 unit: 64 KiB, built once, so encoding is a plain table lookup.
struct EncodeTable {
    std::array<unsigned char, 0x10000> bytes;
    EncodeTable() {
        bytes.fill('?');
        for (unsigned b = 0; b < 256; ++b) bytes[UnitOfByte(b)] = static_cast<unsigned char>(b);
    }
};

const EncodeTable& Table() {
    static const EncodeTable table;
    return table;
}

}  // namespace

unsigned char ToWindows1252(char16_t unit) noexcept {
    if (unit < 0x80) return static_cast<unsigned char>(unit);
    return Table().bytes[unit];
}

void EncodeWindows1252(std::u16string_view text, std::string& out) {
    const size_t start = out.size();
    out.resize(start + text.size());
    EncodeWindows1252(text, out.data() + start);
}

void EncodeWindows1252(std::u16string_view text, char* dst) noexcept {
    const char16_t* src = text.data();
    const size_t n = text.size();
    const auto& table = Table().bytes;
    size_t i = 0;
#if defined(__SSE2__)
    // Record text is mostly ASCII: 16 units at a time are narrowed at once when none of them
    // is above 0x7F; a block holding another unit goes through the table.
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i + 8));
        const __m128i over = _mm_and_si128(_mm_or_si128(a, b), high);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, zero)) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(a, b));
        } else {
            for (size_t j = i; j < i + 16; ++j) dst[j] = static_cast<char>(table[src[j]]);
        }
    }
#endif
    for (; i < n; ++i) dst[i] = static_cast<char>(table[src[i]]);
}

std::string EncodeWindows1252(std::u16string_view text) {
    std::string out;
    EncodeWindows1252(text, out);
    return out;
}

std::u16string DecodeWindows1252(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    for (size_t i = 0; i < bytes.size(); ++i)
        out[i] = UnitOfByte(static_cast<unsigned char>(bytes[i]));
    return out;
}

}  // namespace mae
