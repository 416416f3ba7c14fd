#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The file services the program needs from the operating system, one implementation per system
// (posix/FileSystem.cpp, win32/FileSystem.cpp). Paths are std::string: raw bytes on POSIX, UTF-8
// on Windows (turned into UTF-16 for the wide-character calls, so accented folder names work).
// Nothing here throws: every call says what went wrong in an IoStatus, and the caller decides
// which run-time error that is.
namespace mae::platform {

enum class IoError {
    None,
    DiskFull,       // no space left, a quota, or a file past the size the system allows
    PathAccess,     // the path cannot be opened or used: missing folder, no permission, a folder
                    // or a symbolic link where a file is wanted, a bad name
    DeviceIo,       // the device failed, or a write took nothing
    AlreadyExists,  // CreateNewFile: something already has that name
    NotFound,       // the file or folder is not there
    Busy,           // TryLockFile: another holder has the lock
};

struct IoStatus {
    IoError error = IoError::None;
    std::string reason;  // the system's words for it, e.g. "No space left on device"

    bool ok() const noexcept { return error == IoError::None; }
};

// The separator between a folder and a name: '/' on POSIX, '\\' on Windows.
extern const char PathSeparator;

// folder + separator + name, with no check for a separator already at the folder's end.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path;
    path.reserve(folder.size() + 1 + name.size());
    path.append(folder).append(1, PathSeparator).append(name);
    return path;
}

// An open file, written from its current position. Move-only; closed at destruction (errors
// then are lost: call Close() to see them).
class NativeFile {
  public:
    NativeFile() = default;
    ~NativeFile() {
        if (IsOpen()) CloseQuietly(m_handle);
    }
    NativeFile(NativeFile&& other) noexcept
        : m_handle(std::exchange(other.m_handle, InvalidHandle)) {}
    NativeFile& operator=(NativeFile&& other) noexcept {
        if (this != &other) {
            if (IsOpen()) CloseQuietly(m_handle);
            m_handle = std::exchange(other.m_handle, InvalidHandle);
        }
        return *this;
    }
    NativeFile(const NativeFile&) = delete;
    NativeFile& operator=(const NativeFile&) = delete;

    bool IsOpen() const noexcept { return m_handle != InvalidHandle; }

    // Writes all size bytes, retrying short writes. On failure, written says how many of them
    // reached the file (the file position is after them).
    IoStatus WriteAll(const char* data, size_t size, size_t& written);
    // Cuts the file to size bytes and moves the position there.
    IoStatus Truncate(long long size);
    // Asks the system to put what was written on the disk.
    IoStatus Sync();
    // Asks the system to start putting that range of the file on the disk now, without waiting:
    // a later Sync then has little left to wait for. A system that cannot is not asked.
    void StartWriteBack(long long offset, long long length) noexcept;
    // Closes the file; it is closed afterwards even when an error is reported.
    IoStatus Close();

    // The system's handle (POSIX descriptor or Windows HANDLE) as an integer; -1 when closed.
    // A NativeFile made from a handle owns it.
    using Handle = std::intptr_t;
    static constexpr Handle InvalidHandle = -1;
    explicit NativeFile(Handle handle) noexcept : m_handle(handle) {}
    Handle NativeHandle() const noexcept { return m_handle; }

  private:
    // Closes an open handle, its errors lost.
    static void CloseQuietly(Handle handle) noexcept;

    Handle m_handle = InvalidHandle;
};

// Opens path for writing, creating it or emptying it when it is there.
IoStatus OpenForOutput(const std::string& path, NativeFile& file);
// Creates path as a new file for writing; fails (AlreadyExists) when anything has that name,
// a symbolic link included, which is never followed.
IoStatus CreateNewFile(const std::string& path, NativeFile& file);
// Whether the file at path, when there is one, can be replaced now: Busy when another program
// holds it open without letting it be removed (Windows: a viewer or a spreadsheet), with the
// system's words. Anything else, nothing there included, is no obstacle here. On POSIX an
// open file never keeps a name from being replaced.
IoStatus CheckReplaceable(const std::string& path);
// Puts from in the place of to (replacing it when it is there) by renaming, in one step.
IoStatus MoveIntoPlace(const std::string& from, const std::string& to);
// Removes the file (NotFound when it is not there).
IoStatus RemoveFile(const std::string& path);
// The names in folder, without "." and "..", in no particular order.
IoStatus ListFolder(const std::string& folder, std::vector<std::string>& names);
// Whether something (a file, a folder, a link) has that name.
bool Exists(const std::string& path);
// Whether nothing is at path, a symbolic link followed to its target: false when the system
// cannot tell (no permission to look, say).
bool IsMissing(const std::string& path);

// What has a name: a symbolic link is told as such, not followed (on Windows, where the program
// meets none, as what its attributes say: a folder or a file). Other: a FIFO, a socket or a
// device. Nothing also when it cannot be looked at.
enum class EntryKind { Nothing, File, Folder, Link, Other };
EntryKind KindOf(const std::string& path);
// The same, and for a regular file its identity on its volume (inode, or file index on
// Windows): no two files have the same one while both exist. 0 for anything but a file.
EntryKind KindOf(const std::string& path, unsigned long long& identity);
// Reads a regular file of at most limit bytes whole: never through a symbolic link, never
// waiting (a FIFO there is refused at once, as is anything but a regular file). PathAccess when
// it is not a regular file or is larger than limit.
IoStatus ReadSmallFile(const std::string& path, size_t limit, std::string& text);

// The path for the standard library's file streams: the bytes as they are on POSIX, UTF-8 read
// as such on Windows.
std::filesystem::path NativePath(const std::string& path);
// Asks the system to put the folder's entries (names made, renamed, removed) on the disk. A
// system that has no such call (Windows: each rename is written through) is not asked.
IoStatus SyncFolder(const std::string& folder);

// This process's id, and whether the process of that id is running on this machine (true when
// it cannot be told: only a process known to be gone is reported gone).
unsigned long CurrentProcessId() noexcept;
bool ProcessIsRunning(unsigned long id) noexcept;

// An exclusive lock held on an open lock file. Move-only; released at destruction.
class FileLock {
  public:
    FileLock() = default;
    ~FileLock() { Release(); }
    FileLock(FileLock&& other) noexcept
        : m_file(std::move(other.m_file)), m_identity(std::exchange(other.m_identity, 0)) {}
    FileLock& operator=(FileLock&& other) noexcept {
        if (this != &other) {
            Release();
            m_file = std::move(other.m_file);
            m_identity = std::exchange(other.m_identity, 0);
        }
        return *this;
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    bool IsHeld() const noexcept { return m_file.IsOpen(); }
    // The lock file's identity on its volume (inode, or file index on Windows): two opens of
    // one file give the same number, and no other file has it while this one is open. 0 when
    // not held.
    unsigned long long Identity() const noexcept { return m_identity; }
    // Lets the lock go and closes its file (the file stays on disk).
    void Release() noexcept;

    // Used by TryLockFile.
    FileLock(NativeFile file, unsigned long long identity) noexcept
        : m_file(std::move(file)), m_identity(identity) {}

  private:
    NativeFile m_file;
    unsigned long long m_identity = 0;
};

// Opens path (creating it when missing, never through a symbolic link, never waiting: a FIFO
// there does not hold the program up) and takes an exclusive lock on it without waiting: Busy
// when another open of the file, in this process or another, holds it; PathAccess when path is
// anything but a regular file. The lock lasts as long as lock holds it.
IoStatus TryLockFile(const std::string& path, FileLock& lock);

// The folder that holds the running program's executable, never empty.
IoStatus ExecutableFolder(std::string& folder);

}  // namespace mae::platform
