#include <gtest/gtest.h>

#include <QObject>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/qt/ErrorReport.h"
#include "app/qt/RunOnThread.h"
#include "common/RuntimeError.h"
#include "support/MiniRegistry.h"

namespace mae {
namespace {

using namespace std::chrono_literals;

// Waits for flag, at most a few seconds, so a loop that does not turn fails the test instead of
// hanging it.
bool WaitFor(const std::atomic<bool>& flag) {
    for (int i = 0; i < 500 && !flag; ++i) std::this_thread::sleep_for(10ms);
    return flag;
}

// The window's side: records each call with the thread it was made on.
struct ThreadRecordingUi : test::RecordingUi {
    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override {
        threads.push_back(QThread::currentThread());
        return RecordingUi::ShowMessage(text, buttons, icon, title);
    }
    void SetProgressMax(float max) override {
        threads.push_back(QThread::currentThread());
        RecordingUi::SetProgressMax(max);
    }
    void SetProgressValue(float value) override {
        threads.push_back(QThread::currentThread());
        RecordingUi::SetProgressValue(value);
    }
    std::vector<QThread*> threads;
};

TEST(RunOnThread, TheWindowThreadTurnsWhileTheWorkWaitsForIt) {
    std::atomic<bool> timerFired = false;
    QTimer::singleShot(0, [&] { timerFired = true; });
    std::thread::id workThread;
    const std::exception_ptr failure = RunOnThread([&] {
        workThread = std::this_thread::get_id();
        EXPECT_TRUE(WaitFor(timerFired)) << "the window's event loop did not turn during the work";
    });
    EXPECT_FALSE(failure);
    EXPECT_NE(workThread, std::this_thread::get_id());
    // Work that ends before the loop starts still ends it.
    EXPECT_FALSE(RunOnThread([] {}));
}

TEST(RunOnThread, HandsBackWhatTheWorkThrew) {
    EXPECT_EQ(AsRunTimeError(RunOnThread([] { throw ErrorOf(err::DiskFull, "x"); })).number(),
              err::DiskFull);
    EXPECT_EQ(AsRunTimeError(RunOnThread([] { throw 42; })).description(), "Internal error");
}

TEST(WindowProxy, CarriesTheRunsCallsToTheWindowThread) {
    QObject window;
    ThreadRecordingUi ui;
    ui.answerYes = true;
    WindowProxy proxy(window, ui, /*rerelease=*/true, /*progressIntervalMs=*/3'600'000);
    MsgAnswer answer = MsgAnswer::Ok;
    bool rerelease = false;
    const std::exception_ptr failure = RunOnThread([&] {
        answer = proxy.ShowMessage(u"Proceed?", MsgButtons::YesNo, MsgIcon::None, u"t");
        proxy.SetProgressMax(10);
        for (int i = 1; i <= 10; ++i) proxy.SetProgressValue(static_cast<float>(i));
        rerelease = proxy.RereleaseChecked();
    });
    ASSERT_FALSE(failure);
    EXPECT_EQ(answer, MsgAnswer::Yes);
    EXPECT_TRUE(rerelease);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, u"Proceed?");
    EXPECT_EQ(ui.progressMax, 10.0f);
    // Within the interval only the first value and the maximum pass.
    EXPECT_EQ(ui.progressValues, (std::vector<float>{1.0f, 10.0f}));
    for (QThread* thread : ui.threads) EXPECT_EQ(thread, window.thread());

    // Called on the window's thread itself, the proxy does not wait for itself.
    EXPECT_EQ(proxy.ShowMessage(u"Again?", MsgButtons::YesNo, MsgIcon::None, u"t"), MsgAnswer::Yes);
}

}  // namespace
}  // namespace mae
