#pragma once

#include <string>
#include <string_view>

#include "output/RecordFormat.h"

namespace mae {

class ByteSink;

// One record of RecordLength characters, all blanks when made, followed by CR LF. Each UTF-16
// unit of a placed value becomes one byte of the files' code page (AnsiCodePage.h) as it is placed,
// so columns count units and bytes alike and the finished record is already its line. Its length
// never changes.
class RecordBuffer {
  public:
    RecordBuffer();
    // The record's RecordLength characters, as bytes.
    std::string_view bytes() const noexcept {
        return std::string_view(m_line).substr(0, RecordLength);
    }
    // The record and its CR LF: LineBytes bytes.
    std::string_view line() const noexcept { return m_line; }

  private:
    friend void PlaceField(RecordBuffer&, int, int, std::u16string_view);
    std::string m_line;
};

// Puts the first min(length, value size, RecordLength - start + 1) characters of value at the
// 1-based column start; everything else keeps what it held. CR and LF in the value are placed
// as blanks, so a record is always one line. A start column below 1 or a
// negative length is error 5 (nothing is written); a start past the record places nothing.
void PlaceField(RecordBuffer& record, int start, int length, std::u16string_view value);
// "A" at column 1, the NAACCR version at 17-19, the MedrefID text at 20879-20886.
void StampFixedFields(RecordBuffer& record, std::u16string_view naaccrVersion,
                      std::u16string_view medrefId);
// Writes the record as one line ending in CR LF (always LineBytes bytes), in one Write.
void PrintRecord(ByteSink& sink, const RecordBuffer& record);
// Prepends padChar to value until it has length characters; never cuts. The caller's value
// receives the padded text too.
std::u16string PadLeft(std::u16string& value, int length, std::u16string_view padChar);

}  // namespace mae
