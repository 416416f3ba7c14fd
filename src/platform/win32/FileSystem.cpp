// File services on Windows: the wide-character file API, MoveFileExW, LockFileEx and
// GetModuleFileNameW. Paths arrive as UTF-8 and are turned into UTF-16 for every call.
#include "platform/FileSystem.h"

#include <windows.h>

#include <algorithm>

#include "platform/win32/WinText.h"

namespace mae::platform {

namespace {

HANDLE AsHandle(NativeFile::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

using win32::Utf8;

// The path as UTF-16; false when it is not valid UTF-8 or holds a NUL.
bool Wide(const std::string& path, std::wstring& out) {
    out.clear();
    if (path.find('\0') != std::string::npos) return false;
    return win32::Widen(path, CP_UTF8, MB_ERR_INVALID_CHARS, out);
}

IoStatus BadName() { return IoStatus{IoError::PathAccess, "the path is not valid UTF-8"}; }

std::string SystemText(DWORD error) {
    std::string out = win32::SystemMessage(error);
    if (out.empty()) out = "system error " + std::to_string(error);
    return out;
}

// ERROR_DISK_QUOTA_EXCEEDED, which the compiler's headers do not all name.
constexpr DWORD DiskQuotaExceeded = 1295;

IoStatus Failure(DWORD error) {
    IoError kind = IoError::PathAccess;
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
        case ERROR_FILE_TOO_LARGE:
        case DiskQuotaExceeded:
            kind = IoError::DiskFull;
            break;
        case ERROR_WRITE_FAULT:
        case ERROR_READ_FAULT:
        case ERROR_GEN_FAILURE:
        case ERROR_CRC:
        case ERROR_NOT_READY:
        case ERROR_BROKEN_PIPE:
        case ERROR_NO_DATA:
        case ERROR_DEV_NOT_EXIST:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
            kind = IoError::DeviceIo;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            kind = IoError::AlreadyExists;
            break;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            kind = IoError::NotFound;
            break;
        case ERROR_LOCK_VIOLATION:
        case ERROR_SHARING_VIOLATION:
            kind = IoError::Busy;
            break;
        default:
            break;
    }
    return IoStatus{kind, SystemText(error)};
}

IoStatus LastFailure() { return Failure(GetLastError()); }

IoStatus Open(const std::string& path, DWORD access, DWORD disposition, DWORD flags,
              NativeFile& file) {
    std::wstring wide;
    if (!Wide(path, wide)) return BadName();
    // Others may read, and rename or remove the name, while it is open; no second writer.
    const HANDLE handle = CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                      nullptr, disposition, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure();
    file = NativeFile(reinterpret_cast<NativeFile::Handle>(handle));
    return {};
}

}  // namespace

const char PathSeparator = '\\';

void NativeFile::CloseQuietly(Handle handle) noexcept { CloseHandle(AsHandle(handle)); }

IoStatus NativeFile::WriteAll(const char* data, size_t size, size_t& written) {
    written = 0;
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    constexpr size_t MaxChunk = size_t{1} << 30;  // WriteFile counts in 32 bits
    while (written < size) {
        const DWORD chunk = static_cast<DWORD>(std::min(size - written, MaxChunk));
        DWORD n = 0;
        if (!WriteFile(AsHandle(m_handle), data + written, chunk, &n, nullptr))
            return LastFailure();
        if (n == 0) return IoStatus{IoError::DeviceIo, "nothing was written"};
        written += n;
    }
    return {};
}

IoStatus NativeFile::Truncate(long long size) {
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    LARGE_INTEGER position;
    position.QuadPart = size;
    if (!SetFilePointerEx(AsHandle(m_handle), position, nullptr, FILE_BEGIN)) return LastFailure();
    if (!SetEndOfFile(AsHandle(m_handle))) return LastFailure();
    return {};
}

void NativeFile::StartWriteBack(long long, long long) noexcept {
    // Windows has no call to start a range's write-back alone: Sync flushes the whole file.
}

IoStatus NativeFile::Sync() {
    if (!IsOpen()) return IoStatus{IoError::PathAccess, "the file is not open"};
    if (!FlushFileBuffers(AsHandle(m_handle))) {
        const DWORD error = GetLastError();
        if (error != ERROR_INVALID_HANDLE && error != ERROR_INVALID_FUNCTION) return Failure(error);
    }
    return {};  // a pipe or device that has nothing to flush
}

IoStatus NativeFile::Close() {
    if (!IsOpen()) return {};
    const HANDLE handle = AsHandle(std::exchange(m_handle, InvalidHandle));
    if (!CloseHandle(handle)) return LastFailure();
    return {};
}

IoStatus OpenForOutput(const std::string& path, NativeFile& file) {
    return Open(path, GENERIC_WRITE, CREATE_ALWAYS, 0, file);
}

IoStatus CreateNewFile(const std::string& path, NativeFile& file) {
    // CREATE_NEW fails on any existing name, a symbolic link or junction included.
    return Open(path, GENERIC_WRITE, CREATE_NEW, FILE_FLAG_OPEN_REPARSE_POINT, file);
}

IoStatus MoveIntoPlace(const std::string& from, const std::string& to) {
    std::wstring wideFrom, wideTo;
    if (!Wide(from, wideFrom) || !Wide(to, wideTo)) return BadName();
    if (!MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return LastFailure();
    }
    return {};
}

IoStatus RemoveFile(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return BadName();
    if (!DeleteFileW(wide.c_str())) return LastFailure();
    return {};
}

IoStatus ListFolder(const std::string& folder, std::vector<std::string>& names) {
    names.clear();
    std::wstring pattern;
    if (!Wide(JoinPath(folder, "*"), pattern)) return BadName();
    WIN32_FIND_DATAW entry;
    const HANDLE find = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &entry,
                                         FindExSearchNameMatch, nullptr, 0);
    if (find == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // A folder with no entries at all (a drive root can be one) is no failure.
        return error == ERROR_FILE_NOT_FOUND ? IoStatus{} : Failure(error);
    }
    do {
        const std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(Utf8(name));
    } while (FindNextFileW(find, &entry));
    const DWORD error = GetLastError();
    FindClose(find);
    if (error != ERROR_NO_MORE_FILES) return Failure(error);
    return {};
}

bool Exists(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsMissing(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return false;
    if (GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

EntryKind KindOf(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return EntryKind::Nothing;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return EntryKind::Nothing;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? EntryKind::Folder : EntryKind::File;
}

EntryKind KindOf(const std::string& path, unsigned long long& identity) {
    identity = 0;
    const EntryKind kind = KindOf(path);
    if (kind != EntryKind::File) return kind;
    std::wstring wide;
    if (!Wide(path, wide)) return EntryKind::Nothing;
    // No access asked: the identity can be read while another program holds the file open.
    const HANDLE handle =
        CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return EntryKind::Nothing;
    BY_HANDLE_FILE_INFORMATION info;
    const bool read = GetFileInformationByHandle(handle, &info) != 0;
    CloseHandle(handle);
    if (!read) return EntryKind::Nothing;
    identity = (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return EntryKind::File;
}

IoStatus CheckReplaceable(const std::string& path) {
    std::wstring wide;
    if (!Wide(path, wide)) return {};
    // Asks for what a rename over the file needs, sharing everything: only an opener that did
    // not share deletion refuses.
    const HANDLE handle =
        CreateFileW(wide.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
        return {};
    }
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return IoStatus{IoError::Busy, SystemText(error)};
    }
    return {};
}

IoStatus ReadSmallFile(const std::string& path, size_t limit, std::string& text) {
    text.clear();
    std::wstring wide;
    if (!Wide(path, wide)) return BadName();
    const HANDLE handle = CreateFileW(
        wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure();
    const NativeFile file(reinterpret_cast<NativeFile::Handle>(handle));
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return IoStatus{IoError::PathAccess, "it is not a regular file"};
    }
    if (info.nFileSizeHigh != 0 || info.nFileSizeLow > limit) {
        return IoStatus{IoError::PathAccess, "it is larger than expected"};
    }
    // One byte more than allowed: a file that grew since it was looked at is still told apart.
    text.resize(limit + 1);
    size_t got = 0;
    while (got < text.size()) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<size_t>(text.size() - got, 1u << 20));
        if (!ReadFile(handle, text.data() + got, want, &n, nullptr)) return LastFailure();
        if (n == 0) break;
        got += n;
    }
    text.resize(got);
    if (got > limit) return IoStatus{IoError::PathAccess, "it is larger than expected"};
    return {};
}

std::filesystem::path NativePath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

IoStatus SyncFolder(const std::string&) {
    // Every rename is made with MOVEFILE_WRITE_THROUGH; a folder cannot be flushed without
    // administrator rights.
    return {};
}

unsigned long CurrentProcessId() noexcept { return GetCurrentProcessId(); }

bool ProcessIsRunning(unsigned long id) noexcept {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process) return GetLastError() != ERROR_INVALID_PARAMETER;  // no process of that id
    DWORD code = 0;
    const bool running = !GetExitCodeProcess(process, &code) || code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

void FileLock::Release() noexcept {
    m_identity = 0;
    if (!m_file.IsOpen()) return;
    OVERLAPPED whole{};
    UnlockFileEx(AsHandle(m_file.NativeHandle()), 0, MAXDWORD, MAXDWORD, &whole);
    m_file.Close();
}

IoStatus TryLockFile(const std::string& path, FileLock& lock) {
    lock.Release();
    NativeFile file;
    std::wstring wide;
    if (!Wide(path, wide)) return BadName();
    // Every other opener of the lock file is welcome; the byte-range lock is what excludes.
    const HANDLE handle =
        CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastFailure();
    file = NativeFile(reinterpret_cast<NativeFile::Handle>(handle));
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))) {
        return IoStatus{IoError::PathAccess, "it is not a regular file: remove it, then try again"};
    }
    OVERLAPPED whole{};
    if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD,
                    MAXDWORD, &whole)) {
        return LastFailure();
    }
    const unsigned long long identity =
        (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    lock = FileLock(std::move(file), identity);
    return {};
}

IoStatus ExecutableFolder(std::string& folder) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return LastFailure();
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);  // cut: try again with more room
    }
    const size_t separator = path.find_last_of(L"\\/");
    if (separator == std::wstring::npos || separator == 0) {
        return IoStatus{IoError::PathAccess,
                        "the executable's path has no folder: '" + Utf8(path) + "'"};
    }
    folder = Utf8(std::wstring_view(path).substr(0, separator));
    return {};
}

}  // namespace mae::platform
