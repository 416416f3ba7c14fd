// window-bench: one run, click to totals, on a registry folder made by mae-generate (its
// Meridane.ini names the databases). Prints "<mode> <seconds>" and "<mode>-cpu
// <seconds>" (processor time of every thread of the process over the same span); the window
// adds "<mode>-thread-cpu <seconds>", the processor time of the window's own thread.
//   --mode headless      RunExtract on this thread with an answering RunUi, no Qt at all, in a
//                        process that never had a second thread;
//   --mode headless-threads  the same after a thread has come and gone;
//   --mode headless-worker   the same on a thread of its own;
//   --mode headless-qt-worker  the same with a QApplication made first (no window);
//   --mode window        the real window: cmdRun clicked, every message box shown for real and
//                        answered as soon as it is on the screen; the time runs from the click to
//                        the completion message being on the screen.
// One run per process, so that nothing is warm but the page cache: interleave the modes from
// the shell and take medians. The platform is Qt's usual choice (QT_QPA_PLATFORM, DISPLAY).

#include <sys/resource.h>
#include <time.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "app/qt/ErrorReport.h"
#include "app/qt/Form1.h"
#include "app/startup/Startup.h"
#include "extract/ExtractRun.h"
#include "extract/RunUi.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double>(to - from).count();
}

// Processor time of the whole process, every thread.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time of the calling thread.
double ThreadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Answers Yes at once; notes when the completion message arrives.
class HeadlessUi : public mae::RunUi {
  public:
    mae::MsgAnswer ShowMessage(const std::u16string&, mae::MsgButtons buttons, mae::MsgIcon,
                               const std::u16string&) override {
        if (buttons == mae::MsgButtons::YesNo) return mae::MsgAnswer::Yes;
        done = Clock::now();
        doneCpu = CpuSeconds();
        return mae::MsgAnswer::Ok;
    }
    void SetProgressMax(float) override {}
    void SetProgressValue(float) override {}
    bool RereleaseChecked() override { return false; }
    Clock::time_point done;
    double doneCpu = 0;
};

// how: "" on this thread in a process that never had a second thread; "threads" on this thread
// after a second thread has come and gone (as in any process with a window); "worker" on a
// thread of its own; "qt-worker" the same with a QApplication made first.
int Headless(int& argc, char** argv, const std::string& out, const std::string& how) {
    std::optional<QApplication> app;
    if (how.starts_with("qt")) app.emplace(argc, argv);
    mae::AppState state;
    state.ApplicationFolder = out;
    mae::Form_Load(state);
    if (how == "threads") std::thread([] {}).join();
    HeadlessUi ui;
    const double startCpu = CpuSeconds();
    const auto start = Clock::now();
    mae::RunOutcome outcome = mae::RunOutcome::Aborted;
    const auto run = [&] { outcome = mae::RunExtract(state.MakeExtractContext(), ui); };
    if (how.ends_with("worker")) {
        std::thread(run).join();
    } else {
        run();
    }
    if (outcome != mae::RunOutcome::Completed) return 1;
    const std::string name = "headless" + (how.empty() ? how : "-" + how);
    std::printf("%s %.4f\n%s-cpu %.4f\n", name.c_str(), Seconds(start, ui.done), name.c_str(),
                ui.doneCpu - startCpu);
    return 0;
}

int Window(int& argc, char** argv, const std::string& out) {
    QApplication app(argc, argv);
    mae::Form1 form;
    form.State().ApplicationFolder = out;
    if (!form.Load()) return 1;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    QCoreApplication::processEvents();

    Clock::time_point done;
    double doneCpu = 0;
    double doneWindowCpu = 0;
    bool completed = false;
    // Every box is built and shown by the window as for a user, and answered the moment it is
    // on the screen.
    mae::MessageBoxHook = [&](QMessageBox& box) {
        const bool yesNo = box.standardButtons().testFlag(QMessageBox::Yes);
        QTimer::singleShot(0, &box, [&] {
            if (!QTest::qWaitForWindowExposed(&box)) return box.reject();
            if (!yesNo && box.text().startsWith(QLatin1String("Extract completed!"))) {
                done = Clock::now();
                doneCpu = CpuSeconds();
                doneWindowCpu = ThreadCpuSeconds();
                completed = true;
            }
            box.button(yesNo ? QMessageBox::Yes : QMessageBox::Ok)->click();
        });
        box.exec();
        return box.standardButton(box.clickedButton());
    };
    auto* run = form.findChild<QPushButton*>(QStringLiteral("cmdRun"));
    if (!run) return 1;
    const double startCpu = CpuSeconds();
    const double startWindowCpu = ThreadCpuSeconds();
    const auto start = Clock::now();
    QTest::mouseClick(run, Qt::LeftButton);
    if (!completed) return 1;
    const QByteArray platform = QGuiApplication::platformName().toLatin1();
    std::printf("window-%s %.4f\nwindow-%s-cpu %.4f\n", platform.constData(), Seconds(start, done),
                platform.constData(), doneCpu - startCpu);
    std::printf("window-%s-thread-cpu %.4f\n", platform.constData(),
                doneWindowCpu - startWindowCpu);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = "window";
    std::string dir;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view a = argv[i];
        if (a == "--mode") {
            mode = argv[i + 1];
        } else if (a == "--dir") {
            dir = argv[i + 1];
        }
    }
    const bool headless = mode.starts_with("headless");
    if (dir.empty() ||
        (mode != "headless" && mode != "headless-threads" && mode != "headless-worker" &&
         mode != "headless-qt-worker" && mode != "window")) {
        std::fprintf(
            stderr,
            "usage: window-bench --dir DIR "
            "[--mode headless|headless-threads|headless-worker|headless-qt-worker|window]\n");
        return 2;
    }
    setenv("WINDIR", dir.c_str(), 1);
    const std::string out = dir + "/out-" + mode;
    std::filesystem::create_directories(out);
    try {
        return headless ? Headless(argc, argv, out, mode == "headless" ? "" : mode.substr(9))
                        : Window(argc, argv, out);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "window-bench: %s\n", e.what());
        return 1;
    }
}
