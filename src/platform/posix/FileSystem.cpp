// File services on POSIX systems: descriptors, rename(2), flock(2) and /proc/self/exe.
#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mae::platform {

namespace {

IoStatus Failure(int error) {
    IoError kind = IoError::PathAccess;
    switch (error) {
        case ENOSPC:
        case EFBIG:
#ifdef EDQUOT
        case EDQUOT:
#endif
            kind = IoError::DiskFull;
            break;
        case EIO:
        case EPIPE:
        case ENXIO:
            kind = IoError::DeviceIo;
            break;
        case EEXIST:
            kind = IoError::AlreadyExists;
            break;
        case ENOENT:
            kind = IoError::NotFound;
            break;
        case EWOULDBLOCK:
            kind = IoError::Busy;
            break;
        default:
            break;
    }
    return IoStatus{kind, std::strerror(error)};
}

int Descriptor(NativeFile::Handle handle) { return static_cast<int>(handle); }

IoStatus OpenWith(const std::string& path, int flags, NativeFile& file) {
    int fd;
    do {
        fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return Failure(errno);
    file = NativeFile(fd);
    return {};
}

}  // namespace

const char PathSeparator = '/';

void NativeFile::CloseQuietly(Handle handle) noexcept { ::close(Descriptor(handle)); }

IoStatus NativeFile::WriteAll(const char* data, size_t size, size_t& written) {
    written = 0;
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    while (written < size) {
        const ssize_t n = ::write(Descriptor(m_handle), data + written, size - written);
        if (n > 0) {
            written += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0) {
            return Failure(errno);
        } else {
            return IoStatus{IoError::DeviceIo, "nothing was written"};
        }
    }
    return {};
}

IoStatus NativeFile::Truncate(long long size) {
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    int rc;
    do {
        rc = ::ftruncate(Descriptor(m_handle), static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return Failure(errno);
    if (::lseek(Descriptor(m_handle), static_cast<off_t>(size), SEEK_SET) < 0)
        return Failure(errno);
    return {};
}

IoStatus NativeFile::Sync() {
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    if (::fsync(Descriptor(m_handle)) != 0 && errno != EINVAL) return Failure(errno);
    return {};  // EINVAL: a pipe or device that has nothing to sync
}

void NativeFile::StartWriteBack(long long offset, long long length) noexcept {
#if defined(__linux__)
    // Errors do not matter here: Sync reports what did not reach the disk.
    if (IsOpen()) {
        ::sync_file_range(Descriptor(m_handle), static_cast<off_t>(offset),
                          static_cast<off_t>(length), SYNC_FILE_RANGE_WRITE);
    }
#else
    (void)offset;
    (void)length;
#endif
}

IoStatus NativeFile::Close() {
    if (!IsOpen()) return {};
    const int fd = Descriptor(std::exchange(m_handle, InvalidHandle));
    // After close() the descriptor is gone whatever it returns; EINTR is no failure.
    if (::close(fd) != 0 && errno != EINTR) return Failure(errno);
    return {};
}

IoStatus OpenForOutput(const std::string& path, NativeFile& file) {
    return OpenWith(path, O_CREAT | O_TRUNC | O_WRONLY, file);
}

IoStatus CreateNewFile(const std::string& path, NativeFile& file) {
    // With O_EXCL a symbolic link at path is EEXIST, never followed; O_NOFOLLOW says so twice.
    return OpenWith(path, O_CREAT | O_EXCL | O_NOFOLLOW | O_WRONLY, file);
}

IoStatus MoveIntoPlace(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0) return Failure(errno);
    return {};
}

IoStatus RemoveFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0) return Failure(errno);
    return {};
}

IoStatus ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return Failure(errno);
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) return Failure(error);
    return {};
}

bool Exists(const std::string& path) {
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0;
}

bool IsMissing(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

EntryKind KindOf(const std::string& path) {
    unsigned long long identity = 0;
    return KindOf(path, identity);
}

EntryKind KindOf(const std::string& path, unsigned long long& identity) {
    identity = 0;
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return EntryKind::Nothing;
    if (S_ISLNK(info.st_mode)) return EntryKind::Link;
    if (S_ISDIR(info.st_mode)) return EntryKind::Folder;
    if (!S_ISREG(info.st_mode)) return EntryKind::Other;
    identity = static_cast<unsigned long long>(info.st_ino);
    return EntryKind::File;
}

IoStatus CheckReplaceable(const std::string&) { return {}; }

IoStatus ReadSmallFile(const std::string& path, size_t limit, std::string& text) {
    text.clear();
    NativeFile file;
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer for ever.
    IoStatus status = OpenWith(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, file);
    if (!status.ok()) return status;
    const int fd = Descriptor(file.NativeHandle());
    struct stat info;
    if (::fstat(fd, &info) != 0) return Failure(errno);
    if (!S_ISREG(info.st_mode)) return IoStatus{IoError::PathAccess, "it is not a regular file"};
    if (info.st_size < 0 || static_cast<unsigned long long>(info.st_size) > limit) {
        return IoStatus{IoError::PathAccess, "it is larger than expected"};
    }
    // One byte more than allowed: a file that grew since fstat is still told apart.
    text.resize(limit + 1);
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Failure(errno);
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    text.resize(got);
    if (got > limit) return IoStatus{IoError::PathAccess, "it is larger than expected"};
    return {};
}

std::filesystem::path NativePath(const std::string& path) { return path; }

IoStatus SyncFolder(const std::string& folder) {
    NativeFile dir;
    const IoStatus status = OpenWith(folder, O_RDONLY | O_DIRECTORY, dir);
    if (!status.ok()) return status;
    return dir.Sync();
}

unsigned long CurrentProcessId() noexcept { return static_cast<unsigned long>(::getpid()); }

bool ProcessIsRunning(unsigned long id) noexcept {
    const pid_t pid = static_cast<pid_t>(id);
    if (pid <= 0 || static_cast<unsigned long>(pid) != id) return true;
    // EPERM: it runs, as another user.
    return ::kill(pid, 0) == 0 || errno != ESRCH;
}

void FileLock::Release() noexcept {
    // Closing the descriptor lets the lock go.
    if (m_file.IsOpen()) m_file.Close();
    m_identity = 0;
}

IoStatus TryLockFile(const std::string& path, FileLock& lock) {
    lock.Release();
    NativeFile file;
    // O_NONBLOCK: opening a FIFO for reading would wait for a writer for ever.
    IoStatus status = OpenWith(path, O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_RDWR, file);
    // In a folder shared by several users the lock file may be another's, read-only to us:
    // flock needs no more than a descriptor open for reading.
    if (!status.ok() && !OpenWith(path, O_NOFOLLOW | O_NONBLOCK | O_RDONLY, file).ok())
        return status;
    struct stat info;
    if (::fstat(Descriptor(file.NativeHandle()), &info) != 0) return Failure(errno);
    if (!S_ISREG(info.st_mode))
        return IoStatus{IoError::PathAccess, "it is not a regular file: remove it, then try again"};
    int rc;
    do {
        rc = ::flock(Descriptor(file.NativeHandle()), LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) return Failure(errno);
    lock = FileLock(std::move(file), static_cast<unsigned long long>(info.st_ino));
    return {};
}

IoStatus ExecutableFolder(std::string& folder) {
    // The link's target as bytes: a folder name that is not valid UTF-8 stays usable.
    std::string target(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
        if (n < 0) return Failure(errno);
        if (static_cast<size_t>(n) < target.size()) {
            target.resize(static_cast<size_t>(n));
            break;
        }
        target.resize(target.size() * 2);  // possibly cut: try again with more room
    }
    const size_t slash = target.rfind('/');
    if (target.empty() || target.front() != '/' || slash == std::string::npos) {
        return IoStatus{IoError::PathAccess,
                        "the executable's path is not absolute: '" + target + "'"};
    }
    // A program at the root lives in "/", never in "".
    folder = slash == 0 ? std::string("/") : target.substr(0, slash);
    return {};
}

}  // namespace mae::platform
