#include "output/ByteSink.h"

#include <algorithm>

#include "common/RuntimeError.h"

namespace mae {

namespace {

[[noreturn]] void ThrowWriteError(const platform::IoStatus& status, const std::string& path) {
    if (status.error == platform::IoError::DiskFull) {
        throw ErrorOf(err::DiskFull, "cannot write to " + path + " (" + status.reason + ")");
    }
    throw ErrorOf(err::DeviceIo, "cannot write to " + path + " (" + status.reason + ")");
}

}  // namespace

FileSink::~FileSink() {
    if (!IsOpen()) return;
    try {
        Flush();
    } catch (...) {
        // Best effort: a destructor must not throw, and the file already ends in a whole line.
    }
    m_file.Close();
}

void FileSink::Open(const std::string& path) {
    if (IsOpen()) Close();
    platform::NativeFile file;
    const platform::IoStatus status = platform::OpenForOutput(path, file);
    if (!status.ok()) {
        throw ErrorOf(err::PathAccess, "cannot create " + path + " (" + status.reason + ")");
    }
    Open(std::move(file), path);
}

void FileSink::Open(platform::NativeFile file, const std::string& path) {
    if (IsOpen()) Close();
    m_file = std::move(file);
    m_path = path;
    m_buffer.clear();
    m_buffer.reserve(BufferCapacity);
    m_chunkEnds.clear();
    m_committed = 0;
    m_failed = false;
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

void FileSink::Sync() {
    if (!IsOpen()) return;
    Flush();
    const platform::IoStatus status = m_file.Sync();
    if (!status.ok()) {
        m_failed = true;
        ThrowWriteError(status, m_path);
    }
}

void FileSink::Close() {
    if (!IsOpen()) return;
    try {
        Flush();
    } catch (...) {
        m_file.Close();
        throw;
    }
    const platform::IoStatus status = m_file.Close();
    if (!status.ok()) {
        m_failed = true;
        ThrowWriteError(status, m_path);
    }
}

void FileSink::CutTo(long long size) {
    m_buffer.clear();
    m_chunkEnds.clear();
    if (!IsOpen() || size >= m_committed) return;
    const platform::IoStatus status = m_file.Truncate(size);
    if (!status.ok()) {
        m_failed = true;
        throw ErrorOf(err::DeviceIo, "cannot cut " + m_path + " back (" + status.reason + ")");
    }
    m_committed = size;
}

// Writes data, whose Write() chunks end at m_chunkEnds. When the disk takes only part of it,
// the file is cut back to the end of the last chunk that arrived whole, and the rest is dropped.
void FileSink::WriteOut(const char* data, size_t size) {
    size_t done = 0;
    const platform::IoStatus status = m_file.WriteAll(data, size, done);
    if (status.ok()) {
        // The disk starts on each chunk as it is written, so the Sync that ends a run of
        // hundreds of megabytes has only the last of them to wait for.
        m_file.StartWriteBack(m_committed, static_cast<long long>(size));
        m_committed += static_cast<long long>(size);
        m_buffer.clear();
        m_chunkEnds.clear();
        return;
    }
    const auto whole = std::upper_bound(m_chunkEnds.begin(), m_chunkEnds.end(), done);
    const size_t keep = whole == m_chunkEnds.begin() ? 0 : *std::prev(whole);
    const long long end = m_committed + static_cast<long long>(keep);
    // Cut back to the last whole chunk (a device that cannot be cut keeps what it took).
    if (keep < done) m_file.Truncate(end);
    m_committed = end;
    m_failed = true;
    m_buffer.clear();
    m_chunkEnds.clear();
    ThrowWriteError(status, m_path);
}

}  // namespace mae
