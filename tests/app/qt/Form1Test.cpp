#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "app/qt/ErrorReport.h"
#include "app/qt/Form1.h"
#include "extract/CaseSelection.h"
#include "extract/ExtractRun.h"
#include "extract/RunFiles.h"
#include "support/GeneratedRegistry.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

using test::TempDir;

// What a message box showed, as the user would have seen it.
struct ShownBox {
    QString text;
    QString title;
    QMessageBox::Icon icon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

ShownBox Describe(QMessageBox& box) {
    const QAbstractButton* def = box.defaultButton();
    return {box.text(), box.windowTitle(), box.icon(), box.standardButtons(),
            def ? box.standardButton(const_cast<QAbstractButton*>(def)) : QMessageBox::NoButton};
}

QString Q(std::u16string_view text) { return QString::fromStdU16String(std::u16string(text)); }

// Answers every message box instead of a user, records it, and records how the program was
// asked to end. WINDIR points at a fresh folder for the test.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MessageBoxHook = [this](QMessageBox& box) {
            m_boxes.push_back(Describe(box));
            if (m_onBox) m_onBox(box);
            return box.standardButtons().testFlag(QMessageBox::Yes) ? m_yesNoAnswer
                                                                    : QMessageBox::Ok;
        };
        m_oldExit = Form1::ExitHook;
        Form1::ExitHook = [this](int status) { m_exitStatuses.push_back(status); };
    }
    void TearDown() override {
        MessageBoxHook = nullptr;
        Form1::ExitHook = m_oldExit;
    }

    template <typename T>
    static T* Control(Form1& form, const char* name) {
        T* control = form.findChild<T*>(QLatin1String(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Clicks "Run Extract" on a loaded window, with the check box as given.
    static void ClickRun(Form1& form, bool rerelease) {
        auto* check = Control<QCheckBox>(form, "chkRerelease");
        auto* run = Control<QPushButton>(form, "cmdRun");
        ASSERT_TRUE(check && run);
        check->setChecked(rerelease);
        QTest::mouseClick(run, Qt::LeftButton);
    }
    std::string Out(const char* name) const { return m_output.file(name); }
    // Start-up of a window whose run writes into m_output.
    bool Loaded(Form1& form) const {
        form.State().ApplicationFolder = m_output.path();
        return form.Load();
    }

    test::WindowsFolder m_windir;
    TempDir m_output;
    std::function<void(int)> m_oldExit;
    std::vector<ShownBox> m_boxes;
    std::function<void(QMessageBox&)> m_onBox;
    QMessageBox::StandardButton m_yesNoAnswer = QMessageBox::Yes;
    std::vector<int> m_exitStatuses;
};

TEST_F(WindowTest, ControlsCarryTheirTextsAndPlaces) {
    Form1 form;
    EXPECT_EQ(form.objectName(), "Form1");
    EXPECT_EQ(form.windowTitle(), "Meridane Audit Extract");
    EXPECT_EQ(form.size(), QSize(630, 289));  // 9450 x 4335 twips

    struct Expected {
        const char* name;
        const char* text;
        QRect geometry;  // twips / 15
    };
    const Expected labels[] = {
        {"Label1",
         "This program extracts select data items of consolidated records and associated abstract "
         "records from the Meridane database and produces two files of NAACCR V 13.0 Type A "
         "records. Please see Consensus Audit Extract and Halvory Procedures.docx for detailed "
         "spec of data items included and the record selection criteria.",
         QRect(8, 8, 609, 49)},
        {"Label2",
         "You should run this program from C:\\Halvory\\Meridane folder of a PC that has NAACCR "
         "13.0 version of Meridane installed. This program reads the Meridane database connection "
         "information from Meridane.ini file that is installed by Meridane in the C:\\Windows "
         "folder. After the program completes there will be two files: abstractauditextract.txt "
         "and consolidatedauditextract.txt in the C:\\Halvory\\Meridane folder.",
         QRect(8, 64, 617, 57)},
        {"Label3", "Click Run Extract to start extracting records.", QRect(8, 136, 425, 25)},
    };
    for (const auto& expected : labels) {
        auto* label = Control<QLabel>(form, expected.name);
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(expected.text)) << expected.name;
        EXPECT_EQ(label->geometry(), expected.geometry) << expected.name;
        EXPECT_TRUE(label->wordWrap()) << expected.name;
        // The font chosen must not cut the text's last lines off.
        const QRect used = label->fontMetrics().boundingRect(QRect(0, 0, label->width(), 10000),
                                                             Qt::TextWordWrap, label->text());
        EXPECT_LE(used.height(), label->height()) << expected.name;
    }

    auto* check = Control<QCheckBox>(form, "chkRerelease");
    ASSERT_NE(check, nullptr);
    EXPECT_EQ(check->text(),
              "Use the Unusual Followback field to exclude cases marked for non-rerelease");
    EXPECT_EQ(check->geometry(), QRect(8, 176, 601, 17));
    EXPECT_LE(check->sizeHint().width(), check->width());

    auto* run = Control<QPushButton>(form, "cmdRun");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->text(), "Run Extract");
    EXPECT_EQ(run->geometry(), QRect(264, 216, 81, 33));

    auto* bar = Control<QProgressBar>(form, "ProgressBar1");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->geometry(), QRect(8, 256, 601, 17));
    EXPECT_FALSE(bar->accessibleName().isEmpty());  // it has no text of its own to read out
}

TEST_F(WindowTest, OpensUncheckedEmptyAndFocusedOnRun) {
    Form1 form;
    auto* check = Control<QCheckBox>(form, "chkRerelease");
    auto* run = Control<QPushButton>(form, "cmdRun");
    auto* bar = Control<QProgressBar>(form, "ProgressBar1");
    ASSERT_TRUE(check && run && bar);
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(form.RereleaseChecked());
    EXPECT_EQ(bar->minimum(), 0);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 0);

    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    EXPECT_EQ(QApplication::focusWidget(), run);
    // Tab goes from the button to the check box and back; labels and the bar take no focus.
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), check);
    QTest::keyClick(&form, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), run);
    for (const char* name : {"Label1", "Label2", "Label3", "ProgressBar1"}) {
        EXPECT_EQ(form.findChild<QWidget*>(QLatin1String(name))->focusPolicy(), Qt::NoFocus)
            << name;
    }
    QTest::keyClick(check, Qt::Key_Space);
    EXPECT_TRUE(form.RereleaseChecked());
}

TEST_F(WindowTest, RunMessageBoxesHaveTheirButtonsIconsAndTitles) {
    Form1 form;
    const std::u16string text = u"Extract completed!\r\nTotal consolidated records: 7";

    EXPECT_EQ(
        form.ShowMessage(text, MsgButtons::Ok, MsgIcon::Information, u"Meridane Audit Extract"),
        MsgAnswer::Ok);
    m_yesNoAnswer = QMessageBox::No;
    EXPECT_EQ(form.ShowMessage(u"Do you want to proceed?", MsgButtons::YesNo, MsgIcon::None,
                               u"Meridane Audit Extract"),
              MsgAnswer::No);
    m_yesNoAnswer = QMessageBox::Yes;
    EXPECT_EQ(form.ShowMessage(u"Do you want to proceed?", MsgButtons::YesNo, MsgIcon::None,
                               u"Meridane Audit Extract"),
              MsgAnswer::Yes);
    // Closed without a button (Escape, the window's close box): not a Yes.
    m_yesNoAnswer = QMessageBox::NoButton;
    EXPECT_EQ(form.ShowMessage(u"?", MsgButtons::YesNo, MsgIcon::None, u"t"), MsgAnswer::No);
    form.ShowMessage(u"No records", MsgButtons::Ok, MsgIcon::Warning, u"Meridane Audit Extract");
    form.ShowMessage(u"Error: Abstract", MsgButtons::Ok, MsgIcon::None, u"");

    ASSERT_EQ(m_boxes.size(), 6u);
    EXPECT_EQ(m_boxes[0].text, Q(text));  // line breaks kept as given
    EXPECT_EQ(m_boxes[0].title, "Meridane Audit Extract");
    EXPECT_EQ(m_boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(m_boxes[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(m_boxes[1].icon, QMessageBox::NoIcon);
    EXPECT_EQ(m_boxes[1].buttons, QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(m_boxes[1].defaultButton, QMessageBox::Yes);
    EXPECT_EQ(m_boxes[4].icon, QMessageBox::Warning);
    EXPECT_EQ(m_boxes[5].title, "meridane-audit-extract");  // no title of its own
}

TEST_F(WindowTest, ProgressStaysInsideTheBar) {
    Form1 form;
    auto* bar = Control<QProgressBar>(form, "ProgressBar1");
    ASSERT_NE(bar, nullptr);
    form.SetProgressMax(10.0f);
    EXPECT_EQ(bar->maximum(), 10);
    for (int i = 1; i <= 10; ++i) form.SetProgressValue(static_cast<float>(i));
    EXPECT_EQ(bar->value(), 10);  // reaching the maximum always shows

    form.SetProgressMax(4.0f);  // a later run with fewer cases: the value follows down
    EXPECT_EQ(bar->maximum(), 4);
    EXPECT_EQ(bar->value(), 4);
    form.SetProgressValue(99.0f);
    EXPECT_EQ(bar->value(), 4);
    form.SetProgressValue(-3.0f);
    form.SetProgressValue(std::nanf(""));
    form.SetProgressMax(0.0f);
    EXPECT_GE(bar->maximum(), 1);  // never a busy indicator
    form.SetProgressMax(std::numeric_limits<float>::infinity());
    form.SetProgressValue(3e10f);
    EXPECT_EQ(bar->maximum(), std::numeric_limits<int>::max());
    EXPECT_EQ(bar->value(), std::numeric_limits<int>::max());
}

TEST_F(WindowTest, RunTimeErrorReports) {
    ShowRunTimeError(RuntimeError(err::CannotCreate, "ActiveX component can't create object"));
    ShowRunTimeError(std::bad_alloc());
    ShowRunTimeError(std::runtime_error("vector too long"));
    const std::exception& asBase = RuntimeError(err::DiskFull, "Disk full");
    ShowRunTimeError(asBase);
    ShowRunTimeError(RuntimeError(err::Provider, "no such table"));

    ASSERT_EQ(m_boxes.size(), 5u);
    EXPECT_EQ(m_boxes[0].text, "Run-time error '429':\n\nActiveX component can't create object");
    EXPECT_EQ(m_boxes[0].title, "meridane-audit-extract");
    EXPECT_EQ(m_boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(m_boxes[0].buttons, QMessageBox::Ok);
    EXPECT_EQ(m_boxes[1].text, "Run-time error '7':\n\nOut of memory");
    EXPECT_EQ(m_boxes[2].text, "Run-time error '51':\n\nInternal error: vector too long");
    EXPECT_EQ(m_boxes[3].text, "Run-time error '61':\n\nDisk full");
    EXPECT_EQ(m_boxes[4].text, "Run-time error '-2147467259 (80004005)':\n\nno such table");
}

TEST_F(WindowTest, LoadWithoutIniReportsError429) {
    Form1 form;
    EXPECT_FALSE(form.Load());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_TRUE(m_boxes[0].text.startsWith("Run-time error '429':\n\n"))
        << m_boxes[0].text.toStdString();
    EXPECT_EQ(m_boxes[0].title, "meridane-audit-extract");
    EXPECT_EQ(m_boxes[0].icon, QMessageBox::Critical);
    EXPECT_FALSE(form.isVisible());
}

// The run works beside the window's event loop: timers (and with them painting and the
// desktop's pings) keep being served from the moment the user says Yes to the last message.
TEST_F(WindowTest, WindowKeepsServingEventsDuringARun) {
    const test::GeneratedRegistry registry({.cases = 600, .seed = 11});
    registry.WriteIni();
    Form1 form;
    ASSERT_TRUE(Loaded(form));
    form.show();
    int ticks = 0;
    QTimer timer;
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    QElapsedTimer clock;
    qint64 runMs = 0;
    m_onBox = [&](QMessageBox& box) {
        if (box.standardButtons().testFlag(QMessageBox::Yes)) {
            timer.start();
            clock.start();
        } else {
            runMs = clock.elapsed();
            timer.stop();
        }
    };
    form.RunExtract();
    ASSERT_EQ(m_boxes.size(), 2u);
    ASSERT_GT(runMs, 0);
    // A window that waited on the run would see no tick at all until the end.
    EXPECT_GE(ticks, std::max<qint64>(1, runMs / 5 / 4)) << runMs << " ms";
}

// The window over a hand-made registry whose control table holds only the items the registry
// has columns for; every other item of the lists has an empty layout entry.
class RunWindowTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
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
        m_windir.WriteIniBytes("[Databases]\r\nControl=" + test::SqliteConnection(control) +
                               "\r\nRegistry=" + test::SqliteConnection(m_registry.path()) +
                               "\r\n");
    }

    test::MiniRegistry m_registry{m_windir.file("registry.db")};
};

// A whole run through the window: during it the window keeps its state whatever the user does;
// afterwards it takes input again, and the next run replaces the files.
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
    ASSERT_TRUE(Loaded(form));
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* check = Control<QCheckBox>(form, "chkRerelease");
    auto* run = Control<QPushButton>(form, "cmdRun");
    auto* bar = Control<QProgressBar>(form, "ProgressBar1");
    ASSERT_TRUE(check && run && bar);
    check->setChecked(true);

    // Every click and key press reaches the widgets' signals unless it is swallowed.
    QSignalSpy runClicks(run, &QPushButton::clicked);
    QSignalSpy toggles(check, &QCheckBox::toggled);
    m_onBox = [&](QMessageBox& box) {
        if (!box.standardButtons().testFlag(QMessageBox::Yes)) return;
        EXPECT_TRUE(form.IsRunning());
        // The starting click is still on its way to the spy (the run is its first receiver).
        const auto clicksBefore = runClicks.count();
        // Delivered now, the way the desktop delivers them (to the window first): swallowed.
        QWindow* window = form.windowHandle();
        QTest::mouseClick(window, Qt::LeftButton, {}, run->geometry().center());
        QTest::mouseClick(window, Qt::LeftButton, {}, check->geometry().center());
        QTest::keyClick(window, Qt::Key_Space);
        QTest::keyClick(window, Qt::Key_Tab);
        QTest::keyClick(check, Qt::Key_Space);  // straight to a widget: swallowed as well
        form.close();
        // Queued now, delivered when the run lets the window paint: swallowed too, so no
        // second run starts after this one.
        const QPointF inside(5, 5);
        QCoreApplication::postEvent(
            run, new QMouseEvent(QEvent::MouseButtonPress, inside, run->mapToGlobal(inside),
                                 Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(
            run, new QMouseEvent(QEvent::MouseButtonRelease, inside, run->mapToGlobal(inside),
                                 Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
        EXPECT_EQ(toggles.count(), 0);
        EXPECT_EQ(runClicks.count(), clicksBefore);
        EXPECT_TRUE(form.isVisible());
    };
    QTest::mouseClick(run, Qt::LeftButton);
    QCoreApplication::processEvents();

    ASSERT_EQ(m_boxes.size(), 2u);  // the confirmation and the completion, once each
    EXPECT_TRUE(
        m_boxes[0].text.startsWith("10 consolidated records were selected. These consolidated "
                                   "records along with associated abstracts will be extracted."));
    const QString folder = QString::fromStdString(m_output.path());
    EXPECT_EQ(m_boxes[1].text,
              "Extract completed!\r\nTotal consolidated records: 7\r\nTotal abstract "
              "records: 14\r\nFiles are saved to: \r\n" +
                  folder + "/ConsolidatedAuditExtract.txt \r\n" + folder +
                  "/AbstractAuditExtract.txt");
    EXPECT_EQ(bar->maximum(), 10);
    EXPECT_EQ(bar->value(), 10);
    auto consolidated = test::RecordLines(Out(ConsolidatedFileName));
    auto abstracts = test::RecordLines(Out(AbstractFileName));
    ASSERT_EQ(consolidated.size(), 7u);
    ASSERT_EQ(abstracts.size(), 14u);
    EXPECT_EQ(test::cols(abstracts[0], 2000, 2009), "first     ");  // text item 2520
    EXPECT_EQ(test::cols(consolidated[0], 540, 543), "C500");       // primary site
    EXPECT_FALSE(form.IsRunning());
    EXPECT_TRUE(m_exitStatuses.empty());
    EXPECT_EQ(toggles.count(), 0);
    EXPECT_EQ(runClicks.count(), 1);
    EXPECT_EQ(QApplication::focusWidget(), run);

    // Unticked by the user now, the non-release case is written too; the files are replaced, not
    // appended to.
    m_onBox = nullptr;
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_FALSE(check->isChecked());
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_EQ(m_boxes.size(), 4u);  // a new run asks again
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 8u);
    EXPECT_EQ(test::RecordLines(Out(AbstractFileName)).size(), 15u);
}

TEST_F(RunWindowTest, NothingSelectedOrNoLeaveTheOutputAlone) {
    m_registry.AddCase(1, "20120101", "C500", "8500", 3);
    test::WriteFileBytes(Out(ConsolidatedFileName), "earlier");
    Form1 form;
    ASSERT_TRUE(Loaded(form));
    ClickRun(form, false);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "No records were selected with the specified criteria: \r\n" +
                                   QString::fromStdU16String(SelectionCriteria()));
    EXPECT_TRUE(test::FileExists(Out(SelectFileName)));

    m_registry.AddCase(2, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_yesNoAnswer = QMessageBox::No;
    ClickRun(form, false);
    EXPECT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(test::ReadFileBytes(Out(ConsolidatedFileName)), "earlier");
    EXPECT_FALSE(test::FileExists(Out(AbstractFileName)));
    EXPECT_TRUE(m_exitStatuses.empty());
}

// A run aborted by a kept case without abstracts ends the program with status 1 after its
// message; the cases before it are written, and nothing more starts once the program is ending.
TEST_F(RunWindowTest, ThirdKeptCaseWithoutAbstractsEndsTheProgram) {
    for (int m = 1; m <= 4; ++m) m_registry.AddCase(m, "20110101", "C619", "8140", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    m_registry.AddAbstract(20, 2, "1", "'00'");
    m_registry.AddAbstract(30, 3, "1", "'00'", "'a'", /*withAbstracts2=*/false);
    m_registry.AddAbstract(40, 4, "1", "'00'");
    Form1 form;
    ASSERT_TRUE(Loaded(form));
    ClickRun(form, false);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, "Error: Abstract for MedrefID = 3 not found. Extract aborted.");
    EXPECT_EQ(m_boxes[1].title, "meridane-audit-extract");
    EXPECT_EQ(m_exitStatuses, std::vector<int>{1});
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 3u);
    EXPECT_EQ(test::RecordLines(Out(AbstractFileName)).size(), 2u);
    form.RunExtract();
    EXPECT_EQ(m_boxes.size(), 2u);
}

// A run that fails on the database ends the program with status 1 after its report.
TEST_F(RunWindowTest, FailedRunEndsTheProgram) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    Form1 form;
    ASSERT_TRUE(Loaded(form));
    m_registry.Exec("DROP TABLE abstracts_2;");
    form.RunExtract();
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_TRUE(m_boxes[1].text.startsWith("Run-time error '")) << m_boxes[1].text.toStdString();
    EXPECT_EQ(m_boxes[1].icon, QMessageBox::Critical);
    EXPECT_EQ(m_exitStatuses, std::vector<int>{1});
}

// Another run holds the folder: the window says so, writes nothing and stays ready; once the
// other run has let go, the same click runs.
TEST_F(RunWindowTest, AFolderHeldByAnotherRunIsRefusedAndTheWindowStaysReady) {
    m_registry.AddCase(1, "20110101", "C500", "8500", 3);
    m_registry.AddAbstract(10, 1, "1", "'00'");
    Form1 form;
    ASSERT_TRUE(Loaded(form));
    auto other = std::make_unique<RunFiles>(m_output.path());
    ASSERT_TRUE(other->Lock());

    ClickRun(form, false);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text,
              "Another extract is running in this folder:\r\n" +
                  QString::fromStdString(m_output.path()) +
                  "\r\nNothing was written. Please try again when it has finished.");
    EXPECT_FALSE(test::FileExists(Out(SelectFileName)));
    EXPECT_TRUE(m_exitStatuses.empty());
    EXPECT_FALSE(form.IsRunning());

    other.reset();
    ClickRun(form, false);
    ASSERT_EQ(m_boxes.size(), 3u);  // the confirmation and the completion
    EXPECT_TRUE(m_boxes[2].text.startsWith("Extract completed!"));
    EXPECT_EQ(test::RecordLines(Out(ConsolidatedFileName)).size(), 1u);
}

}  // namespace
}  // namespace mae
