#include "output/ScrubNonAscii.h"

#include <string>

#include "common/AnsiCodePage.h"
#include "common/Simd.h"
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
