#include "extract/RunFiles.h"

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "common/RuntimeError.h"
#include "extract/OutputFiles.h"
#include "platform/RunSignals.h"

namespace mae {

namespace {

[[noreturn]] void ThrowCannotCreate(const std::string& path, const std::string& reason) {
    throw ErrorOf(err::PathAccess, "cannot create " + path + " (" + reason + ")");
}

// What stands at a file's own name must be a file (or nothing): the run never writes through a
// link, and a folder there can never be replaced.
void CheckFinalName(const std::string& path) {
    const platform::EntryKind kind = platform::KindOf(path);
    if (kind == platform::EntryKind::Link) {
        ThrowCannotCreate(path, "it is a symbolic link; the extract does not write through links");
    }
    if (kind == platform::EntryKind::Folder) {
        ThrowCannotCreate(path, std::generic_category().message(EISDIR));
    }
    if (kind == platform::EntryKind::Other) ThrowCannotCreate(path, "it is not a regular file");
}

// A previous file that another program holds open cannot be replaced at the end: found before
// the run makes its files, before it reads the first case.
void CheckFileNotHeld(const std::string& path) {
    const platform::IoStatus status = platform::CheckReplaceable(path);
    if (status.error != platform::IoError::Busy) return;
    throw ErrorOf(err::PermissionDenied, path + " is open in another program (" + status.reason +
                                             "). Close it, then run the extract again.");
}

}  // namespace

struct RunFiles::Pending {
    std::string name;
    std::string finalPath;
    std::string temporaryPath;
    std::string backupName;           // where the old file goes while the set is replaced
    unsigned long long identity = 0;  // of the new file
    TemporarySlot slot;
    FileSink sink;
};

RunFiles::RunFiles(std::string folder) : m_folder(std::move(folder)) {}

RunFiles::~RunFiles() {
    Discard();
    m_journal.Drop();
    m_signals.reset();
    m_lock.Release();
}

void RunFiles::Discard() noexcept {
    for (Pending& file : m_pending) {
        try {
            file.sink.Close();
        } catch (...) {
            // The file is removed next: what it holds no longer matters.
        }
        platform::RemoveFile(file.temporaryPath);
    }
    m_pending.clear();
    m_marks.clear();
}

bool RunFiles::Lock() {
    const std::string path = platform::JoinPath(m_folder, LockFileName);
    const platform::IoStatus status = platform::TryLockFile(path, m_lock);
    if (status.error == platform::IoError::Busy) return false;
    if (!status.ok()) ThrowCannotCreate(path, status.reason);
    m_names = TemporaryNames(platform::CurrentProcessId(), m_lock.Identity());
    m_signals = std::make_unique<platform::RunSignalGuard>();
    {
        // A replacement that a killed run left is finished before anything else is touched.
        const platform::PutInPlaceGuard guard;
        FinishJournal(m_folder, m_names, m_recoveryNote);
    }
    // Temporary files whose run is gone are removed; a run that still goes (its lock file
    // removed under it, so that this run could take a new one) keeps its own.
    std::vector<std::string> names;
    if (platform::ListFolder(m_folder, names).ok()) {
        for (const std::string& name : names) {
            TemporaryParts parts;
            if (TemporaryNames::Parse(name, parts) && m_names.RunIsGone(parts)) {
                platform::RemoveFile(platform::JoinPath(m_folder, name));
            }
        }
    }
    return true;
}

bool RunFiles::LockStillHeld() const {
    if (!m_lock.IsHeld()) return true;
    unsigned long long identity = 0;
    return platform::KindOf(platform::JoinPath(m_folder, LockFileName), identity) ==
               platform::EntryKind::File &&
           identity == m_lock.Identity();
}

std::string RunFiles::FinishInterrupted(const std::string& folder) {
    if (folder.empty() || platform::KindOf(JournalPath(folder)) == platform::EntryKind::Nothing) {
        return {};
    }
    RunFiles files(folder);
    files.Lock();  // false: another run holds the folder and finishes it
    return files.RecoveryNote();
}

void RunFiles::CheckNotHeld(std::initializer_list<const char*> names) const {
    for (const char* name : names) CheckFileNotHeld(platform::JoinPath(m_folder, name));
}

FileSink& RunFiles::Create(const std::string& name) {
    const std::string finalPath = platform::JoinPath(m_folder, name);
    CheckFinalName(finalPath);
    CheckFileNotHeld(finalPath);
    for (;;) {
        const std::string temporaryPath = platform::JoinPath(m_folder, m_names.Make(name));
        TemporarySlot slot(temporaryPath);
        platform::NativeFile file;
        const platform::IoStatus status = platform::CreateNewFile(temporaryPath, file);
        // A name left by an earlier process of the same number: take the next.
        if (status.error == platform::IoError::AlreadyExists) continue;
        if (!status.ok()) ThrowCannotCreate(finalPath, status.reason);
        Pending& pending = m_pending.emplace_back();
        pending.name = name;
        pending.finalPath = finalPath;
        pending.temporaryPath = temporaryPath;
        pending.slot = std::move(slot);
        platform::KindOf(temporaryPath, pending.identity);
        pending.backupName = m_names.Make(name);
        // Errors name the file by its own name: that is the one the user knows.
        pending.sink.Open(std::move(file), finalPath);
        if (m_pending.size() > 1) WriteJournal();
        return pending.sink;
    }
}

void RunFiles::SaveAlone(const std::string& name, std::string_view bytes) {
    if (!m_pending.empty()) throw std::logic_error("RunFiles::SaveAlone: the set has files");
    try {
        Create(name).Write(bytes);
        PutInPlace();
    } catch (...) {
        Discard();
        throw;
    }
}

Replacement RunFiles::PendingReplacement() const {
    Replacement replacement;
    replacement.process = m_names.Process();
    replacement.lock = m_names.Lock();
    for (const Pending& file : m_pending) {
        // The temporary name as made: the part after the folder and its separator.
        replacement.files.push_back({file.temporaryPath.substr(m_folder.size() + 1), file.name,
                                     file.backupName, file.identity});
    }
    return replacement;
}

// The journal of the files made so far, under its temporary name: written as each file is
// made, so that its room on the disk is taken before the records can fill it.
void RunFiles::WriteJournal() {
    const platform::IoStatus status = m_journal.Write(m_folder, m_names, PendingReplacement());
    if (!status.ok()) ThrowCannotCreate(JournalPath(m_folder), status.reason);
}

void RunFiles::MarkWhole(long consolidatedRecords, long abstractRecords) {
    Mark mark;
    mark.sizes.reserve(m_pending.size());
    for (const Pending& file : m_pending) mark.sizes.push_back(file.sink.Size());
    mark.consolidated = consolidatedRecords;
    mark.abstracts = abstractRecords;
    m_marks.push_back(std::move(mark));
    // The files are written out together, at a point where they hold the same cases, before
    // any of them must be written out alone: the disk then mostly holds such a point.
    bool full = false;
    for (const Pending& file : m_pending) {
        full = full || file.sink.Size() - file.sink.Committed() >=
                           static_cast<long long>(FileSink::BufferCapacity / 2);
    }
    if (full) {
        for (Pending& file : m_pending) file.sink.Flush();
    }
    // Only the last mark that is on the disk already, and the later ones, can be cut back to.
    const auto onDisk = [this](const Mark& m) {
        size_t i = 0;
        for (const Pending& file : m_pending) {
            if (i < m.sizes.size() && m.sizes[i] > file.sink.Committed()) return false;
            ++i;
        }
        return true;
    };
    while (m_marks.size() >= 2 && onDisk(m_marks[1])) m_marks.pop_front();
}

std::string RunFiles::CutBackToWhole() {
    bool failed = false;
    for (const Pending& file : m_pending) failed = failed || file.sink.Failed();
    if (!failed) return {};
    const Mark* whole = nullptr;
    for (auto it = m_marks.rbegin(); it != m_marks.rend() && !whole; ++it) {
        size_t i = 0;
        bool fits = true;
        for (const Pending& file : m_pending) {
            if (i < it->sizes.size() && it->sizes[i] > file.sink.Committed()) fits = false;
            ++i;
        }
        if (fits) whole = &*it;
    }
    // The mark is copied: clearing the marks below frees the one it points to.
    const Mark kept = whole ? *whole : Mark{};
    size_t i = 0;
    bool cut = true;
    for (Pending& file : m_pending) {
        try {
            file.sink.CutTo(i < kept.sizes.size() ? kept.sizes[i] : 0);
        } catch (...) {
            cut = false;
        }
        ++i;
    }
    m_marks.clear();
    if (!cut) return "The output files could not all be cut back to the same case.";
    return "The output files were cut back to the last case that all of them hold whole: " +
           std::to_string(kept.consolidated) + " consolidated and " +
           std::to_string(kept.abstracts) + " abstract records.";
}

// Puts the pending files, written out and closed, in their places: all of them or none.
// Throws error 75 naming the file that could not be replaced, the previous files kept.
void RunFiles::Replace() {
    const auto removeNew = [&] {
        for (const Pending& file : m_pending) platform::RemoveFile(file.temporaryPath);
        m_journal.Drop();
    };
    const auto refused = [](const std::string& path, const std::string& reason) {
        return ErrorOf(err::PathAccess,
                       "cannot replace " + path + " (" + reason +
                           "). None of the run's files was put in place; the previous ones are "
                           "kept as they were. Close any program that has the file open, then "
                           "run the extract again.");
    };
    if (!LockStillHeld()) {
        // Another run may have taken a new lock file and be writing the same files.
        removeNew();
        throw ErrorOf(err::PathAccess,
                      "cannot put the run's files in place: the folder's lock file " +
                          platform::JoinPath(m_folder, LockFileName) +
                          " was removed or replaced while the run went, so another run may have "
                          "written the same files. None of this run's files was put in place; "
                          "the files in the folder are kept as they are. Run the extract again.");
    }
    if (m_pending.size() == 1) {
        // One rename is one step by itself.
        const Pending& file = m_pending.front();
        const platform::IoStatus status =
            platform::MoveIntoPlace(file.temporaryPath, file.finalPath);
        if (!status.ok()) {
            removeNew();
            throw refused(file.finalPath, status.reason);
        }
        platform::SyncFolder(m_folder);
        return;
    }
    // The journal on the disk, at its own name, before the first name changes.
    const platform::IoStatus journaled = m_journal.PutAtItsName(m_folder);
    if (!journaled.ok()) {
        platform::RemoveFile(JournalPath(m_folder));
        removeNew();
        throw refused(JournalPath(m_folder), journaled.reason);
    }
    const ReplaceOutcome outcome = PutSetInPlace(m_folder, PendingReplacement());
    if (outcome.undoing.stopped()) {
        // The journal stays: the next start of the program finishes the replacement.
        throw ErrorOf(err::PathAccess,
                      "cannot replace " + outcome.completing.path + " (" +
                          outcome.completing.reason + "), and cannot put back " +
                          outcome.undoing.path + " (" + outcome.undoing.reason +
                          "). Close any program that has the files open, then start the "
                          "program again: it completes the replacement.");
    }
    if (outcome.completing.stopped()) {
        throw refused(outcome.completing.path, outcome.completing.reason);
    }
}

std::exception_ptr RunFiles::PutInPlaceAll(std::string& note, std::exception_ptr& refusal) {
    if (m_pending.empty()) return {};
    const platform::PutInPlaceGuard guard;
    std::exception_ptr failure;
    const auto attempt = [&](auto&& step) {
        try {
            step();
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
    };
    // Every file is written out first; should one fail, all are cut back to the same case.
    for (Pending& file : m_pending) attempt([&] { file.sink.Flush(); });
    note = CutBackToWhole();
    // Every file on the disk before the first name changes: a power cut then leaves the old
    // set or the new one.
    for (Pending& file : m_pending) {
        attempt([&] { file.sink.Sync(); });
        attempt([&] { file.sink.Close(); });
    }
    try {
        Replace();
    } catch (const RuntimeError& error) {
        refusal = std::current_exception();
        note += (note.empty() ? "" : " ") + error.description();
    } catch (...) {
        if (!failure) failure = std::current_exception();
    }
    m_pending.clear();
    m_marks.clear();
    return failure;
}

void RunFiles::PutInPlace() {
    std::string note;
    std::exception_ptr refusal;
    const std::exception_ptr failure = PutInPlaceAll(note, refusal);
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const RuntimeError& error) {
            if (note.empty()) throw;
            throw RuntimeError(error.number(), error.description() + " " + note);
        }
    }
    if (refusal) std::rethrow_exception(refusal);
}

std::string RunFiles::PutInPlaceAfterFailure() noexcept {
    // The run's own error is the one reported; what the user must know of the files besides
    // goes with it.
    try {
        std::string note;
        std::exception_ptr refusal;
        PutInPlaceAll(note, refusal);
        return note;
    } catch (...) {
        return {};
    }
}

bool RunFiles::IsTemporaryName(std::string_view name) {
    TemporaryParts parts;
    return TemporaryNames::Parse(name, parts);
}

}  // namespace mae
