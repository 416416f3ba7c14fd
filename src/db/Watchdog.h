#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace mae {

// Cancels a call that runs past its connection's command timeout, for a driver that accepts the
// timeout but never applies it. A thread of its own sleeps until the deadline of the call being
// watched and then calls SQLCancel, again every quarter second until the call returns; it never
// cancels outside a watched call. Calls are watched one at a time (a connection's statements run
// on one thread).
class Watchdog {
  public:
    // cancelHandle: the statement handle to cancel instead of the watched one, or null to cancel
    // the watched one (see odbc::WatchedCall).
    Watchdog(std::chrono::milliseconds timeout, void* cancelHandle);
    // Stops the thread. Never throws.
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // The statement handle's call starts now.
    void Arm(void* statement);
    // It has returned; true when it was cancelled for running past the timeout.
    bool Disarm() noexcept;

  private:
    void Run() noexcept;

    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds m_timeout;
    void* const m_cancelHandle;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_armed = false;
    bool m_fired = false;
    void* m_statement = nullptr;
    Clock::time_point m_deadline;
    Clock::time_point m_sleepsUntil = Clock::time_point::max();
    std::thread m_thread;  // last: starts once everything above is set
};

}  // namespace mae
