#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace mae::test {

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
    int toChild[2], fromChild[2];
    if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("fork failed");
    if (m_pid == 0) {
        ::dup2(toChild[0], 0);
        ::dup2(fromChild[1], 1);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    m_in = toChild[1];
    m_out = fromChild[0];
}

ChildProcess::~ChildProcess() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        Wait();
    }
    if (m_in >= 0) ::close(m_in);
    if (m_out >= 0) ::close(m_out);
}

std::string ChildProcess::ReadUntil(const std::string& prefix, int timeoutMs) {
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (line.starts_with(prefix)) return line;
            continue;
        }
        pollfd p{m_out, POLLIN, 0};
        char buffer[4096];
        if (::poll(&p, 1, timeoutMs) <= 0) return {};
        const ssize_t n = ::read(m_out, buffer, sizeof buffer);
        if (n <= 0) return {};
        m_pending.append(buffer, static_cast<size_t>(n));
    }
}

void ChildProcess::WriteLine(const std::string& line) {
    const std::string text = line + "\n";
    if (::write(m_in, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        throw std::runtime_error("cannot write to the child");
    }
}

void ChildProcess::Kill(int signal) const { ::kill(m_pid, signal); }

int ChildProcess::Wait() {
    int status = 0;
    if (m_pid > 0) {
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
    return status;
}

}  // namespace mae::test
