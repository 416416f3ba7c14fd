#include "common/AnsiCodePage.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace mae {

void EncodeAnsi(std::u16string_view text, std::string& out) {
    const size_t start = out.size();
    out.resize(start + text.size());
    EncodeAnsi(text, out.data() + start);
}

void EncodeAnsi(std::u16string_view text, char* dst) noexcept {
    const char16_t* src = text.data();
    const size_t n = text.size();
    const AnsiTable& table = AnsiBytes();
    size_t i = 0;
#if defined(__SSE2__)
    // Record text is mostly ASCII, which every ANSI code page keeps as it is: 16 units at a time
    // are narrowed at once when none of them is above 0x7F; a block holding another unit goes
    // through the table.
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

std::string EncodeAnsi(std::u16string_view text) {
    std::string out;
    EncodeAnsi(text, out);
    return out;
}

}  // namespace mae
