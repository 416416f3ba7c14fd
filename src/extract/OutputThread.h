#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "db/Row.h"
#include "output/ByteSink.h"

namespace mae {

// What one kept case puts in the files: its consolidated record's line, made on the run's
// thread from the case row, and its abstract rows, abstracts[0..abstractCount), read whole and
// handed over as plain values. The storage of both serves again for later cases.
struct CaseOutput {
    StringSink consolidated;
    std::vector<Row> abstracts;
    size_t abstractCount = 0;
};

// Writes the kept cases' records on a thread of its own, in the order they are handed over,
// while the run's thread reads the next cases from the registry. A few cases are in hand at a
// time; their storage is used again and again.
//
// The files see what a run on one thread would write: when writing a case fails, no later
// case is written, and the failure is what the run reports, also when the run's thread has
// failed at a later case meanwhile (Finish). Only the writing function touches the files.
class OutputThread {
  public:
    using WriteCase = std::function<void(CaseOutput&)>;

    explicit OutputThread(WriteCase write, size_t depth = 8);
    // Stops the thread; cases handed over and not yet written are dropped.
    ~OutputThread();
    OutputThread(const OutputThread&) = delete;
    OutputThread& operator=(const OutputThread&) = delete;

    // The next case to fill (waits while every one is in the writer's hands). Throws the
    // writer's failure once there is one.
    CaseOutput& Next();
    // Hands the case from Next() over to be written.
    void Submit();
    // Waits until every case handed over is written and stops the thread; throws the writer's
    // failure if there was one. Called again, it only throws that failure again.
    void Finish();

  private:
    void Run();

    WriteCase m_write;
    std::vector<std::unique_ptr<CaseOutput>> m_slots;
    std::mutex m_mutex;
    // The writer is woken when half the cases are in its hands, not for each one: a wake-up
    // costs more than writing a case's records.
    std::condition_variable m_writerWake;
    std::condition_variable m_slotFree;
    size_t m_next = 0;     // the slot Next() hands out
    size_t m_pending = 0;  // handed over, not yet written; the oldest is m_next - m_pending
    size_t m_wakeAt = 1;
    bool m_writerWaiting = false;
    bool m_readerWaiting = false;
    bool m_finishing = false;  // write every case in hand, then stop
    bool m_stop = false;       // stop now
    std::exception_ptr m_failure;
    std::thread m_thread;
};

}  // namespace mae
