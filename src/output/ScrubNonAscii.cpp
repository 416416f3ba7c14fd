#include "output/ScrubNonAscii.h"

#include <string>

#include "common/AnsiCodePage.h"
#include "common/Simd.h"
#include "output/ByteSink.h"

namespace mae {

namespace {

// A unit is kept when the byte it is written as is printable ASCII (32..127, DEL included): a
// unit the code page lacks and writes as a best-fit letter or '?' is kept too. A unit that a
// double-byte code page writes as two bytes is not (its '?' in a column item is one byte for two).
bool IsKept(const ScrubCodePage& page, char16_t unit) noexcept {
    if (page.doubleBytes && (*page.doubleBytes)[unit] != 0) return false;
    const unsigned code = page.bytes[unit];
    return code >= 32 && code <= 127;
}

// The code logged for a replaced unit: its byte, or its two bytes as a signed 16-bit number.
int CodeOf(const ScrubCodePage& page, char16_t unit) noexcept {
    if (page.doubleBytes && (*page.doubleBytes)[unit] != 0) {
        return static_cast<int16_t>((*page.doubleBytes)[unit]);
    }
    return page.bytes[unit];
}

// How many units from the start are printable ASCII (32..127), so certainly kept.
size_t PrintableAsciiPrefix(std::u16string_view text) noexcept {
    size_t i = 0;
    // 8 units at a time.
    for (; i + 8 <= text.size(); i += 8) {
        if (!simd::PrintableAscii8(text.data() + i)) break;
    }
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
    return ScrubNonAscii(ScrubCodePage{AnsiBytes(), AnsiDoubleBytes()}, text, fieldName, recordId,
                         log, storage);
}

std::u16string_view ScrubNonAscii(const ScrubCodePage& page, std::u16string_view text,
                                  std::u16string_view fieldName, int32_t recordId, ByteSink& log,
                                  std::u16string& storage) {
    size_t i = PrintableAsciiPrefix(text);
    while (i < text.size() && IsKept(page, text[i])) ++i;
    if (i == text.size()) return text;
    // text may lie in storage itself (a value scrubbed before): then it is copied first.
    const bool inStorage =
        text.data() >= storage.data() && text.data() <= storage.data() + storage.size();
    if (inStorage) {
        std::u16string copy(text);
        return ScrubNonAscii(page, copy, fieldName, recordId, log, storage);
    }
    std::u16string& result = storage;
    result.assign(text);

    // One log line per replaced character, in text order, written to the log in one piece.
    const std::string tail = " found in " + EncodeAnsi(fieldName) +
                             " of record id = " + std::to_string(recordId) + "\r\n";
    std::string lines;
    for (; i < text.size(); ++i) {
        if (IsKept(page, text[i])) continue;
        lines += "non-ascii character code: ";
        lines += std::to_string(CodeOf(page, text[i]));
        lines += tail;
        result[i] = u' ';
    }
    log.Write(lines);
    return result;
}

}  // namespace mae
