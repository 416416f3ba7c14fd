#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "db/Connection.h"
#include "db/Recordset.h"
#include "output/ByteSink.h"
#include "output/RecordFormat.h"
#include "output/RecordWriters.h"
#include "support/TestDb.h"

namespace mae {
namespace {

using test::LogLine;

using test::cols;

ItemLayout Entry(std::u16string item, std::u16string field, int16_t start, int16_t length,
                 std::u16string prompting = u"") {
    return ItemLayout{std::move(item), std::move(field), start, length, std::move(prompting)};
}

// The n-th line (from 0) of a file of record lines, CR LF included.
std::string LineAt(const std::string& data, size_t n) {
    return data.substr(n * LineBytes, LineBytes);
}

// A registry file in a temporary folder, read through the ODBC driver as the run reads it.
class RegistryRows : public ::testing::Test {
  protected:
    void Create(const std::string& sql) {
        test::ExecSql(m_db, sql);
        m_connection.SetConnectionString(test::SqliteConnectionString(m_db));
        m_connection.Open();
    }
    // The rows of a select, positioned on the first.
    Recordset& Rows(const std::u16string& select) {
        if (m_rows.IsOpen()) m_rows.Close();
        m_rows.Open(select, m_connection, CursorType::Static);
        return m_rows;
    }

    test::TempDir m_dir;
    std::string m_db = m_dir.file("registry.db");
    Connection m_connection;
    Recordset m_rows;
    WriterSettings m_settings{u"130", u"TEXT", u"layout"};
};

// ---- consolidated records ----------------------------------------------------------------

class ConsolidatedWriter : public RegistryRows {
  protected:
    void SetUp() override {
        Create(
            "create table medicalsum (medrefid integer, patientid text, psite text,"
            "  dxyear integer, weight real, notes text);"
            "insert into medicalsum values (12345, '4711', 'C509', 2011, 2.5, 'caf\xC3\xA9');"
            "insert into medicalsum values (2, '123456789', null, null, null, null);");
    }
};

TEST_F(ConsolidatedWriter, RecordWithNothingPlacedHoldsOnlyTheFixedFields) {
    StringSink out;
    WriteConsolidatedRecord(out, Rows(u"select * from medicalsum order by medrefid desc"), Layout{},
                            m_settings);
    std::string expected = "A" + std::string(15, ' ') + "130" + std::string(20878 - 19, ' ') +
                           "12345   " + std::string(RecordLength - 20886, ' ') + "\r\n";
    ASSERT_EQ(out.data().size(), size_t(LineBytes));
    EXPECT_EQ(out.data(), expected);
}

TEST_F(ConsolidatedWriter, ItemTwentyIsZeroPaddedOtherItemsAreLeftAligned) {
    const Layout layout = {
        Entry(u"20", u"patientid", 42, 8),      // Patient ID Number
        Entry(u"400", u"psite", 60, 6),         // Primary Site
        Entry(u"390", u"dxyear", 70, 6),        // an integer column
        Entry(u"9001", u"weight", 80, 6),       // a real column
        Entry(u"9002", u"notes", 90, 6, u"X"),  // text entries are read from the case row too
    };
    StringSink out;
    Recordset& rows = Rows(u"select * from medicalsum order by medrefid desc");
    WriteConsolidatedRecord(out, rows, layout, m_settings);
    rows.MoveNext();
    WriteConsolidatedRecord(out, rows, layout, m_settings);
    ASSERT_EQ(out.data().size(), 2u * LineBytes);

    const std::string first = LineAt(out.data(), 0);
    EXPECT_EQ(cols(first, 42, 49), "00004711");  // patient id, padded with zeros
    EXPECT_EQ(cols(first, 60, 65), "C509  ");    // primary site
    EXPECT_EQ(cols(first, 70, 75), "2011  ");    // digits left-aligned, blanks after
    EXPECT_EQ(cols(first, 80, 85), "2.5   ");
    EXPECT_EQ(cols(first, 90, 95), "caf\xE9  ");  // never scrubbed: written in Windows-1252
    EXPECT_EQ(cols(first, 20879, 20886), "12345   ");

    const std::string second = LineAt(out.data(), 1);
    EXPECT_EQ(cols(second, 42, 49), "12345678");             // 9 digits keep their first 8
    EXPECT_EQ(cols(second, 50, 100), std::string(51, ' '));  // Null columns stay blank
    EXPECT_EQ(cols(second, 20879, 20886), "2       ");
}

TEST_F(ConsolidatedWriter, FixedFieldsOverwriteLayoutValues) {
    const Layout layout = {Entry(u"10", u"patientid", 1, 20), Entry(u"11", u"psite", 20877, 10)};
    StringSink out;
    WriteConsolidatedRecord(out, Rows(u"select * from medicalsum"), layout, m_settings);
    const std::string& line = out.data();
    EXPECT_EQ(cols(line, 1, 1), "A");  // record type
    EXPECT_EQ(cols(line, 2, 4), "711");
    EXPECT_EQ(cols(line, 17, 19), "130");  // NAACCR record version
    EXPECT_EQ(cols(line, 20877, 20878), "C5");
    EXPECT_EQ(cols(line, 20879, 20886), "12345   ");  // MedrefID
}

TEST_F(ConsolidatedWriter, AnEntryWithoutAColumnIsSkipped) {
    const Layout layout = {Entry(u"400", u"psite", 60, 4), Entry(u"410", u"", 60, 4)};
    StringSink out;
    WriteConsolidatedRecord(out, Rows(u"select * from medicalsum"), layout, m_settings);
    EXPECT_EQ(cols(out.data(), 60, 63), "C509");
}

// A name in brackets or quotes, or qualified, selects a column that the result names without
// them: the writer finds the value by that name.
TEST_F(ConsolidatedWriter, BracketedQuotedAndQualifiedNamesFindTheirColumn) {
    const Layout layout = {
        Entry(u"400", u"[psite]", 60, 4),
        Entry(u"390", u"medicalsum.dxyear", 70, 4),
        Entry(u"9001", u"main.medicalsum.[weight]", 80, 3),
        Entry(u"9002", u"\"notes\"", 90, 4),
    };
    StringSink out;
    WriteConsolidatedRecord(out,
                            Rows(u"select medrefid, [psite], medicalsum.dxyear, "
                                 u"main.medicalsum.[weight], \"notes\" from medicalsum "
                                 u"order by medrefid desc"),
                            layout, m_settings);
    const std::string& line = out.data();
    EXPECT_EQ(cols(line, 60, 63), "C509");  // primary site
    EXPECT_EQ(cols(line, 70, 73), "2011");
    EXPECT_EQ(cols(line, 80, 82), "2.5");
    EXPECT_EQ(cols(line, 90, 93), "caf\xE9");
}

TEST_F(ConsolidatedWriter, AFailingRowWritesNothing) {
    StringSink out;
    EXPECT_THROW(WriteConsolidatedRecord(out, Rows(u"select * from medicalsum"),
                                         {Entry(u"400", u"nosuchcolumn", 60, 4)}, m_settings),
                 RuntimeError);
    try {
        WriteConsolidatedRecord(out, Rows(u"select null as medrefid"), Layout{}, m_settings);
        ADD_FAILURE() << "a Null MedrefID was written";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::InvalidNull);
    }
    EXPECT_EQ(out.data(), "");
}

// ---- abstract records --------------------------------------------------------------------

// Remarks pieces are separated by the character of code 2; char(2) builds them in SQL.
class AbstractWriter : public RegistryRows {
  protected:
    void SetUp() override {
        Create(
            "create table abstracts (absrefid integer, medrefid integer, patientid text,"
            "  typerepsrc text, remarks text);");
    }
    void Insert(int absrefid, const std::string& medrefid, const std::string& typeRepSrc,
                const std::string& remarks) {
        test::ExecSql(m_db, "insert into abstracts values (" + std::to_string(absrefid) + ", " +
                                medrefid + ", '4711', " + typeRepSrc + ", " + remarks + ");");
    }
    // Writes the abstract of that absrefid; the line, CR LF included.
    std::string Write(int absrefid, const Layout& layout) {
        StringSink out;
        WriteAbstractRecord(out,
                            Rows(u"select * from abstracts where absrefid = " +
                                 std::u16string(1, char16_t(u'0' + absrefid))),
                            layout, m_settings, m_log);
        EXPECT_EQ(out.data().size(), size_t(LineBytes));
        return out.data();
    }

    StringSink m_log;
};

TEST_F(AbstractWriter, TextEntriesTakeThePiecesInOrder) {
    Insert(1, "77", "'1'", "'first' || char(2) || 'second' || char(2) || 'third'");
    Insert(2, "77", "'1'", "char(2) || 'two'");
    const Layout layout = {
        Entry(u"2520", u"TextDxProcPe", 100, 10, u"X"),
        Entry(u"500", u"typerepsrc", 110, 1),
        Entry(u"2530", u"TextDxProcXRay", 120, 3, u"X"),
    };
    const std::string first = Write(1, layout);
    EXPECT_EQ(cols(first, 100, 109), "first     ");     // text: physical exam
    EXPECT_EQ(cols(first, 110, 110), "1");              // type of reporting source
    EXPECT_EQ(cols(first, 120, 122), "sec");            // text: x-ray/scan, cut at its length
    EXPECT_EQ(first.find("third"), std::string::npos);  // no text entry left for piece 2

    const std::string second = Write(2, layout);
    EXPECT_EQ(cols(second, 100, 109), std::string(10, ' '));  // the empty piece
    EXPECT_EQ(cols(second, 120, 122), "two");
    EXPECT_EQ(m_log.data(), "");
}

TEST_F(AbstractWriter, MissingPiecesAreEmptyAndTheRecordIsStillWritten) {
    Insert(1, "77", "'1'", "null");
    Insert(2, "77", "'1'", "''");
    Insert(3, "77", "'1'", "'only'");
    const Layout layout = {Entry(u"2520", u"TextDxProcPe", 100, 10, u"X"),
                           Entry(u"2530", u"TextDxProcXRay", 120, 10, u"X"),
                           Entry(u"500", u"typerepsrc", 130, 1)};
    for (int id : {1, 2, 3}) {
        const std::string line = Write(id, layout);
        EXPECT_EQ(cols(line, 100, 109), id == 3 ? "only      " : std::string(10, ' ')) << id;
        EXPECT_EQ(cols(line, 120, 129), std::string(10, ' ')) << id;
        EXPECT_EQ(cols(line, 130, 130), "1") << id;  // the entry after them is still placed
        EXPECT_EQ(cols(line, 20879, 20886), "77      ") << id;  // MedrefID
    }
}

TEST_F(AbstractWriter, ItemTwentyIsPaddedInColumnsButNeverInText) {
    Insert(1, "77", "'1'", "'12'");
    const Layout layout = {Entry(u"20", u"patientid", 42, 8),
                           Entry(u"20", u"TextPatientId", 60, 8, u"X")};
    const std::string line = Write(1, layout);
    EXPECT_EQ(cols(line, 42, 49), "00004711");  // patient id from its column
    EXPECT_EQ(cols(line, 60, 67), "12      ");  // the same item as a text piece
}

TEST_F(AbstractWriter, AnEntryWithoutAColumnPlacesNothingAndKeepsTheWorkingValue) {
    Insert(1, "77", "'1'", "'piece'");
    m_settings.ScanTextMode = u"ALL";
    const Layout layout = {Entry(u"500", u"typerepsrc", 110, 1), Entry(u"510", u"", 112, 4),
                           Entry(u"2520", u"", 120, 5, u"X")};  // a text entry needs no column
    const std::string line = Write(1, layout);
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
    // "caf\u00E9<TAB>X" and "na\u00EFve<CR><LF>ok", stored as UTF-8
    Insert(1, "4711", "'caf\xC3\xA9' || char(9) || 'X'", "'na\xC3\xAFve' || char(13, 10) || 'ok'");
    m_settings.ScanTextMode = c.mode;
    const Layout layout = {Entry(u"500", u"typerepsrc", 200, 8),
                           Entry(u"2520", u"TextDxProcPe", 300, 11, u"X")};
    const std::string line = Write(1, layout);
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
    Insert(1, "77", "'\xE4\xB8\xAD'", "'a\xE4\xB8\xAD\xF0\x9F\x98\x80z'");
    for (std::u16string mode : {u"TEXT", u"ALL"}) {
        m_settings.ScanTextMode = mode;
        const std::string line = Write(1, {Entry(u"500", u"typerepsrc", 200, 2),
                                           Entry(u"2520", u"TextDxProcPe", 300, 6, u"X")});
        EXPECT_EQ(cols(line, 200, 201), "? ");      // type of reporting source
        EXPECT_EQ(cols(line, 300, 305), "a???z ");  // text: physical exam
    }
    EXPECT_EQ(m_log.data(), "");
}

TEST_F(AbstractWriter, ReplacementsOfTwoAbstractsAreLoggedInOrderToTheFile) {
    Insert(1, "501", "'1'", "'d\xC3\xA9j\xC3\xA0'");  // "déjà"
    Insert(2, "502", "'1'", "'\xE2\x82\xAC'");        // the euro sign
    const std::string logPath = m_dir.file("extract.log");
    {
        FileSink log(logPath);
        StringSink out;
        const Layout layout = {Entry(u"2520", u"TextDxProcPe", 300, 10, u"X")};
        WriteAbstractRecord(out, Rows(u"select * from abstracts where absrefid = 1"), layout,
                            m_settings, log);
        WriteAbstractRecord(out, Rows(u"select * from abstracts where absrefid = 2"), layout,
                            m_settings, log);
        EXPECT_EQ(cols(out.data(), 300, 303), "d j ");
    }
    EXPECT_EQ(test::ReadFileBytes(logPath), LogLine(233, "TextDxProcPe", "501") +
                                                LogLine(224, "TextDxProcPe", "501") +
                                                LogLine(128, "TextDxProcPe", "502"));
}

TEST_F(AbstractWriter, ANullMedrefIdFailsBeforeAnythingIsWritten) {
    Insert(1, "null", "'1'", "'\xC3\xA9'");
    StringSink out;
    for (std::u16string mode : {u"TEXT", u"other"}) {  // fails at the scrub, or at the stamp
        m_settings.ScanTextMode = mode;
        try {
            WriteAbstractRecord(out, Rows(u"select * from abstracts"),
                                {Entry(u"2520", u"TextDxProcPe", 300, 10, u"X")}, m_settings,
                                m_log);
            ADD_FAILURE() << "written without a MedrefID";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidNull);
        }
    }
    EXPECT_EQ(out.data(), "");
}

// ---- lines in a real file ----------------------------------------------------------------

TEST_F(AbstractWriter, EveryLineReadBackIsExactlyOneRecordAndCrLf) {
    const std::string longText(40000, 'L');
    Insert(1, "1", "'\xC3\xA9\xC3\xA8\xC3\xBC'", "'\xE2\x82\xAC uro' || char(2) || 'x'");
    Insert(2, "22", "'\xF0\x9F\x98\x80\xF0\x9F\x98\x80'", "'\xF0\x9F\x98\x80 smile'");
    Insert(3, "333", "'" + longText + "'", "'" + longText + "' || char(2) || '" + longText + "'");
    Insert(4, "4444", "null", "null");
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
            Recordset& rows = Rows(u"select * from abstracts order by absrefid");
            for (; !rows.Eof(); rows.MoveNext()) {
                WriteAbstractRecord(out, rows, layout, m_settings, m_log);
            }
        }
        const std::string data = test::ReadFileBytes(path);
        std::vector<std::string> lines;
        for (size_t from = 0; from < data.size();) {
            const size_t end = data.find("\r\n", from);
            ASSERT_NE(end, std::string::npos);
            lines.push_back(data.substr(from, end - from));
            from = end + 2;
        }
        ASSERT_EQ(lines.size(), 4u);
        for (const std::string& line : lines) EXPECT_EQ(line.size(), size_t(RecordLength));
        EXPECT_EQ(cols(lines[0], 22800, 22807), mode == u"none" ? "\x80 uro   " : "  uro   ");
        EXPECT_EQ(cols(lines[1], 2, 4), "???");  // emoji halves are kept, even under ALL
        // a short MedrefID leaves what the layout put after it
        EXPECT_EQ(cols(lines[2], 20879, 20886), "333LLLLL");
        EXPECT_EQ(cols(lines[2], 20887, 22824), std::string(22824 - 20886, 'L'));
        EXPECT_EQ(lines[3], "A" + std::string(15, ' ') + "130" + std::string(20878 - 19, ' ') +
                                "4444    " + std::string(22824 - 20886, ' '));
    }
}

}  // namespace
}  // namespace mae
