#include "output/RecordBuffer.h"

#include <algorithm>
#include <string>

#include "common/AnsiCodePage.h"
#include "common/RuntimeError.h"
#include "common/Simd.h"
#include "output/ByteSink.h"

namespace mae {

namespace {

void BlankLineEnds(char* text, size_t n) noexcept {
    size_t i = 0;
    // Fields run to thousands of bytes and hardly ever hold a line end: 16 bytes are looked at
    // at once.
    for (; i + 16 <= n; i += 16) {
        if (simd::HasLineEnd16(text + i)) [[unlikely]] {
            for (size_t j = i; j < i + 16; ++j) {
                if (text[j] == '\r' || text[j] == '\n') text[j] = ' ';
            }
        }
    }
    for (; i < n; ++i) {
        if (text[i] == '\r' || text[i] == '\n') text[i] = ' ';
    }
}

}  // namespace

RecordBuffer::RecordBuffer() : m_line(LineBytes, ' ') {
    m_line.replace(RecordLength, LineEnd.size(), LineEnd);
}

void PlaceField(RecordBuffer& record, int start, int length, std::u16string_view value) {
    if (start < 1) {
        throw ErrorOf(err::InvalidCall, "start column " + std::to_string(start) +
                                            " lies before the first column of the record");
    }
    if (length < 0) {
        throw ErrorOf(err::InvalidCall, "field length " + std::to_string(length) +
                                            " at start column " + std::to_string(start) +
                                            " is negative");
    }
    constexpr long long end = RecordLength;
    if (start > end) return;  // the field lies wholly past the end of the record
    // 64-bit arithmetic: no int argument can overflow the bounds below.
    const long long k = std::min(
        {static_cast<long long>(length), static_cast<long long>(value.size()), end - start + 1});
    char* const field = record.m_line.data() + (start - 1);
    EncodeAnsi(value.substr(0, static_cast<size_t>(k)), field);
    // A line end typed into a registry value would split the record into two lines for every
    // reader of the file: inside a field, CR and LF stand as blanks.
    BlankLineEnds(field, static_cast<size_t>(k));
}

void StampFixedFields(RecordBuffer& record, std::u16string_view naaccrVersion,
                      std::u16string_view medrefId) {
    PlaceField(record, RecordTypeColumn, RecordTypeLength, RecordType);
    PlaceField(record, VersionColumn, VersionLength, naaccrVersion);
    PlaceField(record, MedrefIdColumn, MedrefIdLength, medrefId);
}

void PrintRecord(ByteSink& sink, const RecordBuffer& record) {
    // One Write of the whole line, so a sink that refuses it leaves no part of the line behind.
    sink.Write(record.line());
}

std::u16string PadLeft(std::u16string& value, int length, std::u16string_view padChar) {
    // Each missing character prepends the whole padChar; a value at or over length is kept whole.
    if (static_cast<long long>(value.size()) < length && !padChar.empty()) {
        const size_t turns = static_cast<size_t>(length) - value.size();
        std::u16string padded;
        padded.reserve(turns * padChar.size() + value.size());
        for (size_t i = 0; i < turns; ++i) padded.append(padChar);
        padded.append(value);
        value = std::move(padded);
    }
    return value;
}

}  // namespace mae
