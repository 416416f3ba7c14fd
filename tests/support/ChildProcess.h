#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace mae::test {

// A program started with pipes to its stdin and from its stdout, for tests that watch a run in
// another process and end it part way. The destructor kills a child that is still running.
class ChildProcess {
  public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Reads its stdout up to a line that starts with prefix: that line, or "" when its output
    // ends or nothing comes for timeoutMs.
    std::string ReadUntil(const std::string& prefix, int timeoutMs = 60000);
    void WriteLine(const std::string& line);
    void Kill(int signal) const;
    // Waits for the end; the raw wait status.
    int Wait();

  private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
};

}  // namespace mae::test
