#include <gtest/gtest.h>

#include <QCheckBox>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <optional>

#include "app/qt/ErrorReport.h"
#include "app/qt/Form1.h"
#include "extract/CaseSelection.h"
#include "extract/ExtractRun.h"
#include "extract/RunFiles.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

// The window over a hand-made registry whose control table holds only the items the registry
// has columns for; every other item of the lists has an empty layout entry.
class RunWindowTest : public ::testing::Test {
  protected:
    RunWindowTest() : m_registry(m_windir.file("registry.db")) {}

    void SetUp() override {
        const std::string control = m_windir.file("control.db");
        test::ExecSql(control,
                      "create table naaccrparameters (controltablename text, naaccrversion text,"
                      " [current] integer);"
                      "insert into naaccrparameters values ('lay', '130', -1);"
                      "create table lay (naaccr_item_no integer, ColumnStart integer,"
                      " FieldLength integer, FieldName text, Prompting text);"
                      "insert into lay values (20, 42, 8, 'PatientIdNumber', '');"
                      "insert into lay values (390, 530, 8, 'DxDate', '');"
                      "insert into lay values (400, 540, 4, 'PSite', '');"
                      "insert into lay values (2520, 2000, 10, 'TextDx', 'X');"
                      "insert into lay values (2530, 3000, 10, 'TextXray', 'X');");
        test::WriteFileBytes(m_windir.file("Meridane.ini"),
                             "[Databases]\r\nControl=Driver=SQLite3;Database=" + control +
                                 "\r\nRegistry=Driver=SQLite3;Database=" + m_registry.path() +
                                 "\r\n");
        MessageBoxHook = [this](QMessageBox& box) {
            m_texts.push_back(box.text());
            return box.standardButtons().testFlag(QMessageBox::Yes) ? m_answer : QMessageBox::Ok;
        };
        m_oldExit = Form1::ExitHook;
        Form1::ExitHook = [this](int status) { m_exits.push_back(status); };
    }
    void TearDown() override {
        MessageBoxHook = nullptr;
        Form1::ExitHook = m_oldExit;
    }
    // Clicks "Run Extract" on a loaded window, with the check box as given.
    void ClickRun(Form1& form, bool rerelease) {
        auto* check = form.findChild<QCheckBox*>("chkRerelease");
        auto* run = form.findChild<QPushButton*>("cmdRun");
        ASSERT_TRUE(check && run);
        check->setChecked(rerelease);
        QTest::mouseClick(run, Qt::LeftButton);
    }
    std::string Out(const char* name) const { return m_output.file(name); }

    test::TempDir m_windir;
    test::TempDir m_output;
    test::MiniRegistry m_registry;
    test::ScopedEnv m_windirEnv{"WINDIR", m_windir.path()};
    std::function<void(int)> m_oldExit;
    std::vector<QString> m_texts;
    std::vector<int> m_exits;
    QMessageBox::StandardButton m_answer = QMessageBox::Yes;
};

TEST_F(RunWindowTest, TenSelectedThreeSkippedSevenWritten) {
    for (int m = 1; m <= 10; ++m) m_registry.AddCase(m, "20110615", "C500", "8500", 3);
    for (int m = 1; m <= 7; ++m) {
        m_registry.AddAbstract(m * 10, m, "1", "'00'", "'first' || char(2) || 'second'");
        m_registry.AddAbstract(m * 10 + 1, m, "1", "'01'");
    }
    m_registry.AddAbstract(80, 8, "6", "'00'");    // death certificate only
    m_registry.AddAbstract(90, 9, "7", "'00'");    // autopsy only
    m_registry.AddAbstract(100, 10, "1", "'02'");  // marked for non-release
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
    form.show();
    ClickRun(form, true);

    ASSERT_EQ(m_texts.size(), 2u);
    EXPECT_TRUE(
        m_texts[0].startsWith("10 consolidated records were selected. These consolidated "
                              "records along with associated abstracts will be extracted."));
    const QString folder = QString::fromStdString(m_output.path());
    EXPECT_EQ(m_texts[1],
              "Extract completed!\r\nTotal consolidated records: 7\r\nTotal abstract "
              "records: 14\r\nFiles are saved to: \r\n" +
                  folder + "/ConsolidatedAuditExtract.txt \r\n" + folder +
                  "/AbstractAuditExtract.txt");
    auto* bar = form.findChild<QProgressBar*>("ProgressBar1");
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 10);
    auto consolidated = test::RecordLines(Out(ConsolidatedFileName));
    auto abstracts = test::RecordLines(Out(AbstractFileName));
    ASSERT_EQ(consolidated.size(), 7u);
    ASSERT_EQ(abstracts.size(), 14u);
    EXPECT_EQ(test::cols(abstracts[0], 2000, 2009), "first     ");  // text item 2520
    EXPECT_EQ(test::cols(consolidated[0], 540, 543), "C500");       // primary site
    EXPECT_TRUE(m_exits.empty());

    // Unticked, the non-release case is written too; the files are replaced, not appended to.
    m_texts.clear();
    ClickRun(form, false);
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 8u);
    EXPECT_EQ(test::RecordLines(Out(AbstractFileName)).size(), 15u);
}

TEST_F(RunWindowTest, NothingSelectedOrNoLeaveTheOutputAlone) {
    m_registry.AddCase(1, "20120101", "C500", "8500", 3);
    test::WriteFileBytes(Out(ConsolidatedFileName), "earlier");
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
    ClickRun(form, false);
    ASSERT_EQ(m_texts.size(), 1u);
    EXPECT_EQ(m_texts[0], "No records were selected with the specified criteria: \r\n" +
                              QString::fromStdU16String(SelectionCriteria()));
    EXPECT_TRUE(test::FileExists(Out(SelectFileName)));

    m_registry.AddCase(2, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_answer = QMessageBox::No;
    ClickRun(form, false);
    EXPECT_EQ(m_texts.size(), 2u);
    EXPECT_EQ(test::ReadFileBytes(Out(ConsolidatedFileName)), "earlier");
    EXPECT_FALSE(test::FileExists(Out(AbstractFileName)));
    EXPECT_TRUE(m_exits.empty());
}

TEST_F(RunWindowTest, ThirdKeptCaseWithoutAbstractsEndsTheProgram) {
    for (int m = 1; m <= 4; ++m) m_registry.AddCase(m, "20110101", "C619", "8140", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_registry.AddAbstract(30, 3, "1", "'00'", "'a'", /*withAbstracts2=*/false);
    m_registry.AddAbstract(40, 4, "1", "'00'");
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
    ClickRun(form, false);
    ASSERT_EQ(m_texts.size(), 2u);
    EXPECT_EQ(m_texts[1], "Error: Abstract for MedrefID = 3 not found. Extract aborted.");
    EXPECT_EQ(m_exits, std::vector<int>{1});
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 3u);
    EXPECT_EQ(test::RecordLines(Out(AbstractFileName)).size(), 2u);
}

// Another run holds the folder: the window says so, writes nothing and stays ready; once the
// other run has let go, the same click runs.
TEST_F(RunWindowTest, AFolderHeldByAnotherRunIsRefusedAndTheWindowStaysReady) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
    auto other = std::make_unique<RunFiles>(m_output.path());
    ASSERT_TRUE(other->Lock());

    ClickRun(form, false);
    ASSERT_EQ(m_texts.size(), 1u);
    EXPECT_EQ(m_texts[0], "Another extract is running in this folder:\r\n" +
                              QString::fromStdString(m_output.path()) +
                              "\r\nNothing was written. Please try again when it has finished.");
    EXPECT_FALSE(test::FileExists(Out(SelectFileName)));
    EXPECT_TRUE(m_exits.empty());
    EXPECT_FALSE(form.IsRunning());

    other.reset();
    ClickRun(form, false);
    ASSERT_EQ(m_texts.size(), 3u);  // the confirmation and the completion
    EXPECT_TRUE(m_texts[2].startsWith("Extract completed!"));
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 1u);
}

}  // namespace
}  // namespace mae
