#pragma once
// One extract run on a thread of its own, so that the window's thread keeps painting while the
// run works. The run reaches the window only through window messages, which the window's thread
// answers from its message loop (or from the loop of a message box it is showing).

#include <windows.h>

#include <exception>
#include <string>
#include <thread>

#include "extract/ExtractRun.h"
#include "extract/RunUi.h"

namespace mae::win32 {

// Sent (and so answered before the run goes on): lParam is a MessageRequest*.
inline constexpr UINT RunMessageBox = WM_APP + 1;
// Sent: lParam points at the maximum (float).
inline constexpr UINT RunProgressMax = WM_APP + 2;
// Posted: wParam is the value (float, bit for bit).
inline constexpr UINT RunProgressValue = WM_APP + 3;
// Posted once when the run has ended; the window then calls RunThread::Finish().
inline constexpr UINT RunEnded = WM_APP + 4;

struct MessageRequest {
    const std::u16string& text;
    MsgButtons buttons;
    MsgIcon icon;
    const std::u16string& title;
    MsgAnswer answer = MsgAnswer::Ok;
};

class RunThread {
  public:
    RunThread() = default;
    ~RunThread();
    RunThread(const RunThread&) = delete;
    RunThread& operator=(const RunThread&) = delete;

    // Starts RunExtract(context) on the worker and returns at once. rerelease is the check
    // box's state when the run starts: the window takes no input during the run, so it holds
    // for every case. Does nothing when a run is going.
    void Start(HWND window, ExtractContext context, bool rerelease);
    bool IsRunning() const noexcept { return m_worker.joinable(); }
    // After RunEnded: waits for the worker and gives the run's outcome, or throws its failure.
    RunOutcome Finish();

  private:
    std::thread m_worker;
    RunOutcome m_outcome = RunOutcome::Completed;
    std::exception_ptr m_failure;
};

}  // namespace mae::win32
