#pragma once

// The block kernels of the loops on the record path (text narrowed, widened, searched or checked
// 8 or 16 units or bytes at a time). Each kernel looks at one block and does its work in one
// step when the block allows it. With SSE2 (x86-64, and 32-bit x86 built for it) they use its
// instructions; elsewhere, or with MAE_SIMD_SCALAR defined (the 32-bit Linux test build does),
// the plain C++ below gives the same results.
#include <bit>
#include <cstddef>

#if !defined(MAE_SIMD_SCALAR) && \
    (defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2))
#define MAE_SIMD_SSE2 1
#include <emmintrin.h>
#endif

namespace mae::simd {

#if defined(MAE_SIMD_SSE2)

namespace detail {
inline __m128i Load(const void* at) noexcept {
    return _mm_loadu_si128(static_cast<const __m128i*>(at));
}
}  // namespace detail

// Whether none of the 16 UTF-16 units at src is above 0x7F.
inline bool Ascii16(const char16_t* src) noexcept {
    const __m128i any = _mm_or_si128(detail::Load(src), detail::Load(src + 8));
    const __m128i over = _mm_and_si128(any, _mm_set1_epi16(static_cast<short>(0xFF80)));
    return _mm_movemask_epi8(_mm_cmpeq_epi16(over, _mm_setzero_si128())) == 0xFFFF;
}

// The 16 units at src, none above 0x7F (Ascii16), written to dst as 16 bytes. Apart from the
// test, so that a loop's usual case runs straight through.
inline void NarrowAscii16(const char16_t* src, char* dst) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst),
                     _mm_packus_epi16(detail::Load(src), detail::Load(src + 8)));
}

// 16 bytes at src: when none has its high bit set, writes them to dst as 16 UTF-16 units and
// returns true; otherwise writes nothing and returns false.
inline bool WidenAscii16(const unsigned char* src, char16_t* dst) noexcept {
    const __m128i b = detail::Load(src);
    if (_mm_movemask_epi8(b) != 0) return false;
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi8(b, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 8), _mm_unpackhi_epi8(b, zero));
    return true;
}

// The place (0 to 7) of the first of the 8 units at src that is unit; 8 when none is.
inline size_t Find8(const char16_t* src, char16_t unit) noexcept {
    const __m128i wanted = _mm_set1_epi16(static_cast<short>(unit));
    const int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(detail::Load(src), wanted));
    if (mask == 0) return 8;
    return static_cast<size_t>(std::countr_zero(static_cast<unsigned>(mask))) / 2;
}

// Whether each of the 8 units at src is printable ASCII (32 to 127).
inline bool PrintableAscii8(const char16_t* src) noexcept {
    // Compared as signed: a unit of 0x8000 or more reads as negative, so as below 32.
    const __m128i u = detail::Load(src);
    const __m128i out = _mm_or_si128(_mm_cmplt_epi16(u, _mm_set1_epi16(32)),
                                     _mm_cmpgt_epi16(u, _mm_set1_epi16(127)));
    return _mm_movemask_epi8(out) == 0;
}

// Whether any of the 16 bytes at src is a CR or an LF.
inline bool HasLineEnd16(const char* src) noexcept {
    const __m128i b = detail::Load(src);
    const __m128i ends = _mm_or_si128(_mm_cmpeq_epi8(b, _mm_set1_epi8('\r')),
                                      _mm_cmpeq_epi8(b, _mm_set1_epi8('\n')));
    return _mm_movemask_epi8(ends) != 0;
}

#else

inline bool Ascii16(const char16_t* src) noexcept {
    unsigned any = 0;
    for (size_t j = 0; j < 16; ++j) any |= src[j];
    return any <= 0x7F;
}

inline void NarrowAscii16(const char16_t* src, char* dst) noexcept {
    for (size_t j = 0; j < 16; ++j) dst[j] = static_cast<char>(src[j]);
}

inline bool WidenAscii16(const unsigned char* src, char16_t* dst) noexcept {
    unsigned any = 0;
    for (size_t j = 0; j < 16; ++j) any |= src[j];
    if (any > 0x7F) return false;
    for (size_t j = 0; j < 16; ++j) dst[j] = src[j];
    return true;
}

inline size_t Find8(const char16_t* src, char16_t unit) noexcept {
    for (size_t j = 0; j < 8; ++j) {
        if (src[j] == unit) return j;
    }
    return 8;
}

inline bool PrintableAscii8(const char16_t* src) noexcept {
    for (size_t j = 0; j < 8; ++j) {
        if (src[j] < 32 || src[j] > 127) return false;
    }
    return true;
}

inline bool HasLineEnd16(const char* src) noexcept {
    for (size_t j = 0; j < 16; ++j) {
        if (src[j] == '\r' || src[j] == '\n') return true;
    }
    return false;
}

#endif

}  // namespace mae::simd
