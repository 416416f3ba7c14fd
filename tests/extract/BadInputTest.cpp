// Bad data in the registry, the control table and Meridane.ini, each through a whole run or a
// whole start-up: every one ends in a clear run-time error or in whole records, never in a crash
// or a half line.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/startup/Startup.h"
#include "common/RuntimeError.h"
#include "common/Text.h"
#include "extract/ExtractRun.h"
#include "layout/ItemLists.h"
#include "output/RecordFormat.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"
#include "support/TableTest.h"

namespace mae {
namespace {

using test::cols;
using test::MiniRegistry;

// The lines of a record file cut at every LineBytes bytes, so a CR LF that a value carried into
// the record does not split it; a file that is not whole lines fails the test.
std::vector<std::string> FixedLines(const std::string& path) {
    const std::string bytes = test::ReadFileBytes(path);
    EXPECT_EQ(bytes.size() % LineBytes, 0u) << path;
    std::vector<std::string> lines;
    for (size_t at = 0; at + LineBytes <= bytes.size(); at += LineBytes) {
        EXPECT_EQ(bytes.substr(at + RecordLength, 2), "\r\n") << path << " line " << lines.size();
        lines.push_back(bytes.substr(at, RecordLength));
    }
    return lines;
}

// ---- registry values through a whole run ------------------------------------------------

class BadRegistryValue : public ::testing::Test {
  protected:
    BadRegistryValue() : m_registry(m_dir.file("registry.db")) {}

    RunOutcome Run(test::MiniRun& run) {
        m_ui = test::RecordingUi{};
        return RunExtract(run.context, m_ui);
    }
    int RunError(test::MiniRun& run) {
        return test::ErrorNumber([&] { Run(run); }, &m_message);
    }
    std::string File(const char* name) const { return m_dir.file(name); }

    test::TempDir m_dir;
    MiniRegistry m_registry;
    test::RecordingUi m_ui;
    std::string m_message;
};

TEST_F(BadRegistryValue, UnusableMedrefIdEndsTheRunBeforeAnyLine) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    {
        // The join on medrefid keeps a Null out of a real case row; a select list whose first
        // MedrefID column is Null stands for a registry view that gives one anyway.
        test::MiniRun run(m_registry, m_dir.path());
        run.context.ConsolidatedSelectList =
            u"null as MedrefID, " + run.context.ConsolidatedSelectList;
        EXPECT_EQ(RunError(run), err::InvalidNull);
        EXPECT_NE(m_message.find("Invalid use of Null"), std::string::npos) << m_message;
    }
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), "");
    EXPECT_EQ(test::ReadFileBytes(File("AbstractAuditExtract.txt")), "");

    // Text that is not a number joins as well as a number does.
    m_registry.Exec(
        "update medicalsum set medrefid = 'M-1'; update medicalsum_2 set medrefid = 'M-1';"
        "update abstracts set medrefid = 'M-1'");
    test::MiniRun run(m_registry, m_dir.path());
    EXPECT_EQ(RunError(run), err::TypeMismatch);
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), "");
}

TEST_F(BadRegistryValue, NullRemarksGivesBlankTextItemsInAWholeRecord) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'", "null");
    m_registry.AddAbstract(11, 1, "1", "'00'", "'after' || char(2) || 'the null'");
    test::MiniRun run(m_registry, m_dir.path());
    ASSERT_EQ(Run(run), RunOutcome::Completed);
    const auto abstracts = FixedLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(abstracts.size(), 2u);
    // The registry returns the two abstracts in either order; the Null one has no text at all.
    const bool nullFirst = cols(abstracts[0], 2000, 2009) == std::string(10, ' ');
    const std::string& withNull = abstracts[nullFirst ? 0 : 1];
    const std::string& other = abstracts[nullFirst ? 1 : 0];
    EXPECT_EQ(cols(withNull, 2000, 2009), std::string(10, ' '));  // text item 2520
    EXPECT_EQ(cols(withNull, 3000, 3009), std::string(10, ' '));  // text item 2530
    EXPECT_EQ(cols(withNull, 540, 543), "C509");                  // column items still placed
    EXPECT_EQ(cols(withNull, 20879, 20886), "1       ");
    EXPECT_EQ(cols(other, 2000, 2009), "after     ");
    EXPECT_EQ(cols(other, 3000, 3009), "the null  ");
    EXPECT_EQ(test::ReadFileBytes(File("extract.log")), "");
}

TEST_F(BadRegistryValue, RemarksOfAHundredThousandCharactersIsCutAndLoggedWhole) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    // 49999 letters A, the separator, then 50000 accented letters: 100000 characters.
    m_registry.AddAbstract(10, 1, "1", "'00'",
                           "replace(hex(zeroblob(24999)), '0', 'A') || 'A' || char(2) || "
                           "replace(hex(zeroblob(25000)), '0', char(233))");
    test::MiniRun run(m_registry, m_dir.path());
    run.abstract[2].ColumnStart = 100;  // text item 2520, as long as a field can be
    run.abstract[2].FieldLength = 32767;
    ASSERT_EQ(Run(run), RunOutcome::Completed);

    const auto abstracts = FixedLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(abstracts.size(), 1u);
    const std::string& line = abstracts[0];
    // The first piece runs to the end of the record; the later text item and the fixed fields
    // are written over it.
    EXPECT_EQ(cols(line, 100, 2999), std::string(2900, 'A'));
    EXPECT_EQ(cols(line, 3000, 3009), std::string(10, ' '));  // text item 2530, scrubbed
    EXPECT_EQ(cols(line, 3010, 20878), std::string(20878 - 3009, 'A'));
    EXPECT_EQ(cols(line, 20879, 20886), "1AAAAAAA");  // a short MedrefID keeps what was there
    EXPECT_EQ(cols(line, 20887, 22824), std::string(22824 - 20886, 'A'));
    // Every one of the 50000 replacements has its line.
    std::string expected;
    for (int i = 0; i < 50000; ++i) expected += test::LogLine(233, "TextXray", "1");
    const std::string log = test::ReadFileBytes(File("extract.log"));
    EXPECT_EQ(log.size(), expected.size());
    EXPECT_TRUE(log == expected);
}

// Every character from code 1 to 255, in a registry column of both records and in Remarks (where
// code 2 splits it into the pieces 1 and 3-255), under each ScanText mode.
class EveryByteValue : public BadRegistryValue,
                       public ::testing::WithParamInterface<const char16_t*> {
  protected:
    // 1..255 as SQLite builds them: char(n) is the character of code point n, and one call
    // takes at most 127 arguments.
    static std::string AllCodes() {
        std::string sql = "(char(1";
        for (int c = 2; c < 256; ++c)
            sql += (c % 100 == 0 ? ") || char(" : ",") + std::to_string(c);
        return sql + "))";
    }
    // The Windows-1252 byte of the character of code point c, as the line holds it: 0x80-0x9F
    // are not characters of the code page and become '?', except the five bytes it leaves
    // unassigned, which stand for themselves.
    static char Byte(int c) {
        const bool unassigned = c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D;
        return (c >= 0x80 && c < 0xA0 && !unassigned) ? '?' : static_cast<char>(c);
    }
    // A character the scrubber replaces: its byte is outside 32..127.
    static bool Replaced(int c) {
        const auto b = static_cast<unsigned char>(Byte(c));
        return b < 32 || b > 127;
    }
    // What a value of these codes becomes in the record, scrubbed or not: CR and LF are blanks
    // either way, so the record stays one line.
    static std::string Written(int from, int to, bool scrubbed) {
        std::string out;
        for (int c = from; c <= to; ++c) {
            const bool lineEnd = c == '\r' || c == '\n';
            out += (scrubbed && Replaced(c)) || lineEnd ? ' ' : Byte(c);
        }
        return out;
    }
    static std::string LogOf(int from, int to, const std::string& field) {
        std::string out;
        for (int c = from; c <= to; ++c) {
            if (Replaced(c)) out += test::LogLine(static_cast<unsigned char>(Byte(c)), field, "1");
        }
        return out;
    }
};

TEST_P(EveryByteValue, EveryLineIsWholeAndEveryCharacterAccountedFor) {
    const std::u16string mode = GetParam();
    const bool scanText = mode == u"TEXT", scanAll = mode == u"ALL";
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'", AllCodes());
    m_registry.Exec(
        "alter table medicalsum add column Notes text;"
        "alter table abstracts add column Notes text;"
        "update medicalsum set Notes = " +
        AllCodes() + "; update abstracts set Notes = " + AllCodes());
    test::MiniRun run(m_registry, m_dir.path(), mode);
    run.consolidated.push_back({u"9001", u"Notes", 1000, 300, u""});
    run.context.ConsolidatedSelectList += u", Notes";
    run.abstract[2].FieldLength = 300;  // text item 2520 at 2000
    run.abstract[3].FieldLength = 300;  // text item 2530 at 3000
    run.abstract.push_back({u"9001", u"Notes", 1000, 300, u""});
    run.context.AbstractSelectList += u", Notes";
    ASSERT_EQ(Run(run), RunOutcome::Completed);
    // Readers split the files at line ends: each record must be exactly one line.
    for (const char* name : {"ConsolidatedAuditExtract.txt", "AbstractAuditExtract.txt"}) {
        EXPECT_EQ(std::ranges::count(test::ReadFileBytes(File(name)), '\n'), 1) << name;
    }

    const auto consolidated = FixedLines(File("ConsolidatedAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 1u);
    EXPECT_EQ(cols(consolidated[0], 1000, 1254), Written(1, 255, false));  // never scrubbed
    EXPECT_EQ(cols(consolidated[0], 1255, 1299), std::string(45, ' '));

    const auto abstracts = FixedLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(abstracts.size(), 1u);
    const std::string& line = abstracts[0];
    EXPECT_EQ(cols(line, 1000, 1254), Written(1, 255, scanAll));            // the column item
    EXPECT_EQ(cols(line, 2000, 2000), Written(1, 1, scanText || scanAll));  // piece 0
    EXPECT_EQ(cols(line, 2001, 2299), std::string(299, ' '));
    EXPECT_EQ(cols(line, 3000, 3252), Written(3, 255, scanText || scanAll));  // piece 1
    EXPECT_EQ(cols(line, 3253, 3299), std::string(47, ' '));
    EXPECT_EQ(cols(line, 1, 1), "A");
    EXPECT_EQ(cols(line, 20879, 20886), "1       ");

    // One line per replaced character, in layout order: the two pieces, then the column.
    std::string log;
    if (scanText || scanAll) log = LogOf(1, 1, "TextDx") + LogOf(3, 255, "TextXray");
    if (scanAll) log += LogOf(1, 255, "Notes");
    EXPECT_EQ(test::ReadFileBytes(File("extract.log")), log);
}

INSTANTIATE_TEST_SUITE_P(ScanTextModes, EveryByteValue, ::testing::Values(u"TEXT", u"ALL", u"none"),
                         [](const auto& info) { return ToUtf8(info.param); });

// SQLite keeps a text with a character of code 0 whole, but its ODBC driver hands the text over
// as a C string: it arrives cut before that character. The run writes what arrives.
TEST_F(BadRegistryValue, TextWithCodeZeroArrivesCutAtIt) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'", "'ab' || char(0) || 'cd' || char(2) || 'ef'");
    m_registry.Exec("update medicalsum set DxDate = '2011' || char(0) || '0101'");
    test::MiniRun run(m_registry, m_dir.path());
    ASSERT_EQ(Run(run), RunOutcome::Completed);
    const auto consolidated = FixedLines(File("ConsolidatedAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 1u);
    EXPECT_EQ(cols(consolidated[0], 530, 537), "2011    ");  // DxDate
    const auto abstracts = FixedLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(abstracts.size(), 1u);
    EXPECT_EQ(cols(abstracts[0], 2000, 2009), "ab        ");          // text item 2520
    EXPECT_EQ(cols(abstracts[0], 3000, 3009), std::string(10, ' '));  // no second piece arrived
    EXPECT_EQ(test::ReadFileBytes(File("extract.log")), "");
}

// ---- the control table and Meridane.ini through a whole start-up ------------------------

// A folder standing for the Windows folder, with a generated registry and control database.
class BadStartupInput : public ::testing::Test {
  protected:
    void WriteIni(const std::string& bytes) const { m_dir.WriteIniBytes(bytes); }
    std::string Body(const std::string& eol) const {
        return "[Databases]" + eol + "Control=" + test::SqliteConnection(m_control) + eol +
               "Registry=" + test::SqliteConnection(m_registry) + eol + "[Options]" + eol +
               "ScanText=ALL";
    }
    int LoadError(AppState& state) {
        return test::ErrorNumber([&] { Form_Load(state); }, &m_message);
    }

    test::GeneratedRegistry m_dir{{.cases = 0}};
    const std::string m_registry = m_dir.registry(), m_control = m_dir.control();
    std::string m_message;
};

struct ColumnStartCase {
    const char* sql;
    int error;
    const char* name;
};

class BadColumnStart : public BadStartupInput,
                       public ::testing::WithParamInterface<ColumnStartCase> {};

TEST_P(BadColumnStart, EndsStartUpNamingTheItemAndTable) {
    WriteIni(Body("\r\n"));
    test::ExecSql(m_control, std::string("update naaccr13layout set ColumnStart = ") +
                                 GetParam().sql + " where naaccr_item_no = 400");
    AppState s;
    EXPECT_EQ(LoadError(s), GetParam().error);
    EXPECT_NE(m_message.find("Loading the record layouts"), std::string::npos) << m_message;
    EXPECT_NE(m_message.find("column ColumnStart of item 400 in layout table naaccr13layout"),
              std::string::npos)
        << m_message;
}

INSTANTIATE_TEST_SUITE_P(Values, BadColumnStart,
                         ::testing::Values(ColumnStartCase{"null", err::InvalidNull, "Null"},
                                           ColumnStartCase{"'C50'", err::TypeMismatch,
                                                           "NotANumber"},
                                           ColumnStartCase{"40000", err::Overflow, "Above32767"}),
                         test::ByName);

// Start-up takes a start column below 1 or a negative length as read; the writer refuses it with
// error 5, naming the item and the table as start-up does, and the record leaves no line.
TEST_F(BadStartupInput, BadStartOrLengthReachingTheWriterNamesTheItemAndTable) {
    gen::WriteRegistryDatabase(m_registry, {.cases = 20});
    WriteIni(Body("\r\n"));
    for (const char* column : {"ColumnStart", "FieldLength"}) {
        gen::WriteControlDatabase(m_control);
        test::ExecSql(m_control, std::string("update naaccr13layout set ") + column +
                                     (column[0] == 'C' ? " = 0" : " = -1") +
                                     " where naaccr_item_no = 400");
        AppState s;
        ASSERT_EQ(LoadError(s), 0) << m_message;
        s.ApplicationFolder = m_dir.path();
        test::RecordingUi ui;
        try {
            RunExtract(s.MakeExtractContext(), ui);
            ADD_FAILURE() << column << ": the run ended without an error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), err::InvalidCall) << column;
            EXPECT_NE(e.description().find(std::string("(column ") + column +
                                           " of item 400 in layout table naaccr13layout)"),
                      std::string::npos)
                << e.description();
        }
        EXPECT_EQ(test::ReadFileBytes(m_dir.file("ConsolidatedAuditExtract.txt")), "") << column;
    }
}

TEST_F(BadStartupInput, MissingLayoutTableIsADatabaseErrorNamingIt) {
    WriteIni(Body("\r\n"));
    test::ExecSql(m_control, "drop table naaccr13layout");
    AppState s;
    EXPECT_EQ(LoadError(s), err::Provider);
    EXPECT_NE(m_message.find("Loading the record layouts"), std::string::npos) << m_message;
    EXPECT_NE(m_message.find("naaccr13layout"), std::string::npos) << m_message;
}

TEST_F(BadStartupInput, IniLineEndsAndByteOrderMarksStartTheSame) {
    const std::vector<std::pair<const char*, std::string>> files = {
        {"CR LF", Body("\r\n") + "\r\n"},
        {"LF", Body("\n") + "\n"},
        {"LF, no end after the last line", Body("\n")},
        {"UTF-8 mark, CR LF", "\xEF\xBB\xBF" + Body("\r\n") + "\r\n"},
        {"UTF-8 mark, LF", "\xEF\xBB\xBF" + Body("\n")},
    };
    for (const auto& [what, bytes] : files) {
        WriteIni(bytes);
        AppState s;
        ASSERT_EQ(LoadError(s), 0) << what << ": " << m_message;
        EXPECT_EQ(s.RegistryConnection.ConnectionString(),
                  FromUtf8(test::SqliteConnection(m_registry)))
            << what;
        EXPECT_EQ(s.ControlConnection.ConnectionString(),
                  FromUtf8(test::SqliteConnection(m_control)))
            << what;
        EXPECT_EQ(s.ScanTextMode, u"ALL") << what;
        EXPECT_EQ(s.AbstractLayout.size(), AbstractItemCount) << what;
    }
}

TEST_F(BadStartupInput, IniThatIsAFolderIsAMissingIni) {
    ASSERT_EQ(mkdir(m_dir.file("Meridane.ini").c_str(), 0755), 0);
    AppState s;
    EXPECT_EQ(LoadError(s), err::CannotCreate);
    EXPECT_NE(m_message.find("Registry"), std::string::npos) << m_message;
    EXPECT_FALSE(s.RegistryConnection.IsOpen());
}

}  // namespace
}  // namespace mae
