#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

#include "common/RuntimeError.h"
#include "common/Text.h"
#include "extract/CaseSelection.h"
#include "extract/ExtractRun.h"
#include "platform/FileSystem.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

using test::cols;
using test::ErrorNumber;
using test::MiniRegistry;
using test::RecordLines;

class ExtractRunTest : public ::testing::Test {
  protected:
    ExtractRunTest() : m_registry(m_dir.file("registry.db")) {}

    RunOutcome Run(bool yes = true, bool rerelease = false) {
        test::MiniRun run(m_registry, m_dir.path());
        m_ui = test::RecordingUi{};
        m_ui.answerYes = yes;
        m_ui.rerelease = rerelease;
        return RunExtract(run.context, m_ui);
    }
    std::string File(const char* name) const { return m_dir.file(name); }
    // The folder as the messages show it, with the separator that joins it to a file name.
    std::u16string FolderAndSeparator() const {
        return std::u16string(m_dir.path().begin(), m_dir.path().end()) +
               static_cast<char16_t>(platform::PathSeparator);
    }

    // Ten selected cases: 1-7 kept with two abstracts each, 8 and 9 death certificate only,
    // 10 marked for non-release; and one case that is not selected at all.
    void AddTenCases() {
        for (int m = 1; m <= 10; ++m) m_registry.AddCase(m, "20110615", "C500", "8500", 3);
        m_registry.AddCase(11, "20100615", "C500", "8500", 3);
        for (int m = 1; m <= 7; ++m) {
            m_registry.AddAbstract(m * 10, m, "1", "'00'", "'piece0' || char(2) || 'piece1'");
            m_registry.AddAbstract(m * 10 + 1, m, "'07'", "'01'");
        }
        m_registry.AddAbstract(80, 8, "6", "'00'");
        m_registry.AddAbstract(90, 9, "7", "'00'");
        m_registry.AddAbstract(91, 9, "null", "'00'");
        m_registry.AddAbstract(100, 10, "1", "'01'");
        m_registry.AddAbstract(101, 10, "1", "'02'");
    }

    // Cases 1 to count, each kept with two abstracts (m * 10 and m * 10 + 1).
    void AddKeptCases(int count) {
        for (int m = 1; m <= count; ++m) {
            m_registry.AddCase(m, "20110101", "C500", "8500", 3);
            m_registry.AddAbstract(m * 10, m, "1", "'00'");
            m_registry.AddAbstract(m * 10 + 1, m, "1", "'00'");
        }
    }

    test::TempDir m_dir;
    MiniRegistry m_registry;
    test::RecordingUi m_ui;
};

TEST_F(ExtractRunTest, WritesKeptCasesAndTheirAbstracts) {
    AddTenCases();
    ASSERT_EQ(Run(true, /*rerelease=*/true), RunOutcome::Completed);

    ASSERT_EQ(m_ui.boxes.size(), 2u);
    const auto& confirm = m_ui.boxes[0];
    EXPECT_EQ(confirm.text,
              u"10 consolidated records were selected. These consolidated records along with "
              u"associated abstracts will be extracted. Records that are death certificate only "
              u"and records that are marked for non-release will be excluded when writing to "
              u"files. The total number of consolidated and abstract records actually extracted "
              u"will be shown at the end of export. Do you want to proceed?");
    EXPECT_EQ(confirm.buttons, MsgButtons::YesNo);
    EXPECT_EQ(confirm.icon, MsgIcon::None);
    EXPECT_EQ(confirm.title, u"Meridane Audit Extract");
    const auto& done = m_ui.boxes[1];
    EXPECT_EQ(done.text,
              u"Extract completed!\r\nTotal consolidated records: 7\r\nTotal abstract "
              u"records: 14\r\nFiles are saved to: \r\n" +
                  FolderAndSeparator() + u"ConsolidatedAuditExtract.txt \r\n" +
                  FolderAndSeparator() + u"AbstractAuditExtract.txt");
    EXPECT_EQ(done.icon, MsgIcon::Information);
    EXPECT_EQ(done.title, u"Meridane Audit Extract");
    EXPECT_EQ(m_ui.progressMax, 10.0f);
    ASSERT_EQ(m_ui.progressValues.size(), 10u);
    EXPECT_EQ(m_ui.progressValues.back(), 10.0f);

    auto consolidated = RecordLines(File("ConsolidatedAuditExtract.txt"));
    auto abstracts = RecordLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 7u);
    ASSERT_EQ(abstracts.size(), 14u);
    for (const auto& line : consolidated) ASSERT_EQ(line.size(), 22824u);
    for (const auto& line : abstracts) ASSERT_EQ(line.size(), 22824u);
    // Cases in the order the registry returned them; each case's abstracts follow in turn.
    std::vector<std::string> ids;
    for (const auto& line : consolidated) ids.push_back(cols(line, 20879, 20886));
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids[0], "1       ");
    EXPECT_EQ(ids[6], "7       ");
    const std::string& first = consolidated[0];
    EXPECT_EQ(cols(first, 1, 1), "A");
    EXPECT_EQ(cols(first, 17, 19), "130");
    EXPECT_EQ(cols(first, 42, 49), "0000000" + cols(first, 20879, 20879));  // item 20, padded
    EXPECT_EQ(cols(first, 530, 537), "20110615");                           // DxDate
    EXPECT_EQ(cols(first, 540, 543), "C500");                               // PSite
    EXPECT_EQ(cols(abstracts[0], 2000, 2009), "piece0    ");                // text item 2520
    EXPECT_EQ(cols(abstracts[0], 3000, 3009), "piece1    ");                // text item 2530
    EXPECT_EQ(cols(abstracts[0], 20879, 20886), cols(consolidated[0], 20879, 20886));
    EXPECT_EQ(cols(abstracts[1], 20879, 20886), cols(consolidated[0], 20879, 20886));
    EXPECT_EQ(test::ReadFileBytes(File("extract.log")), "");
}

TEST_F(ExtractRunTest, ReleaseIsOnlyAskedWhenTheBoxIsTicked) {
    AddTenCases();
    // Without the FupUnusual column the release query cannot run: unticked must not send it.
    m_registry.Exec("alter table abstracts_3 drop column FupUnusual");
    ASSERT_EQ(Run(true, false), RunOutcome::Completed);
    EXPECT_EQ(RecordLines(File("ConsolidatedAuditExtract.txt")).size(), 8u);  // case 10 kept
    EXPECT_EQ(RecordLines(File("AbstractAuditExtract.txt")).size(), 16u);
    EXPECT_THROW(Run(true, true), RuntimeError);
}

TEST_F(ExtractRunTest, NoLeavesEarlierOutputUntouched) {
    AddTenCases();
    test::WriteFileBytes(File("ConsolidatedAuditExtract.txt"), "earlier");
    EXPECT_EQ(Run(false), RunOutcome::Declined);
    EXPECT_EQ(m_ui.boxes.size(), 1u);
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), "earlier");
    EXPECT_FALSE(test::FileExists(File("AbstractAuditExtract.txt")));
    EXPECT_FALSE(test::FileExists(File("extract.log")));
    EXPECT_TRUE(test::FileExists(File("select.sql")));
}

// A replacement that a killed run left, whose new file was removed since (a clean-up of hidden
// files): the next run puts the previous file back and says so before anything else.
TEST_F(ExtractRunTest, AReplacementLeftWithoutItsNewFileIsPutBackAndSaid) {
    AddTenCases();
    const std::string run = ".AbstractAuditExtract.txt.2147480000-7-";
    test::WriteFileBytes(File((run + "1.tmp").c_str()), "previous\r\n");
    test::WriteFileBytes(File(".AuditExtract.journal"),
                         "Meridane Audit Extract replacement 2\nrun 2147480000 7\nfile " + run +
                             "0.tmp AbstractAuditExtract.txt " + run + "1.tmp 1\nend\n");
    EXPECT_EQ(Run(false), RunOutcome::Declined);
    ASSERT_EQ(m_ui.boxes.size(), 2u);
    EXPECT_NE(m_ui.boxes[0].text.find(u"The previous files were put back"), std::u16string::npos);
    EXPECT_EQ(test::ReadFileBytes(File("AbstractAuditExtract.txt")), "previous\r\n");
    EXPECT_FALSE(test::FileExists(File(".AuditExtract.journal")));
}

// One of the previous files cannot be replaced: on Windows a viewer opens it while the run
// writes, without letting it be removed; elsewhere a folder comes to stand at its name.
// The run ends with error 75 naming it, none of the new files is put in place, and the others
// of the previous set stay as they were.
TEST_F(ExtractRunTest, AFileThatCannotBeReplacedKeepsThePreviousSet) {
    AddTenCases();
    for (const char* name : {ConsolidatedFileName, AbstractFileName, LogFileName})
        test::WriteFileBytes(File(name), "previous run\r\n");
    class InTheWay : public test::RecordingUi {
      public:
        std::string path;
        void SetProgressValue(float value) override {
            RecordingUi::SetProgressValue(value);
            if (value != 1) return;
#ifdef _WIN32
            // Opened while the run goes: only the check at the end can find it.
            const std::wstring wide(path.begin(), path.end());
            viewer = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
#else
            std::filesystem::remove(path);
            std::filesystem::create_directory(path);
#endif
        }
#ifdef _WIN32
        HANDLE viewer = INVALID_HANDLE_VALUE;
#endif
    } ui;
    ui.path = File(AbstractFileName);
    test::MiniRun run(m_registry, m_dir.path());
    std::string description;
    EXPECT_EQ(ErrorNumber([&] { RunExtract(run.context, ui); }, &description), err::PathAccess);
#ifdef _WIN32
    ASSERT_NE(ui.viewer, INVALID_HANDLE_VALUE);
    CloseHandle(ui.viewer);
    EXPECT_EQ(test::ReadFileBytes(File(AbstractFileName)), "previous run\r\n");
#else
    EXPECT_TRUE(std::filesystem::is_directory(File(AbstractFileName)));
#endif
    EXPECT_EQ(description.rfind("Path/File access error: cannot replace " +
                                    platform::JoinPath(m_dir.path(), AbstractFileName) + " (",
                                0),
              0u)
        << description;
    EXPECT_NE(description.find("None of the run's files was put in place; the previous ones are "
                               "kept as they were."),
              std::string::npos)
        << description;
    EXPECT_EQ(test::ReadFileBytes(File(ConsolidatedFileName)), "previous run\r\n");
    EXPECT_EQ(test::ReadFileBytes(File(LogFileName)), "previous run\r\n");
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_FALSE(name.ends_with(".tmp") || name == ".AuditExtract.journal") << name;
    }
}

TEST_F(ExtractRunTest, NothingSelectedWarnsWithTheClause) {
    m_registry.AddCase(1, "20100101", "C500", "8500", 3);
    EXPECT_EQ(Run(), RunOutcome::NothingSelected);
    ASSERT_EQ(m_ui.boxes.size(), 1u);
    EXPECT_EQ(m_ui.boxes[0].text,
              u"No records were selected with the specified criteria: \r\n" + SelectionCriteria());
    EXPECT_EQ(m_ui.boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(m_ui.boxes[0].title, u"Meridane Audit Extract");
    EXPECT_TRUE(m_ui.progressValues.empty());
    EXPECT_FALSE(test::FileExists(File("ConsolidatedAuditExtract.txt")));
    EXPECT_FALSE(test::FileExists(File("AbstractAuditExtract.txt")));
    std::string sql = test::ReadFileBytes(File("select.sql"));
    EXPECT_EQ(sql.substr(sql.size() - 2), "\r\n");
    EXPECT_EQ(sql.find("\r\n"), sql.size() - 2);  // one line
}

TEST_F(ExtractRunTest, EveryCaseSkippedGivesEmptyFiles) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddCase(2, "20110101", "C619", "8140", 3);
    m_registry.AddAbstract(10, 1, "6", "'00'");
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_NE(
        m_ui.boxes[1].text.find(u"Total consolidated records: 0\r\nTotal abstract records: 0"),
        std::u16string::npos);
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), "");
    EXPECT_EQ(test::ReadFileBytes(File("AbstractAuditExtract.txt")), "");
    EXPECT_EQ(m_ui.progressValues.back(), 2.0f);
}

TEST_F(ExtractRunTest, KeptCaseWithoutAbstractAbortsKeepingWhatWasWritten) {
    for (int m = 1; m <= 4; ++m) m_registry.AddCase(m, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_registry.AddAbstract(21, 2, "1", "'00'");
    // Case 3 passes the death-certificate test, but its abstract lacks the abstracts_2 row.
    m_registry.AddAbstract(30, 3, "1", "'00'", "'a'", /*withAbstracts2=*/false);
    m_registry.AddAbstract(40, 4, "1", "'00'");
    m_registry.Exec("create index ms on medicalsum(medrefid)");
    ASSERT_EQ(Run(), RunOutcome::Aborted);
    ASSERT_EQ(m_ui.boxes.size(), 2u);
    EXPECT_EQ(m_ui.boxes[1].text, u"Error: Abstract for MedrefID = 3 not found. Extract aborted.");
    EXPECT_EQ(m_ui.boxes[1].title, u"meridane-audit-extract");
    EXPECT_EQ(m_ui.boxes[1].icon, MsgIcon::None);
    auto consolidated = RecordLines(File("ConsolidatedAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 3u);
    EXPECT_EQ(cols(consolidated[2], 20879, 20886), "3       ");
    EXPECT_EQ(RecordLines(File("AbstractAuditExtract.txt")).size(), 3u);
}

// The host keeps working while a message waits for the user: its writes never wait for the
// run, whichever way the run ends.
TEST_F(ExtractRunTest, TheHostCanWriteWhileAnyMessageIsUp) {
    m_registry.Exec("create table hostlog (n integer)");
    int writes = 0;
    auto runWithHostWriting = [&](bool yes) {
        test::MiniRun run(m_registry, m_dir.path());
        m_ui = test::RecordingUi{};
        m_ui.answerYes = yes;
        m_ui.whileShown = [&](const test::RecordingUi::Box& box) {
            EXPECT_NO_THROW(m_registry.Exec("insert into hostlog values (1)")) << ToUtf8(box.text);
            ++writes;
        };
        return RunExtract(run.context, m_ui);
    };
    EXPECT_EQ(runWithHostWriting(true), RunOutcome::NothingSelected);
    AddTenCases();
    EXPECT_EQ(runWithHostWriting(false), RunOutcome::Declined);
    EXPECT_EQ(runWithHostWriting(true), RunOutcome::Completed);
    m_registry.AddCase(12, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(120, 12, "1", "'00'", "'a'", /*withAbstracts2=*/false);
    EXPECT_EQ(runWithHostWriting(true), RunOutcome::Aborted);
    EXPECT_EQ(writes, 6);
}

TEST_F(ExtractRunTest, TwoRunsGiveIdenticalFiles) {
    AddTenCases();
    m_registry.AddAbstract(12, 1, "1", "'00'", "'caf' || char(233) || char(2) || 'x'");
    ASSERT_EQ(Run(), RunOutcome::Completed);
    std::string c1 = test::ReadFileBytes(File("ConsolidatedAuditExtract.txt"));
    std::string a1 = test::ReadFileBytes(File("AbstractAuditExtract.txt"));
    std::string l1 = test::ReadFileBytes(File("extract.log"));
    std::string s1 = test::ReadFileBytes(File("select.sql"));
    ASSERT_EQ(Run(), RunOutcome::Completed);
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), c1);
    EXPECT_EQ(test::ReadFileBytes(File("AbstractAuditExtract.txt")), a1);
    EXPECT_EQ(test::ReadFileBytes(File("select.sql")), s1);
    EXPECT_EQ(test::ReadFileBytes(File("extract.log")), l1);
    EXPECT_EQ(l1, "non-ascii character code: 233 found in TextDx of record id = 1\r\n");
}

// Case 7 is a plain integer and goes through the prepared statements; case 12.5 reads as 12 in
// the tests but its abstract query names 12.5 as written, so its one abstract is the 12.5 one,
// not the two of 12 that a bound 12 would find.
TEST_F(ExtractRunTest, MedrefIdNotAPlainIntegerIsSentAsWritten) {
    m_registry.AddCase(7, "20110101", "C500", "8500", 3);
    m_registry.AddCase(12, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(120, 12, "1", "'00'", "'a'", /*withAbstracts2=*/false);
    m_registry.Exec(
        "update medicalsum set medrefid = 12.5 where medrefid = 12;"
        "update medicalsum_2 set medrefid = 12.5 where medrefid = 12");
    m_registry.AddAbstract(70, 7, "1", "'00'");
    m_registry.AddAbstract(71, 7, "1", "'00'");
    m_registry.AddAbstract(120, 12, "1", "'00'");
    m_registry.AddAbstract(121, 12, "1", "'00'");
    m_registry.AddAbstract(125, 12, "1", "'00'");
    m_registry.Exec("update abstracts set medrefid = 12.5 where absrefid = 125");
    ASSERT_EQ(Run(true, true), RunOutcome::Completed);
    auto consolidated = RecordLines(File("ConsolidatedAuditExtract.txt"));
    auto abstracts = RecordLines(File("AbstractAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 2u);
    ASSERT_EQ(abstracts.size(), 3u);
    std::sort(abstracts.begin(), abstracts.end(), [](const auto& a, const auto& b) {
        return cols(a, 20879, 20886) < cols(b, 20879, 20886);
    });
    EXPECT_EQ(cols(abstracts[0], 20879, 20886), "12.5    ");  // record id
    EXPECT_EQ(cols(abstracts[1], 20879, 20886), "7       ");
    EXPECT_EQ(cols(abstracts[2], 20879, 20886), "7       ");
}

TEST_F(ExtractRunTest, UnusableMedrefIdIsARunTimeError) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.Exec(
        "update medicalsum set medrefid = 12345678901 where medrefid = 1;"
        "update medicalsum_2 set medrefid = 12345678901");
    try {
        Run();
        ADD_FAILURE();
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), err::Overflow);
    }
    // The files were opened after Yes and are left empty, not half written.
    EXPECT_EQ(test::ReadFileBytes(File("ConsolidatedAuditExtract.txt")), "");
}

// The records are written on a thread of their own, behind the reading: a case that fails
// still finds every case before it written, and its error is the run's.
TEST_F(ExtractRunTest, ACaseThatFailsFindsEveryEarlierCaseWritten) {
    AddKeptCases(20);
    m_registry.Exec(
        "update medicalsum set medrefid = 12345678901 where medrefid = 20;"
        "update medicalsum_2 set medrefid = 12345678901 where medrefid = 20");
    EXPECT_EQ(ErrorNumber([&] { Run(); }), err::Overflow);
    EXPECT_EQ(RecordLines(File("ConsolidatedAuditExtract.txt")).size(), 19u);
    EXPECT_EQ(RecordLines(File("AbstractAuditExtract.txt")).size(), 38u);
}

// Reading a kept case's abstracts fails: its consolidated record, made before they were read,
// is in the file all the same, after every earlier case whole; nothing of a later case is.
TEST_F(ExtractRunTest, ACaseWhoseAbstractsCannotBeReadKeepsItsConsolidatedRecord) {
    AddKeptCases(8);
    // The fifth case's first abstract cannot be read: its remarks fail when the row is made.
    m_registry.Exec(
        "alter table abstracts_2 rename to abstracts_2_rows;"
        "create view abstracts_2 as select absrefid, PSite, case when absrefid = 50 then "
        "json('not json') else remarks end as remarks from abstracts_2_rows");
    EXPECT_EQ(ErrorNumber([&] { Run(); }), err::Provider);
    const auto consolidated = RecordLines(File("ConsolidatedAuditExtract.txt"));
    ASSERT_EQ(consolidated.size(), 5u);
    EXPECT_EQ(RecordLines(File("AbstractAuditExtract.txt")).size(), 8u);
}

#ifdef _WIN32
// A previous output file that another program holds open, sharing reading only (a viewer, a
// spreadsheet), is found before the first case is read: error 70 naming it, and the previous
// files stay as they were.
TEST_F(ExtractRunTest, APreviousFileHeldOpenIsFoundBeforeTheFirstCase) {
    AddTenCases();
    for (const char* name : {ConsolidatedFileName, AbstractFileName, LogFileName})
        test::WriteFileBytes(File(name), "earlier");
    const std::wstring wide = std::filesystem::path(File("AbstractAuditExtract.txt")).wstring();
    const HANDLE held = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string description;
    EXPECT_EQ(ErrorNumber([&] { Run(); }, &description), err::PermissionDenied);
    CloseHandle(held);
    EXPECT_NE(description.find("AbstractAuditExtract.txt is open in another program"),
              std::string::npos)
        << description;
    EXPECT_TRUE(m_ui.progressValues.empty());
    for (const char* name : {ConsolidatedFileName, AbstractFileName, LogFileName})
        EXPECT_EQ(test::ReadFileBytes(File(name)), "earlier") << name;
}
#endif

}  // namespace
}  // namespace mae
