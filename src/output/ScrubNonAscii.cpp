#include "output/ScrubNonAscii.h"

#include <string>

#include "output/ByteSink.h"
#include "output/Encoding.h"

namespace mae {

namespace {

// A unit is kept when its Windows-1252 byte is printable ASCII (32..127, DEL included). A unit
// Windows-1252 cannot hold has the byte '?' and so is kept too; it becomes '?' when written.
bool IsKept(char16_t unit) noexcept {
    const unsigned code = ToWindows1252(unit);
    return code >= 32 && code <= 127;
}

}  // namespace

std::u16string ScrubNonAscii(std::u16string_view text, std::u16string_view fieldName,
                             int32_t recordId, ByteSink& log) {
    size_t i = 0;
    while (i < text.size() && IsKept(text[i])) ++i;
    std::u16string result(text);
    if (i == text.size()) return result;

    // One log line per replaced character, in text order, written to the log in one piece.
    const std::string tail = " found in " + EncodeWindows1252(fieldName) +
                             " of record id = " + std::to_string(recordId) + "\r\n";
    std::string lines;
    for (; i < text.size(); ++i) {
        if (IsKept(text[i])) continue;
        lines += "non-ascii character code: ";
        lines += std::to_string(static_cast<unsigned>(ToWindows1252(text[i])));
        lines += tail;
        result[i] = u' ';
    }
    log.Write(lines);
    return result;
}

}  // namespace mae
