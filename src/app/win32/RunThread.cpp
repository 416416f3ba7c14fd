#include "app/win32/RunThread.h"

#include <bit>
#include <cstdint>
#include <utility>

#include "app/startup/WindowFacts.h"

namespace mae::win32 {

namespace {

// The run's side of the window, on the worker thread.
class WorkerUi : public RunUi {
  public:
    WorkerUi(HWND window, bool rerelease) : m_window(window), m_rerelease(rerelease) {}

    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override {
        MessageRequest request{text, buttons, icon, title};
        SendMessageW(m_window, RunMessageBox, 0, reinterpret_cast<LPARAM>(&request));
        return request.answer;
    }
    void SetProgressMax(float max) override {
        m_throttle.SetMax(max);
        SendMessageW(m_window, RunProgressMax, 0, reinterpret_cast<LPARAM>(&max));
    }
    void SetProgressValue(float value) override {
        if (!m_throttle.Passes(value)) return;
        PostMessageW(m_window, RunProgressValue, std::bit_cast<uint32_t>(value), 0);
    }
    bool RereleaseChecked() override { return m_rerelease; }

  private:
    HWND m_window;
    const bool m_rerelease;
    ProgressThrottle m_throttle;  // the maximum always gets through
};

}  // namespace

RunThread::~RunThread() {
    // The window's thread must not leave while the worker may still send to it.
    if (m_worker.joinable()) m_worker.join();
}

void RunThread::Start(HWND window, ExtractContext context, bool rerelease) {
    if (IsRunning()) return;
    m_outcome = RunOutcome::Completed;
    m_failure = nullptr;
    m_worker = std::thread([this, window, context = std::move(context), rerelease] {
        WorkerUi ui(window, rerelease);
        try {
            m_outcome = RunExtract(context, ui);
        } catch (...) {
            m_failure = std::current_exception();
        }
        PostMessageW(window, RunEnded, 0, 0);
    });
}

RunOutcome RunThread::Finish() {
    if (m_worker.joinable()) m_worker.join();
    if (m_failure) std::rethrow_exception(std::exchange(m_failure, nullptr));
    return m_outcome;
}

}  // namespace mae::win32
