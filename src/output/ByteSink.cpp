#include "output/ByteSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "common/RuntimeError.h"

namespace mae {

namespace {

constexpr size_t BufferCapacity = size_t{1} << 20;  // 1 MiB of whole lines

[[noreturn]] void ThrowWriteError(int error, const std::string& path) {
    const bool full = error == ENOSPC || error == EFBIG
#ifdef EDQUOT
                      || error == EDQUOT
#endif
        ;
    const std::string reason = error ? std::strerror(error) : "nothing was written";
    if (full) {
        throw ErrorOf(err::DiskFull, "cannot write to " + path + " (" + reason + ")");
    }
    throw ErrorOf(err::DeviceIo, "cannot write to " + path + " (" + reason + ")");
}

}  // namespace

FileSink::~FileSink() {
    if (m_fd < 0) return;
    try {
        Flush();
    } catch (...) {
        // Best effort: a destructor must not throw, and the file already ends in a whole line.
    }
    ::close(m_fd);
    m_fd = -1;
}

void FileSink::Open(const std::string& path) {
    if (IsOpen()) Close();
    int fd;
    do {
        fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        throw ErrorOf(err::PathAccess, "cannot create " + path + " (" + std::strerror(errno) + ")");
    }
    m_fd = fd;
    m_path = path;
    m_buffer.clear();
    m_buffer.reserve(BufferCapacity);
    m_chunkEnds.clear();
    m_committed = 0;
}

void FileSink::Write(std::string_view bytes) {
    if (!IsOpen()) {
        throw ErrorOf(err::BadFileNumber, "the output file " +
                                              (m_path.empty() ? std::string("(none)") : m_path) +
                                              " is not open");
    }
    if (bytes.empty()) return;
    if (m_buffer.size() + bytes.size() > BufferCapacity) Flush();
    if (bytes.size() >= BufferCapacity) {
        // Too big to hold: it goes straight out as one chunk of its own.
        m_chunkEnds.assign(1, bytes.size());
        WriteOut(bytes.data(), bytes.size());
        return;
    }
    m_buffer.append(bytes);
    m_chunkEnds.push_back(m_buffer.size());
}

void FileSink::Flush() {
    if (!IsOpen() || m_buffer.empty()) return;
    WriteOut(m_buffer.data(), m_buffer.size());
}

void FileSink::Close() {
    if (!IsOpen()) return;
    const int fd = m_fd;
    try {
        Flush();
    } catch (...) {
        ::close(fd);
        m_fd = -1;
        throw;
    }
    m_fd = -1;
    if (::close(fd) != 0 && errno != EINTR) ThrowWriteError(errno, m_path);
}

// Writes data, whose Write() chunks end at m_chunkEnds. When the disk takes only part of it,
// the file is cut back to the end of the last chunk that arrived whole, and the rest is dropped.
void FileSink::WriteOut(const char* data, size_t size) {
    size_t done = 0;
    int error = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            error = n < 0 ? errno : 0;
            break;
        }
    }
    if (done == size) {
        m_committed += static_cast<long long>(size);
        m_buffer.clear();
        m_chunkEnds.clear();
        return;
    }
    const auto whole = std::upper_bound(m_chunkEnds.begin(), m_chunkEnds.end(), done);
    const size_t keep = whole == m_chunkEnds.begin() ? 0 : *std::prev(whole);
    const long long end = m_committed + static_cast<long long>(keep);
    if (keep < done) {
        while (::ftruncate(m_fd, static_cast<off_t>(end)) != 0 && errno == EINTR) {
        }
    }
    ::lseek(m_fd, static_cast<off_t>(end), SEEK_SET);
    m_committed = end;
    m_buffer.clear();
    m_chunkEnds.clear();
    ThrowWriteError(error, m_path);
}

}  // namespace mae
