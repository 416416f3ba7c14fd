#include "output/ScrubNonAscii.h"

#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/AnsiCodePage.h"
#include "output/ByteSink.h"

namespace mae {

namespace {

// A unit is kept when the byte it is written as is printable ASCII (32..127, DEL included): a
// unit the code page lacks and writes as a best-fit letter or '?' is kept too.
bool IsKept(const AnsiTable& bytes, char16_t unit) noexcept {
    const unsigned code = bytes[unit];
    return code >= 32 && code <= 127;
}

// How many units from the start are printable ASCII (32..127), so certainly kept.
size_t PrintableAsciiPrefix(std::u16string_view text) noexcept {
    size_t i = 0;
#if defined(__SSE2__)
    // 8 units at a time; a unit of 0x8000 or more reads as negative and so counts as below 32.
    const __m128i below = _mm_set1_epi16(32);
    const __m128i above = _mm_set1_epi16(127);
    for (; i + 8 <= text.size(); i += 8) {
        const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i out = _mm_or_si128(_mm_cmplt_epi16(u, below), _mm_cmpgt_epi16(u, above));
        if (_mm_movemask_epi8(out) != 0) break;
    }
#endif
    while (i < text.size() && text[i] >= 32 && text[i] <= 127) ++i;
    return i;
}

}  // namespace

std::u16string ScrubNonAscii(std::u16string_view text, std::u16string_view fieldName,
                             int32_t recordId, ByteSink& log) {
    std::u16string storage;
    return std::u16string(ScrubNonAscii(text, fieldName, recordId, log, storage));
}

std::u16string_view ScrubNonAscii(std::u16string_view text, std::u16string_view fieldName,
                                  int32_t recordId, ByteSink& log, std::u16string& storage) {
    const AnsiTable& bytes = AnsiBytes();
    size_t i = PrintableAsciiPrefix(text);
    while (i < text.size() && IsKept(bytes, text[i])) ++i;
    if (i == text.size()) return text;
    // text may lie in storage itself (a value scrubbed before): then it is copied first.
    const bool inStorage =
        text.data() >= storage.data() && text.data() <= storage.data() + storage.size();
    if (inStorage) {
        std::u16string copy(text);
        return ScrubNonAscii(copy, fieldName, recordId, log, storage);
    }
    std::u16string& result = storage;
    result.assign(text);

    // One log line per replaced character, in text order, written to the log in one piece.
    const std::string tail = " found in " + EncodeAnsi(fieldName) +
                             " of record id = " + std::to_string(recordId) + "\r\n";
    std::string lines;
    for (; i < text.size(); ++i) {
        if (IsKept(bytes, text[i])) continue;
        lines += "non-ascii character code: ";
        lines += std::to_string(static_cast<unsigned>(bytes[text[i]]));
        lines += tail;
        result[i] = u' ';
    }
    log.Write(lines);
    return result;
}

}  // namespace mae
