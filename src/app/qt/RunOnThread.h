#pragma once

#include <QtGlobal>
#include <exception>
#include <functional>

#include "app/startup/WindowFacts.h"
#include "extract/RunUi.h"

class QObject;

namespace mae {

// Runs work on a thread of its own while the calling thread, the window's, turns a nested event
// loop: the window keeps painting and answering the desktop, and the calls work makes through a
// WindowProxy are carried out on it. Returns when work has returned, with what work threw (an
// empty pointer when it returned normally); nothing is thrown from here.
std::exception_ptr RunOnThread(const std::function<void()>& work);

// The window as the run on the other thread sees it. ShowMessage and SetProgressMax wait until
// the window's thread has carried them out; SetProgressValue does not wait and is passed on at
// most every progressIntervalMs, and always when it reaches the maximum; RereleaseChecked gives
// the state the check box had at the start, for every case. A call made on the window's thread
// itself goes straight to the window (waiting for itself would never end).
class WindowProxy : public RunUi {
  public:
    // window is the object the calls are queued on (it lives on the window's thread); ui is the
    // window's side of the run that carries them out.
    WindowProxy(QObject& window, RunUi& ui, bool rerelease,
                qint64 progressIntervalMs = ProgressIntervalMs);

    MsgAnswer ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                          const std::u16string& title) override;
    void SetProgressMax(float max) override;
    void SetProgressValue(float value) override;
    bool RereleaseChecked() override { return m_rerelease; }

  private:
    bool onWindowThread() const;

    QObject& m_window;
    RunUi& m_ui;
    const bool m_rerelease;
    ProgressThrottle m_throttle;
};

}  // namespace mae
