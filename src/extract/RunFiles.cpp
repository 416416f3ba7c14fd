#include "extract/RunFiles.h"

#include <atomic>
#include <cerrno>
#include <exception>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/RuntimeError.h"
#include "extract/OutputFiles.h"
#include "platform/RunSignals.h"

namespace mae {

namespace {

constexpr std::string_view TemporarySuffix = ".tmp";

// The temporary name of name: hidden, and unique to this process (a random number drawn once)
// and this call.
std::string TemporaryName(const std::string& name) {
    static const unsigned long long process = [] {
        std::random_device source;
        return (static_cast<unsigned long long>(source()) << 32) ^ source();
    }();
    static std::atomic<unsigned> counter{0};
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about a chain of + here.
    std::string temporary(".");
    temporary.append(name).append(".").append(std::to_string(process));
    temporary.append("-").append(std::to_string(counter++)).append(TemporarySuffix);
    return temporary;
}

std::filesystem::path NativePath(const std::string& path) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(path.begin(), path.end()));  // UTF-8 there
#else
    return std::filesystem::path(path);  // bytes, as the system has them
#endif
}

[[noreturn]] void ThrowCannotCreate(const std::string& path, const std::string& reason) {
    throw ErrorOf(err::PathAccess, "cannot create " + path + " (" + reason + ")");
}

// What stands at a file's own name must be a file (or nothing): the run never writes through a
// link, and a folder there can never be replaced.
void CheckFinalName(const std::string& path) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(NativePath(path), ec);
    if (std::filesystem::is_symlink(status)) {
        ThrowCannotCreate(path, "it is a symbolic link; the extract does not write through links");
    }
    if (std::filesystem::is_directory(status)) {
        ThrowCannotCreate(path, std::generic_category().message(EISDIR));
    }
}

}  // namespace

struct RunFiles::Pending {
    std::string finalPath;
    std::string temporaryPath;
    int signalSlot = -1;
    FileSink sink;
};

RunFiles::RunFiles(std::string folder) : m_folder(std::move(folder)) {}

RunFiles::~RunFiles() {
    for (Pending& file : m_pending) {
        try {
            file.sink.Close();
        } catch (...) {
            // The file is removed next: what it holds no longer matters.
        }
        platform::RemoveFile(file.temporaryPath);
        platform::ForgetTemporary(file.signalSlot);
    }
    m_signals.reset();
    m_lock.Release();
}

bool RunFiles::Lock() {
    const std::string path = JoinPath(m_folder, LockFileName);
    const platform::IoStatus status = platform::TryLockFile(path, m_lock);
    if (status.error == platform::IoError::Busy) return false;
    if (!status.ok()) ThrowCannotCreate(path, status.reason);
    m_signals = std::make_unique<platform::RunSignalGuard>();
    // Only a run holding the lock writes temporary files here: any found now were left by a run
    // that was killed.
    std::vector<std::string> names;
    if (platform::ListFolder(m_folder, names).ok()) {
        for (const std::string& name : names) {
            if (IsTemporaryName(name)) platform::RemoveFile(JoinPath(m_folder, name));
        }
    }
    return true;
}

FileSink& RunFiles::Create(const std::string& name) {
    const std::string finalPath = JoinPath(m_folder, name);
    CheckFinalName(finalPath);
    for (;;) {
        const std::string temporaryPath = JoinPath(m_folder, TemporaryName(name));
        const int slot = platform::RememberTemporary(temporaryPath);
        platform::NativeFile file;
        const platform::IoStatus status = platform::CreateNewFile(temporaryPath, file);
        if (status.error == platform::IoError::AlreadyExists) {
            platform::ForgetTemporary(slot);
            continue;  // a name left by another process of the same number: take the next
        }
        if (!status.ok()) {
            platform::ForgetTemporary(slot);
            ThrowCannotCreate(finalPath, status.reason);
        }
        Pending& pending = m_pending.emplace_back();
        pending.finalPath = finalPath;
        pending.temporaryPath = temporaryPath;
        pending.signalSlot = slot;
        // Errors name the file by its own name: that is the one the user knows.
        pending.sink.Open(std::move(file), finalPath);
        return pending.sink;
    }
}

void RunFiles::PutInPlace() {
    if (m_pending.empty()) return;
    const platform::PutInPlaceGuard guard;
    std::exception_ptr failure;
    while (!m_pending.empty()) {
        Pending& file = m_pending.front();
        // On the disk before its name is: a power cut then leaves the old file or the new one.
        // A file that fails here still ends in a whole line and goes in place all the same.
        for (auto step : {&FileSink::Sync, &FileSink::Close}) {
            try {
                (file.sink.*step)();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        }
        const platform::IoStatus status =
            platform::MoveIntoPlace(file.temporaryPath, file.finalPath);
        if (!status.ok()) {
            platform::RemoveFile(file.temporaryPath);
            if (!failure) {
                failure = std::make_exception_ptr(
                    ErrorOf(err::PathAccess,
                            "cannot replace " + file.finalPath + " (" + status.reason + ")"));
            }
        }
        platform::ForgetTemporary(file.signalSlot);
        m_pending.pop_front();
    }
    if (failure) std::rethrow_exception(failure);
}

void RunFiles::PutInPlaceAfterFailure() noexcept {
    try {
        PutInPlace();
    } catch (...) {
        // The run's own error is the one reported; what could be put in place is.
    }
}

bool RunFiles::IsTemporaryName(std::string_view name) {
    if (!name.ends_with(TemporarySuffix) || !name.starts_with('.')) return false;
    for (std::string_view own :
         {ConsolidatedFileName, AbstractFileName, LogFileName, SelectFileName}) {
        // "." own "." ...
        if (name.substr(1).starts_with(own) && name.size() > own.size() + 1 &&
            name[own.size() + 1] == '.') {
            return true;
        }
    }
    return false;
}

}  // namespace mae
