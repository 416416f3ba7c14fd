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
#include <new>
#include <stdexcept>
#include <vector>

#include "app/qt/ErrorReport.h"
#include "app/qt/Form1.h"
#include "extract/ExtractRun.h"
#include "generator/RegistryGenerator.h"
#include "support/TestDb.h"

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

    // A generated registry and control database with a Meridane.ini for them in WINDIR.
    gen::RegistrySummary MakeRegistry(int cases) {
        gen::RegistryOptions options;
        options.cases = cases;
        options.seed = 11;
        const auto summary = gen::WriteRegistryDatabase(m_windir.file("registry.db"), options);
        gen::WriteControlDatabase(m_windir.file("control.db"));
        gen::WriteIni(m_windir.path(), m_windir.file("control.db"), m_windir.file("registry.db"));
        return summary;
    }

    TempDir m_windir;
    test::ScopedEnv m_windirEnv{"WINDIR", m_windir.path()};
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

// A whole run on a generated registry: during it the window keeps its state whatever the user
// does; afterwards it takes input again.
TEST_F(WindowTest, RunTakesNoInputUntilItEnds) {
    const auto summary = MakeRegistry(30);
    ASSERT_GT(summary.casesSelected, 0);
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* check = Control<QCheckBox>(form, "chkRerelease");
    auto* run = Control<QPushButton>(form, "cmdRun");
    auto* bar = Control<QProgressBar>(form, "ProgressBar1");
    ASSERT_TRUE(check && run && bar);

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
    EXPECT_TRUE(m_boxes[0].text.startsWith(QString::number(summary.casesSelected) +
                                           " consolidated records were selected. "));
    EXPECT_TRUE(m_boxes[1].text.startsWith("Extract completed!\r\n"));
    EXPECT_EQ(bar->maximum(), summary.casesSelected);
    EXPECT_EQ(bar->value(), summary.casesSelected);
    EXPECT_FALSE(form.IsRunning());
    EXPECT_TRUE(m_exitStatuses.empty());
    EXPECT_EQ(toggles.count(), 0);
    EXPECT_EQ(runClicks.count(), 1);
    EXPECT_EQ(QApplication::focusWidget(), run);
    const std::string lines = test::ReadFileBytes(m_output.file(ConsolidatedFileName));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), summary.casesKept);

    m_onBox = nullptr;
    QTest::mouseClick(check, Qt::LeftButton);
    EXPECT_TRUE(check->isChecked());
    m_yesNoAnswer = QMessageBox::No;
    QTest::mouseClick(run, Qt::LeftButton);
    EXPECT_EQ(m_boxes.size(), 3u);  // a new run asks again
}

// The run works beside the window's event loop: timers (and with them painting and the
// desktop's pings) keep being served from the moment the user says Yes to the last message.
TEST_F(WindowTest, WindowKeepsServingEventsDuringARun) {
    MakeRegistry(600);
    Form1 form;
    form.State().ApplicationFolder = m_output.path();
    ASSERT_TRUE(form.Load());
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

// A run that fails, and one that is aborted by a case without abstracts, both end the program
// with status 1 after their message.
TEST_F(WindowTest, FailedOrAbortedRunEndsTheProgram) {
    MakeRegistry(30);
    {
        Form1 form;
        form.State().ApplicationFolder = m_output.path();
        ASSERT_TRUE(form.Load());
        test::ExecSql(m_windir.file("registry.db"), "DELETE FROM abstracts_2;");
        form.RunExtract();
        ASSERT_EQ(m_boxes.size(), 2u);
        EXPECT_TRUE(m_boxes[1].text.startsWith("Error: Abstract for MedrefID = "));
        EXPECT_EQ(m_boxes[1].title, "meridane-audit-extract");
        EXPECT_EQ(m_exitStatuses, std::vector<int>{1});
        form.RunExtract();  // nothing more starts once the program is ending
        EXPECT_EQ(m_boxes.size(), 2u);
    }
    m_boxes.clear();
    m_exitStatuses.clear();
    {
        Form1 form;
        form.State().ApplicationFolder = m_output.path();
        ASSERT_TRUE(form.Load());
        test::ExecSql(m_windir.file("registry.db"), "DROP TABLE abstracts_2;");
        form.RunExtract();
        ASSERT_EQ(m_boxes.size(), 2u);
        EXPECT_TRUE(m_boxes[1].text.startsWith("Run-time error '"))
            << m_boxes[1].text.toStdString();
        EXPECT_EQ(m_boxes[1].icon, QMessageBox::Critical);
        EXPECT_EQ(m_exitStatuses, std::vector<int>{1});
    }
}

}  // namespace
}  // namespace mae
