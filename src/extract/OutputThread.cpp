#include "extract/OutputThread.h"

#include <utility>

namespace mae {

OutputThread::OutputThread(WriteCase write, size_t depth) : m_write(std::move(write)) {
    m_slots.resize(depth < 1 ? 1 : depth);
    for (auto& slot : m_slots) slot = std::make_unique<CaseOutput>();
    m_wakeAt = (m_slots.size() + 1) / 2;
    m_thread = std::thread([this] { Run(); });
}

OutputThread::~OutputThread() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_writerWake.notify_one();
    if (m_thread.joinable()) m_thread.join();
}

CaseOutput& OutputThread::Next() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_readerWaiting = true;
    m_slotFree.wait(lock, [this] { return m_failure || m_pending < m_slots.size(); });
    m_readerWaiting = false;
    if (m_failure) std::rethrow_exception(m_failure);
    return *m_slots[m_next];
}

void OutputThread::Submit() {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_next = (m_next + 1) % m_slots.size();
        ++m_pending;
        wake = m_writerWaiting && m_pending >= m_wakeAt;
    }
    if (wake) m_writerWake.notify_one();
}

void OutputThread::Finish() {
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_finishing = true;
        m_writerWake.notify_one();
        m_readerWaiting = true;
        m_slotFree.wait(lock, [this] { return m_failure || m_pending == 0; });
        m_readerWaiting = false;
        m_stop = true;
    }
    m_writerWake.notify_one();
    if (m_thread.joinable()) m_thread.join();
    if (m_failure) std::rethrow_exception(m_failure);
}

void OutputThread::Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_writerWaiting = true;
        m_writerWake.wait(lock, [this] {
            return m_stop || m_pending >= m_wakeAt || (m_finishing && m_pending > 0);
        });
        m_writerWaiting = false;
        // Finish stops the thread only once every case in hand is written; the destructor
        // drops them.
        if (m_stop) return;
        while (m_pending > 0 && !m_stop) {
            const size_t oldest = (m_next + m_slots.size() - m_pending) % m_slots.size();
            CaseOutput& output = *m_slots[oldest];
            lock.unlock();
            std::exception_ptr failure;
            try {
                m_write(output);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure) {
                m_failure = failure;
                m_slotFree.notify_one();
                return;
            }
            --m_pending;
            if (m_readerWaiting) m_slotFree.notify_one();
        }
    }
}

}  // namespace mae
