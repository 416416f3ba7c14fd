#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/AnsiCodePage.h"

namespace mae {

class ByteSink;

// Copy of text with every character whose code is below 32 or above 127 replaced by one blank;
// each replacement appends one line to log ("non-ascii character code: N found in FIELD of
// record id = ID", CR LF). A character's code is the byte it is written as (ToAnsi): one the
// code page lacks counts as its best-fit byte or '?', and stays when that is printable; one that
// a double-byte code page writes as two bytes is replaced, and logged with the two bytes as a
// signed 16-bit number (AnsiDoubleBytes).
std::u16string ScrubNonAscii(std::u16string_view text, std::u16string_view fieldName,
                             int32_t recordId, ByteSink& log);
// The same without a copy when nothing is replaced: returns text itself, or the scrubbed
// text made in storage.
std::u16string_view ScrubNonAscii(std::u16string_view text, std::u16string_view fieldName,
                                  int32_t recordId, ByteSink& log, std::u16string& storage);

// The code page the scrubber judges by: the program's (AnsiBytes, AnsiDoubleBytes) in the two
// functions above, another one in this form.
struct ScrubCodePage {
    const AnsiTable& bytes;
    const DoubleByteTable* doubleBytes;  // null: no unit is two bytes
};
std::u16string_view ScrubNonAscii(const ScrubCodePage& page, std::u16string_view text,
                                  std::u16string_view fieldName, int32_t recordId, ByteSink& log,
                                  std::u16string& storage);

}  // namespace mae
