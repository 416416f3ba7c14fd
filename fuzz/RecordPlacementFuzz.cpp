// Record placement and padding with arbitrary starts, lengths, values and pad texts: the record
// keeps its 22824 characters, every column outside the placed span keeps what it held, each
// placed unit becomes its byte in the files' code page (CR and LF a blank), and the printed line
// is always 22826 bytes ending in CR LF.

#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "common/AnsiCodePage.h"
#include "common/RuntimeError.h"
#include "output/ByteSink.h"
#include "output/RecordBuffer.h"
#include "output/RecordFormat.h"

using mae::fuzz::FuzzInput;

namespace {

// What PadLeft must give: padChar prepended once per missing unit, never a cut.
std::u16string ExpectedPad(const std::u16string& value, int length, const std::u16string& pad) {
    if (pad.empty() || static_cast<long long>(value.size()) >= length) return value;
    std::u16string out;
    for (long long i = static_cast<long long>(value.size()); i < length; ++i) out += pad;
    return out + value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    mae::RecordBuffer record;
    std::string model(mae::RecordLength, ' ');  // what the record must hold, byte by byte

    // A sequence of fields: start, length, pad length, pad text and value, each taken from the
    // input; the later field wins where two overlap.
    while (!in.empty()) {
        const int start = in.Int16();
        const int length = in.Int16();
        const int padLength = in.Int16();
        const uint8_t shape = in.Byte();
        const bool narrow = shape & 1;
        std::u16string padChar = in.Units((shape >> 1) % 4, narrow);  // 0 to 3 units
        std::u16string value = in.Units(in.Byte(), narrow);

        if (shape & 0x80) {
            const std::u16string expected = ExpectedPad(value, padLength, padChar);
            const std::u16string result = mae::PadLeft(value, padLength, padChar);
            MAE_FUZZ_CHECK(result == expected);
            MAE_FUZZ_CHECK(value == expected);  // the caller's value is padded too
        }

        try {
            mae::PlaceField(record, start, length, value);
            MAE_FUZZ_CHECK(start >= 1 && length >= 0);
        } catch (const mae::RuntimeError& e) {
            // A start before the record or a negative length is refused and places nothing.
            MAE_FUZZ_CHECK(e.number() == mae::err::InvalidCall);
            MAE_FUZZ_CHECK(start < 1 || length < 0);
            continue;
        }
        if (start <= mae::RecordLength) {
            const size_t k = std::min({static_cast<size_t>(length), value.size(),
                                       static_cast<size_t>(mae::RecordLength - start + 1)});
            for (size_t i = 0; i < k; ++i) {
                const char byte = static_cast<char>(mae::ToAnsi(value[i]));
                model[static_cast<size_t>(start - 1) + i] =
                    byte == '\r' || byte == '\n' ? ' ' : byte;
            }
        }
        MAE_FUZZ_CHECK(record.bytes().size() == static_cast<size_t>(mae::RecordLength));
        MAE_FUZZ_CHECK(record.bytes() == model);
    }

    // The fixed fields go on last, then the line as the file receives it.
    const std::u16string version = in.Units(3, true);  // whatever the control table holds
    mae::StampFixedFields(record, version, u"12345678");
    const std::string_view bytes = record.bytes();
    MAE_FUZZ_CHECK(bytes.size() == static_cast<size_t>(mae::RecordLength));
    MAE_FUZZ_CHECK(bytes[0] == 'A');
    MAE_FUZZ_CHECK(bytes.substr(16, version.size()) == mae::EncodeAnsi(version));
    MAE_FUZZ_CHECK(bytes.substr(20878, 8) == "12345678");

    mae::StringSink sink;
    mae::PrintRecord(sink, record);
    const std::string& line = sink.data();
    MAE_FUZZ_CHECK(line.size() == static_cast<size_t>(mae::LineBytes));
    MAE_FUZZ_CHECK(line.compare(line.size() - 2, 2, "\r\n") == 0);
    MAE_FUZZ_CHECK(std::string_view(line).substr(0, mae::RecordLength) == bytes);
    return 0;
}
