#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Row.h"
#include "output/ByteSink.h"
#include "output/RecordFormat.h"
#include "output/RecordWriters.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::cols;
using test::LogLine;

ItemLayout Entry(std::u16string item, std::u16string field, int16_t start, int16_t length,
                 std::u16string prompting = u"") {
    return ItemLayout{std::move(item), std::move(field), start, length, std::move(prompting)};
}

// The n-th line (from 0) of a file of record lines, CR LF included.
std::string LineAt(const std::string& data, size_t n) {
    return data.substr(n * LineBytes, LineBytes);
}

// A record line that holds only the fixed fields: record type, version 130 and the MedrefID.
std::string FixedFieldsOnly(std::string medrefId) {
    std::string line(RecordLength, ' ');
    line[0] = 'A';
    line.replace(16, 3, "130");
    medrefId.resize(8, ' ');
    line.replace(20878, 8, medrefId);
    return line;
}

Value Text(std::u16string text) { return Value(std::move(text)); }
Value Number(int64_t n) { return Value(n); }

// A row in memory, as a query's result hands it to the writers; the rows of one result share
// their columns.
Row RowOf(std::shared_ptr<const ColumnSet> columns, std::vector<Value> values) {
    return Row{std::move(values), std::move(columns)};
}

// ---- consolidated records ----------------------------------------------------------------

class ConsolidatedWriter : public ::testing::Test {
  protected:
    // Written one after the other with one LayoutColumns, as the run writes its cases.
    std::string Write(const std::vector<Row>& rows, const Layout& layout) {
        StringSink out;
        LayoutColumns columns(layout);
        for (const Row& row : rows) WriteConsolidatedRecord(out, row, columns, m_settings);
        return out.data();
    }

    std::shared_ptr<const ColumnSet> m_columns =
        std::make_shared<ColumnSet>(std::vector<std::u16string>{u"medrefid", u"patientid", u"psite",
                                                                u"dxyear", u"weight", u"notes"});
    WriterSettings m_settings{u"130", u"TEXT", u"layout"};
    std::vector<Row> m_rows = {
        RowOf(m_columns, {Number(12345), Text(u"4711"), Text(u"C509"), Number(2011), Value(2.5),
                          Text(u"caf\u00E9")}),
        RowOf(m_columns, {Number(2), Text(u"123456789"), Value(), Value(), Value(), Value()}),
    };
};

TEST_F(ConsolidatedWriter, RecordWithNothingPlacedHoldsOnlyTheFixedFields) {
    EXPECT_EQ(Write({m_rows[0]}, Layout{}), FixedFieldsOnly("12345") + "\r\n");
}

TEST_F(ConsolidatedWriter, ItemTwentyIsZeroPaddedOtherItemsAreLeftAligned) {
    const Layout layout = {
        Entry(u"20", u"patientid", 42, 8),      // Patient ID Number
        Entry(u"400", u"psite", 60, 6),         // Primary Site
        Entry(u"390", u"dxyear", 70, 6),        // an integer column
        Entry(u"9001", u"weight", 80, 6),       // a real column
        Entry(u"9002", u"notes", 90, 6, u"X"),  // text entries are read from the case row too
    };
    const std::string data = Write(m_rows, layout);
    ASSERT_EQ(data.size(), 2u * LineBytes);

    const std::string first = LineAt(data, 0);
    EXPECT_EQ(cols(first, 42, 49), "00004711");  // patient id, padded with zeros
    EXPECT_EQ(cols(first, 60, 65), "C509  ");    // primary site
    EXPECT_EQ(cols(first, 70, 75), "2011  ");    // digits left-aligned, blanks after
    EXPECT_EQ(cols(first, 80, 85), "2.5   ");
    EXPECT_EQ(cols(first, 90, 95), "caf\xE9  ");  // never scrubbed: written in Windows-1252
    EXPECT_EQ(cols(first, 20879, 20886), "12345   ");

    const std::string second = LineAt(data, 1);
    EXPECT_EQ(cols(second, 42, 49), "12345678");             // 9 digits keep their first 8
    EXPECT_EQ(cols(second, 50, 100), std::string(51, ' '));  // Null columns stay blank
    EXPECT_EQ(cols(second, 20879, 20886), "2       ");
}

TEST_F(ConsolidatedWriter, FixedFieldsOverwriteLayoutValues) {
    const Layout layout = {Entry(u"10", u"patientid", 1, 20), Entry(u"11", u"psite", 20877, 10)};
    const std::string line = Write({m_rows[0]}, layout);
    EXPECT_EQ(cols(line, 1, 1), "A");  // record type
    EXPECT_EQ(cols(line, 2, 4), "711");
    EXPECT_EQ(cols(line, 17, 19), "130");  // NAACCR record version
    EXPECT_EQ(cols(line, 20877, 20878), "C5");
    EXPECT_EQ(cols(line, 20879, 20886), "12345   ");  // MedrefID
}

TEST_F(ConsolidatedWriter, AnEntryWithoutAColumnIsSkipped) {
    const Layout layout = {Entry(u"400", u"psite", 60, 4), Entry(u"410", u"", 60, 4)};
    EXPECT_EQ(cols(Write({m_rows[0]}, layout), 60, 63), "C509");
}

// A name in brackets or quotes, or qualified, selects a column that the result names without
// them, in any letter case: the writer finds the value by that name. Rows of other columns
// that come later find their own positions.
TEST_F(ConsolidatedWriter, BracketedQuotedAndQualifiedNamesFindTheirColumn) {
    const Layout layout = {
        Entry(u"400", u"[psite]", 60, 4),
        Entry(u"390", u"medicalsum.dxyear", 70, 4),
        Entry(u"9001", u"main.medicalsum.[weight]", 80, 3),
        Entry(u"9002", u"\"notes\"", 90, 4),
    };
    auto reordered = std::make_shared<ColumnSet>(
        std::vector<std::u16string>{u"NOTES", u"Weight", u"dxyear", u"psite", u"MEDREFID"});
    const Row row = RowOf(
        reordered, {Text(u"caf\u00E9"), Value(2.5), Number(2011), Text(u"C509"), Number(12345)});
    const std::string data = Write({row, m_rows[0], row}, layout);
    for (size_t n : {0u, 1u, 2u}) {
        const std::string line = LineAt(data, n);
        EXPECT_EQ(cols(line, 60, 63), "C509");  // primary site
        EXPECT_EQ(cols(line, 70, 73), "2011");
        EXPECT_EQ(cols(line, 80, 82), "2.5");
        EXPECT_EQ(cols(line, 90, 93), "caf\xE9");
        EXPECT_EQ(cols(line, 20879, 20886), "12345   ");
    }
}

// A column the rows do not have is error 3265 naming it, as is a row shorter than its columns;
// a Null MedrefID is error 94. Nothing of the failing record is written.
TEST_F(ConsolidatedWriter, AFailingRowWritesNothing) {
    StringSink out;
    auto failure = [&](const Row& row, const Layout& layout) {
        LayoutColumns columns(layout);
        std::string description;
        const int number = test::ErrorNumber(
            [&] { WriteConsolidatedRecord(out, row, columns, m_settings); }, &description);
        return std::to_string(number) + " " + description;
    };
    const std::string noColumn =
        "3265 Item cannot be found in the collection corresponding to "
        "the requested name or ordinal: no column ";
    EXPECT_EQ(failure(m_rows[0], {Entry(u"400", u"nosuchcolumn", 60, 4)}),
              noColumn + "'nosuchcolumn' in the query's result.");
    EXPECT_EQ(failure(RowOf(m_columns, {Number(1)}), {Entry(u"400", u"psite", 60, 4)}),
              noColumn + "'psite' in the query's result.");
    EXPECT_EQ(failure(RowOf(nullptr, {}), {}), noColumn + "'MedrefID' in the query's result.");
    const auto medrefOnly = std::make_shared<ColumnSet>(std::vector<std::u16string>{u"medrefid"});
    EXPECT_EQ(failure(RowOf(medrefOnly, {Value()}), {}).substr(0, 22), "94 Invalid use of Null");
    EXPECT_EQ(out.data(), "");
}

// ---- abstract records --------------------------------------------------------------------

// Remarks pieces are separated by the character of code 2.
class AbstractWriter : public ::testing::Test {
  protected:
    // An abstract row of the case medrefId, of patient 4711.
    Row Abstract(Value medrefId, Value typeRepSrc, Value remarks) const {
        return RowOf(m_columns, {std::move(medrefId), Text(u"4711"), std::move(typeRepSrc),
                                 std::move(remarks)});
    }
    // Writes the abstracts one after the other, as the run does.
    void WriteAll(ByteSink& out, const std::vector<Row>& rows, const Layout& layout,
                  ByteSink& log) {
        LayoutColumns columns(layout);
        for (const Row& row : rows) WriteAbstractRecord(out, row, columns, m_settings, log);
    }
    // One abstract's line, CR LF included.
    std::string Write(const Row& row, const Layout& layout) {
        StringSink out;
        WriteAll(out, {row}, layout, m_log);
        EXPECT_EQ(out.data().size(), size_t(LineBytes));
        return out.data();
    }

    std::shared_ptr<const ColumnSet> m_columns = std::make_shared<ColumnSet>(
        std::vector<std::u16string>{u"medrefid", u"patientid", u"typerepsrc", u"remarks"});
    WriterSettings m_settings{u"130", u"TEXT", u"layout"};
    test::TempDir m_dir;
    StringSink m_log;
};

TEST_F(AbstractWriter, TextEntriesTakeThePiecesInOrder) {
    const Layout layout = {
        Entry(u"2520", u"TextDxProcPe", 100, 10, u"X"),
        Entry(u"500", u"typerepsrc", 110, 1),
        Entry(u"2530", u"TextDxProcXRay", 120, 3, u"X"),
    };
    const std::string first =
        Write(Abstract(Number(77), Text(u"1"), Text(u"first\x02second\x02third")), layout);
    EXPECT_EQ(cols(first, 100, 109), "first     ");     // text: physical exam
    EXPECT_EQ(cols(first, 110, 110), "1");              // type of reporting source
    EXPECT_EQ(cols(first, 120, 122), "sec");            // text: x-ray/scan, cut at its length
    EXPECT_EQ(first.find("third"), std::string::npos);  // no text entry left for piece 2

    const std::string second = Write(Abstract(Number(77), Text(u"1"), Text(u"\x02two")), layout);
    EXPECT_EQ(cols(second, 100, 109), std::string(10, ' '));  // the empty piece
    EXPECT_EQ(cols(second, 120, 122), "two");
    EXPECT_EQ(m_log.data(), "");
}

TEST_F(AbstractWriter, MissingPiecesAreEmptyAndTheRecordIsStillWritten) {
    const Layout layout = {Entry(u"2520", u"TextDxProcPe", 100, 10, u"X"),
                           Entry(u"2530", u"TextDxProcXRay", 120, 10, u"X"),
                           Entry(u"500", u"typerepsrc", 130, 1)};
    const std::string blank(10, ' ');
    const struct {
        Value remarks;
        std::string first;  // the first text entry
    } cases[] = {{Value(), blank}, {Text(u""), blank}, {Text(u"only"), "only      "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first);
        const std::string line = Write(Abstract(Number(77), Text(u"1"), c.remarks), layout);
        EXPECT_EQ(cols(line, 100, 109), c.first);
        EXPECT_EQ(cols(line, 120, 129), blank);
        EXPECT_EQ(cols(line, 130, 130), "1");             // the entry after them is still placed
        EXPECT_EQ(cols(line, 20879, 20886), "77      ");  // MedrefID
    }
}

TEST_F(AbstractWriter, ItemTwentyIsPaddedInColumnsButNeverInText) {
    const Layout layout = {Entry(u"20", u"patientid", 42, 8),
                           Entry(u"20", u"TextPatientId", 60, 8, u"X")};
    const std::string line = Write(Abstract(Number(77), Text(u"1"), Text(u"12")), layout);
    EXPECT_EQ(cols(line, 42, 49), "00004711");  // patient id from its column
    EXPECT_EQ(cols(line, 60, 67), "12      ");  // the same item as a text piece
}

TEST_F(AbstractWriter, AnEntryWithoutAColumnPlacesNothingAndKeepsTheWorkingValue) {
    m_settings.ScanTextMode = u"ALL";
    const Layout layout = {Entry(u"500", u"typerepsrc", 110, 1), Entry(u"510", u"", 112, 4),
                           Entry(u"2520", u"", 120, 5, u"X")};  // a text entry needs no column
    const std::string line = Write(Abstract(Number(77), Text(u"1"), Text(u"piece")), layout);
    EXPECT_EQ(cols(line, 110, 116), "1      ");
    EXPECT_EQ(cols(line, 120, 124), "piece");
    EXPECT_EQ(m_log.data(), "");
}

// Which values ScanTextMode sends through the scrubber, on a column value holding an
// accented letter and a TAB, and a Remarks piece holding an accented letter and a CR LF.
struct ScanCase {
    std::u16string mode;
    std::string column;  // columns 200-207: the column entry "typerepsrc"
    std::string text;    // columns 300-310: the text entry
    std::string log;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << "ScanTextMode \"" << ToUtf8(c.mode) << '"';
}

class AbstractScanMode : public AbstractWriter, public ::testing::WithParamInterface<ScanCase> {};

TEST_P(AbstractScanMode, ScrubsWhatTheModeAsks) {
    const ScanCase& c = GetParam();
    m_settings.ScanTextMode = c.mode;
    const Layout layout = {Entry(u"500", u"typerepsrc", 200, 8),
                           Entry(u"2520", u"TextDxProcPe", 300, 11, u"X")};
    const std::string line =
        Write(Abstract(Number(4711), Text(u"caf\u00E9\tX"), Text(u"na\u00EFve\r\nok")), layout);
    EXPECT_EQ(cols(line, 200, 207), c.column);  // type of reporting source
    EXPECT_EQ(cols(line, 300, 310), c.text);    // text: physical exam
    EXPECT_EQ(m_log.data(), c.log);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, AbstractScanMode,
    ::testing::Values(
        ScanCase{u"TEXT", "caf\xE9\tX  ", "na ve  ok  ",
                 LogLine(239, "TextDxProcPe", "4711") + LogLine(13, "TextDxProcPe", "4711") +
                     LogLine(10, "TextDxProcPe", "4711")},
        ScanCase{u"ALL", "caf  X  ", "na ve  ok  ",
                 LogLine(233, "typerepsrc", "4711") + LogLine(9, "typerepsrc", "4711") +
                     LogLine(239, "TextDxProcPe", "4711") + LogLine(13, "TextDxProcPe", "4711") +
                     LogLine(10, "TextDxProcPe", "4711")},
        // anything but exactly TEXT or ALL scrubs nothing; CR and LF are placed as blanks all
        // the same, so the record stays one line
        ScanCase{u"All", "caf\xE9\tX  ", "na\xEFve  ok  ", ""},
        ScanCase{u"text", "caf\xE9\tX  ", "na\xEFve  ok  ", ""},
        ScanCase{u"", "caf\xE9\tX  ", "na\xEFve  ok  ", ""}));

TEST_F(AbstractWriter, CharactersOutsideWindows1252AreWrittenAsQuestionMarks) {
    // U+4E2D and U+1F600 (an emoji, two UTF-16 units)
    const Row row = Abstract(Number(77), Text(u"\u4E2D"), Text(u"a\u4E2D\U0001F600z"));
    for (std::u16string mode : {u"TEXT", u"ALL"}) {
        m_settings.ScanTextMode = mode;
        const std::string line = Write(row, {Entry(u"500", u"typerepsrc", 200, 2),
                                             Entry(u"2520", u"TextDxProcPe", 300, 6, u"X")});
        EXPECT_EQ(cols(line, 200, 201), "? ");      // type of reporting source
        EXPECT_EQ(cols(line, 300, 305), "a???z ");  // text: physical exam
    }
    EXPECT_EQ(m_log.data(), "");
}

TEST_F(AbstractWriter, ReplacementsOfTwoAbstractsAreLoggedInOrderToTheFile) {
    const std::string logPath = m_dir.file("extract.log");
    {
        FileSink log(logPath);
        StringSink out;
        WriteAll(out,
                 {Abstract(Number(501), Text(u"1"), Text(u"d\u00E9j\u00E0")),
                  Abstract(Number(502), Text(u"1"), Text(u"\u20AC"))},  // the euro sign
                 {Entry(u"2520", u"TextDxProcPe", 300, 10, u"X")}, log);
        EXPECT_EQ(cols(out.data(), 300, 303), "d j ");
    }
    EXPECT_EQ(test::ReadFileBytes(logPath), LogLine(233, "TextDxProcPe", "501") +
                                                LogLine(224, "TextDxProcPe", "501") +
                                                LogLine(128, "TextDxProcPe", "502"));
}

TEST_F(AbstractWriter, ANullMedrefIdFailsBeforeAnythingIsWritten) {
    StringSink out;
    for (std::u16string mode : {u"TEXT", u"other"}) {  // fails at the scrub, or at the stamp
        m_settings.ScanTextMode = mode;
        EXPECT_EQ(test::ErrorNumber([&] {
                      WriteAll(out, {Abstract(Value(), Text(u"1"), Text(u"\u00E9"))},
                               {Entry(u"2520", u"TextDxProcPe", 300, 10, u"X")}, m_log);
                  }),
                  err::InvalidNull);
    }
    EXPECT_EQ(out.data(), "");
}

// ---- lines in a real file ----------------------------------------------------------------

TEST_F(AbstractWriter, EveryLineReadBackIsExactlyOneRecordAndCrLf) {
    const std::u16string longText(40000, u'L');
    const std::vector<Row> rows = {
        Abstract(Number(1), Text(u"\u00E9\u00E8\u00FC"), Text(u"\u20AC uro\x02x")),
        Abstract(Number(22), Text(u"\U0001F600\U0001F600"), Text(u"\U0001F600 smile")),
        Abstract(Number(333), Text(longText), Text(longText + u'\x02' + longText)),
        Abstract(Number(4444), Value(), Value()),
    };
    const Layout layout = {
        Entry(u"500", u"typerepsrc", 1, 30000),  // long enough to run into the fixed fields
        Entry(u"2520", u"TextDxProcPe", 22800, 100, u"X"),  // runs past the end of the record
        Entry(u"2530", u"TextDxProcXRay", 5000, 32767, u"X"),
    };
    const std::string path = m_dir.file("AbstractAuditExtract.txt");
    for (std::u16string mode : {u"TEXT", u"ALL", u"none"}) {
        m_settings.ScanTextMode = mode;
        {
            FileSink out(path);
            WriteAll(out, rows, layout, m_log);
        }
        const std::string data = test::ReadFileBytes(path);
        ASSERT_EQ(data.size(), 4u * LineBytes);
        std::vector<std::string> lines;
        for (size_t n = 0; n < 4; ++n) {
            lines.push_back(LineAt(data, n));
            EXPECT_EQ(lines[n].find("\r\n"), size_t(RecordLength));  // one record, then CR LF
        }
        EXPECT_EQ(cols(lines[0], 22800, 22807), mode == u"none" ? "\x80 uro   " : "  uro   ");
        EXPECT_EQ(cols(lines[1], 2, 4), "???");  // emoji halves are kept, even under ALL
        // a short MedrefID leaves what the layout put after it
        EXPECT_EQ(cols(lines[2], 20879, 20886), "333LLLLL");
        EXPECT_EQ(cols(lines[2], 20887, 22824), std::string(22824 - 20886, 'L'));
        EXPECT_EQ(lines[3], FixedFieldsOnly("4444") + "\r\n");
    }
}

}  // namespace
}  // namespace mae
