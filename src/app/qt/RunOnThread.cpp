#include "app/qt/RunOnThread.h"

#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <thread>

namespace mae {

std::exception_ptr RunOnThread(const std::function<void()>& work) {
    std::exception_ptr failure;
    QEventLoop loop;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Posted, not called: when work ends before the loop has started, the loop still sees
        // the quit as soon as it runs. The posts work made before (progress) come first.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return failure;
}

WindowProxy::WindowProxy(QObject& window, RunUi& ui, bool rerelease, qint64 progressIntervalMs)
    : m_window(window), m_ui(ui), m_rerelease(rerelease), m_throttle(progressIntervalMs) {}

bool WindowProxy::onWindowThread() const { return QThread::currentThread() == m_window.thread(); }

MsgAnswer WindowProxy::ShowMessage(const std::u16string& text, MsgButtons buttons, MsgIcon icon,
                                   const std::u16string& title) {
    if (onWindowThread()) return m_ui.ShowMessage(text, buttons, icon, title);
    MsgAnswer answer = MsgAnswer::Ok;
    QMetaObject::invokeMethod(
        &m_window, [&] { answer = m_ui.ShowMessage(text, buttons, icon, title); },
        Qt::BlockingQueuedConnection);
    return answer;
}

void WindowProxy::SetProgressMax(float max) {
    m_throttle.SetMax(max);
    if (onWindowThread()) {
        m_ui.SetProgressMax(max);
        return;
    }
    QMetaObject::invokeMethod(
        &m_window, [this, max] { m_ui.SetProgressMax(max); }, Qt::BlockingQueuedConnection);
}

void WindowProxy::SetProgressValue(float value) {
    if (!m_throttle.Passes(value)) return;
    if (onWindowThread()) {
        m_ui.SetProgressValue(value);
        return;
    }
    QMetaObject::invokeMethod(
        &m_window, [this, value] { m_ui.SetProgressValue(value); }, Qt::QueuedConnection);
}

}  // namespace mae
