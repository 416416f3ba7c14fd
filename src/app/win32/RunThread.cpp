#include "app/win32/RunThread.h"

#include <bit>
#include <cstdint>
#include <utility>

namespace mae::win32 {

namespace {

// The progress bar is moved at most this often; the maximum always gets through.
constexpr ULONGLONG ProgressIntervalMs = 30;

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
        m_max = max;
        SendMessageW(m_window, RunProgressMax, 0, reinterpret_cast<LPARAM>(&max));
    }
    void SetProgressValue(float value) override {
        const ULONGLONG now = GetTickCount64();
        if (value < m_max && m_lastPassed != 0 && now - m_lastPassed < ProgressIntervalMs) {
            return;
        }
        m_lastPassed = now;
        PostMessageW(m_window, RunProgressValue, std::bit_cast<uint32_t>(value), 0);
    }
    bool RereleaseChecked() override { return m_rerelease; }

  private:
    HWND m_window;
    const bool m_rerelease;
    float m_max = 0;
    ULONGLONG m_lastPassed = 0;
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
