#include "db/Watchdog.h"

#include "db/SqlApi.h"

namespace mae {

Watchdog::Watchdog(std::chrono::milliseconds timeout, void* cancelHandle)
    : m_timeout(timeout), m_cancelHandle(cancelHandle), m_thread([this] { Run(); }) {}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void Watchdog::Arm(void* statement) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statement = statement;
        m_armed = true;
        m_fired = false;
        m_deadline = Clock::now() + m_timeout;
        // Asleep until an earlier deadline, the thread finds this one when it wakes: a run of
        // short calls costs no wake-up each.
        wake = m_deadline < m_sleepsUntil;
    }
    if (wake) m_wake.notify_one();
}

bool Watchdog::Disarm() noexcept {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
    m_statement = nullptr;
    return m_fired;
}

void Watchdog::Run() noexcept {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop) {
        const Clock::time_point now = Clock::now();
        if (!m_armed) {
            m_sleepsUntil = Clock::time_point::max();
            m_wake.wait(lock);
            continue;
        }
        if (now < m_deadline) {
            m_sleepsUntil = m_deadline;
            m_wake.wait_for(lock, m_deadline - now);
            continue;
        }
        // Still inside the call (Disarm waits for the mutex), so the handle is still valid.
        m_fired = true;
        SQLCancel(m_cancelHandle ? m_cancelHandle : m_statement);
        m_deadline = now + std::chrono::milliseconds(250);
    }
}

}  // namespace mae
