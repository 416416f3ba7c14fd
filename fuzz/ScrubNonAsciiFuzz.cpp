// The scrubber and the files' code page on arbitrary texts: the result has the text's
// length, keeps exactly the units whose byte is printable ASCII (a unit the code page lacks
// counts as its best-fit byte or '?'), blanks the others, and logs one well-formed line per
// blank, in order.

#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "common/AnsiCodePage.h"
#include "output/ByteSink.h"
#include "output/ScrubNonAscii.h"

using mae::fuzz::FuzzInput;

namespace {

bool Printable(unsigned byte) { return byte >= 32 && byte <= 127; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t shape = in.Byte();
    const bool narrow = shape & 1;
    const std::u16string fieldName = in.Units((shape >> 1) % 16, narrow);
    const int32_t recordId = in.Int32();
    const std::u16string text = in.Rest(narrow);

    // The fast encoder agrees with the unit-by-unit table.
    const std::string bytes = mae::EncodeAnsi(text);
    MAE_FUZZ_CHECK(bytes.size() == text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        MAE_FUZZ_CHECK(static_cast<unsigned char>(bytes[i]) == mae::ToAnsi(text[i]));
    }

    mae::StringSink log;
    const std::u16string result = mae::ScrubNonAscii(text, fieldName, recordId, log);
    MAE_FUZZ_CHECK(result.size() == text.size());

    const std::string tail = " found in " + mae::EncodeAnsi(fieldName) +
                             " of record id = " + std::to_string(recordId) + "\r\n";
    std::string expectedLog;
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned code = mae::ToAnsi(text[i]);
        if (Printable(code)) {
            MAE_FUZZ_CHECK(result[i] == text[i]);
        } else {
            MAE_FUZZ_CHECK(result[i] == u' ');
            expectedLog += "non-ascii character code: " + std::to_string(code) + tail;
        }
        // What is left is printable when written.
        MAE_FUZZ_CHECK(Printable(mae::ToAnsi(result[i])));
    }
    MAE_FUZZ_CHECK(log.data() == expectedLog);

    // Scrubbing a text that lies in the storage it is scrubbed into gives the same result.
    std::u16string storage = text;
    mae::StringSink inPlace;
    MAE_FUZZ_CHECK(mae::ScrubNonAscii(std::u16string_view(storage), fieldName, recordId, inPlace,
                                      storage) == result);
    MAE_FUZZ_CHECK(inPlace.data() == log.data());

    // Scrubbing twice changes nothing more and logs nothing.
    mae::StringSink again;
    MAE_FUZZ_CHECK(mae::ScrubNonAscii(result, fieldName, recordId, again) == result);
    MAE_FUZZ_CHECK(again.data().empty());
    return 0;
}
