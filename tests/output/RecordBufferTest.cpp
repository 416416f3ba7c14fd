#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "common/RuntimeError.h"
#include "common/Windows1252.h"
#include "output/ByteSink.h"
#include "output/RecordBuffer.h"
#include "support/TableTest.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::cols;

// The record as its line bytes, without CR LF, so cols() counts record columns.
std::string Line(const RecordBuffer& record) { return std::string(record.bytes()); }

struct PlaceCase {
    int start;
    int length;
    std::u16string value;
    int from, to;          // columns expected to change
    std::string expected;  // their content
    const char* what;
};

MAE_TABLE_TEST(PlaceFieldCase, PlaceCase);

TEST_P(PlaceFieldCase, WritesOnlyItsColumns) {
    const PlaceCase& c = GetParam();
    RecordBuffer record;
    PlaceField(record, c.start, c.length, c.value);
    ASSERT_EQ(record.line().size(), size_t(LineBytes)) << c.what;
    std::string expected(RecordLength, ' ');
    if (c.from > 0) expected.replace(c.from - 1, c.expected.size(), c.expected);
    EXPECT_EQ(Line(record), expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Placement, PlaceFieldCase,
    ::testing::Values(
        PlaceCase{5, 5, u"ab", 5, 6, "ab", "short value fills its field from the left"},
        PlaceCase{5, 3, u"abcdef", 5, 7, "abc", "long value is cut at the field length"},
        PlaceCase{22820, 8, u"ABCDEFGH", 22820, 22824, "ABCDE", "field is cut at column 22824"},
        PlaceCase{22824, 1, u"Z", 22824, 22824, "Z", "last column"},
        PlaceCase{1, RecordLength, std::u16string(RecordLength, u'x'), 1, RecordLength,
                  std::string(RecordLength, 'x'), "whole record"},
        PlaceCase{1, 0, u"abc", 0, 0, "", "field length 0 places nothing"},
        PlaceCase{7, 4, u"", 0, 0, "", "empty value places nothing"},
        PlaceCase{5, 9, u"a\r\nb\nc\rd\t", 5, 13, "a  b c d\t", "CR and LF become blanks"},
        PlaceCase{22825, 8, u"ABCDEFGH", 0, 0, "", "start one past the record"},
        PlaceCase{INT_MAX, INT_MAX, u"ABC", 0, 0, "", "start and length at INT_MAX"},
        PlaceCase{22000, INT_MAX, std::u16string(40000, u'q'), 22000, 22824, std::string(825, 'q'),
                  "huge length and a 40000-character value"}));

TEST(RecordBuffer, LaterWriteWinsWhereFieldsOverlap) {
    RecordBuffer record;
    PlaceField(record, 10, 6, u"aaaaaa");
    PlaceField(record, 12, 2, u"bb");
    PlaceField(record, 15, 4, u"c");
    const std::string line = Line(record);
    EXPECT_EQ(cols(line, 10, 18), "aabbac   ");
}

TEST(RecordBuffer, BadStartOrLengthIsInvalidCallAndWritesNothing) {
    for (auto [start, length] : {std::pair{0, 3}, {-1, 3}, {INT_MIN, 3}, {5, -1}, {5, INT_MIN}}) {
        RecordBuffer record;
        try {
            PlaceField(record, start, length, u"XYZ");
            ADD_FAILURE() << "no error for start " << start << " length " << length;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidCall);
            const std::string named = std::to_string(start < 1 ? start : length);
            EXPECT_NE(e.description().find(named), std::string::npos) << e.description();
        }
        EXPECT_EQ(record.bytes(), std::string(RecordLength, ' '));
    }
}

TEST(RecordBuffer, StampFixedFieldsOverwritesWhatTheLayoutPutThere) {
    RecordBuffer record;
    PlaceField(record, 1, 30, std::u16string(30, u'x'));
    PlaceField(record, 20870, 30, std::u16string(30, u'y'));
    StampFixedFields(record, u"130", u"12345678");
    const std::string line = Line(record);
    EXPECT_EQ(cols(line, 1, 1), "A");  // record type
    EXPECT_EQ(cols(line, 2, 16), std::string(15, 'x'));
    EXPECT_EQ(cols(line, 17, 19), "130");  // NAACCR record version
    EXPECT_EQ(cols(line, 20, 30), std::string(11, 'x'));
    EXPECT_EQ(cols(line, 20870, 20878), std::string(9, 'y'));
    EXPECT_EQ(cols(line, 20879, 20886), "12345678");  // MedrefID
    EXPECT_EQ(cols(line, 20887, 20899), std::string(13, 'y'));
}

struct StampCase {
    std::u16string version, medrefId;
    std::string versionCols, medrefCols;  // columns 17-19 and 20879-20886
};

class StampFixedFieldsCase : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampFixedFieldsCase, CutsAndLeavesBlanks) {
    const StampCase& c = GetParam();
    RecordBuffer record;
    StampFixedFields(record, c.version, c.medrefId);
    const std::string line = Line(record);
    EXPECT_EQ(cols(line, 17, 19), c.versionCols);       // NAACCR record version
    EXPECT_EQ(cols(line, 20879, 20886), c.medrefCols);  // MedrefID
}

INSTANTIATE_TEST_SUITE_P(Lengths, StampFixedFieldsCase,
                         ::testing::Values(StampCase{u"13", u"12345", "13 ", "12345   "},
                                           StampCase{u"1300", u"1234567890", "130", "12345678"},
                                           StampCase{u"", u"-7", "   ", "-7      "}));

TEST(RecordBuffer, PrintRecordWritesOneWholeLineInOneWrite) {
    struct CountingSink : ByteSink {
        int writes = 0;
        std::string data;
        void Write(std::string_view bytes) override {
            ++writes;
            data.append(bytes);
        }
    } sink;
    RecordBuffer record;
    PlaceField(record, 100, 4, u"\u00E9\u20AC\U0001F600");
    StampFixedFields(record, u"130", u"42");
    PrintRecord(sink, record);
    EXPECT_EQ(sink.writes, 1);
    ASSERT_EQ(sink.data.size(), size_t(LineBytes));
    EXPECT_EQ(cols(sink.data, 100, 103), "\xE9\x80??");  // accent, euro, emoji's two halves
    EXPECT_EQ(sink.data.substr(RecordLength), "\r\n");
}

struct PadCase {
    std::u16string value;
    int length;
    std::u16string padChar;
    std::u16string expected;
};

class PadLeftCase : public ::testing::TestWithParam<PadCase> {};

TEST_P(PadLeftCase, PadsTheCallersValueToo) {
    const PadCase& c = GetParam();
    std::u16string value = c.value;
    EXPECT_EQ(PadLeft(value, c.length, c.padChar), c.expected);
    EXPECT_EQ(value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Padding, PadLeftCase,
    ::testing::Values(PadCase{u"123", 8, u"0", u"00000123"}, PadCase{u"", 8, u"0", u"00000000"},
                      PadCase{u"123456789", 8, u"0", u"123456789"},  // never cuts
                      PadCase{u"12345678", 8, u"0", u"12345678"}, PadCase{u"12", 0, u"0", u"12"},
                      PadCase{u"12", -5, u"0", u"12"}, PadCase{u"12", INT_MIN, u"0", u"12"},
                      PadCase{u"7", 4, u"ab", u"ababab7"},  // the whole padChar at each turn
                      PadCase{u"7", 4, u"", u"7"}));

}  // namespace
}  // namespace mae
