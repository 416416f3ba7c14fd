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

    // The next line of its stdout, waiting at most timeoutMs; "" at its end or on timeout.
    std::string ReadLine(int timeoutMs = 60000);
    // Reads lines until one starts with prefix; that line, or "" when none came.
    std::string ReadUntil(const std::string& prefix, int timeoutMs = 60000);
    void WriteLine(const std::string& line);
    void Kill(int signal);
    // Waits for the end; the raw wait status.
    int Wait();

  private:
    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_pending;
};

}  // namespace mae::test
