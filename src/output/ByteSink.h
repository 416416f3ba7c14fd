#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/FileSystem.h"

namespace mae {

// Where finished lines go. Write() takes one whole line (or several whole lines): either all of
// it reaches the destination or, on failure, none of it, and a RuntimeError is thrown.
class ByteSink {
  public:
    virtual ~ByteSink() = default;
    virtual void Write(std::string_view bytes) = 0;
};

// Lines kept in memory (tests, floors).
class StringSink : public ByteSink {
  public:
    void Write(std::string_view bytes) override { m_data.append(bytes); }
    const std::string& data() const noexcept { return m_data; }
    void Clear() noexcept { m_data.clear(); }

  private:
    std::string m_data;
};

// An output file, created or emptied when opened, written through a buffer of whole lines.
// When the disk refuses a write, the file is cut back to the end of its last whole line before
// the error is thrown, so it never ends in a partial line.
class FileSink : public ByteSink {
  public:
    // Whole lines are held up to this many bytes before they are written out.
    static constexpr size_t BufferCapacity = size_t{1} << 20;

    FileSink() = default;
    explicit FileSink(const std::string& path) { Open(path); }
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    // Creates or empties the file. A path that cannot be opened for writing (a missing folder, a
    // folder in the file's place, no permission) is error 75, its message naming the path.
    void Open(const std::string& path);
    // Takes over a file already open for writing at path (e.g. one made by CreateNewFile).
    void Open(platform::NativeFile file, const std::string& path);
    bool IsOpen() const noexcept { return m_file.IsOpen(); }
    void Write(std::string_view bytes) override;
    // Writes out what is buffered. Throws 61 (disk full) or 57 (device I/O) on failure.
    void Flush();
    // Flushes and asks the system to put the file on the disk. Throws 61 or 57 on failure.
    void Sync();
    // Flushes and closes; throws on failure (the file is still closed).
    void Close();
    const std::string& path() const noexcept { return m_path; }

    // Bytes taken by Write() (on the disk or buffered), and bytes known to be on the disk.
    long long Size() const noexcept {
        return m_committed + static_cast<long long>(m_buffer.size());
    }
    long long Committed() const noexcept { return m_committed; }
    // Whether writing to the file has failed since it was opened (its buffer is then dropped).
    bool Failed() const noexcept { return m_failed; }
    // Drops what is buffered and cuts the file to size bytes, which must be a line end at or
    // before Committed(). Throws 57 when the file cannot be cut.
    void CutTo(long long size);

  private:
    void WriteOut(const char* data, size_t size);

    platform::NativeFile m_file;
    std::string m_path;
    std::string m_buffer;
    std::vector<size_t> m_chunkEnds;  // where each Write() held in m_buffer ends
    long long m_committed = 0;        // bytes on disk, always a whole number of lines
    bool m_failed = false;
};

}  // namespace mae
