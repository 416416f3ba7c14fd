#include "extract/RunFiles.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <fstream>
#include <sstream>
#include <system_error>

#include "common/RuntimeError.h"
#include "extract/OutputFiles.h"
#include "platform/RunSignals.h"

namespace mae {

namespace {

constexpr std::string_view TemporarySuffix = ".tmp";
// Beside the files while a run puts them in place: which new file goes where, and where the
// old one was moved aside. Hidden, as the temporary files are.
constexpr const char* JournalName = "AuditExtract.journal";
constexpr std::string_view JournalHeader = "Meridane Audit Extract replacement 1";
constexpr size_t LargestJournal = 1 << 16;

constexpr std::string_view OwnNames[] = {ConsolidatedFileName, AbstractFileName, LogFileName,
                                         SelectFileName, JournalName};

// The identity of the folder lock this process holds (0: none), carried by every temporary
// name it gives, so that another run can tell whether the file's run is gone.
std::atomic<unsigned long long> g_lockIdentity{0};

std::string Hex(unsigned long long value) {
    char text[17];
    std::snprintf(text, sizeof text, "%llx", value);
    return text;
}

// The temporary name of name: hidden, and unique to this process, its folder lock and this
// call: "." name "." pid "-" lock "-" n ".tmp".
std::string TemporaryName(std::string_view name) {
    static std::atomic<unsigned> counter{0};
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about a chain of + here.
    std::string temporary(".");
    temporary.append(name).append(".").append(std::to_string(platform::CurrentProcessId()));
    temporary.append("-").append(Hex(g_lockIdentity.load()));
    temporary.append("-").append(std::to_string(counter++)).append(TemporarySuffix);
    return temporary;
}

// What a temporary name says of the run that made it.
struct TemporaryParts {
    std::string_view own;  // the file it stands for
    bool carriesRun = false;
    unsigned long process = 0;
    unsigned long long lock = 0;
};

bool ParseTemporaryName(std::string_view name, TemporaryParts& parts) {
    if (!name.ends_with(TemporarySuffix) || !name.starts_with('.')) return false;
    for (std::string_view own : OwnNames) {
        // "." own "." ...
        if (!(name.substr(1).starts_with(own) && name.size() > own.size() + 1 &&
              name[own.size() + 1] == '.')) {
            continue;
        }
        parts = TemporaryParts{};
        parts.own = own;
        const std::string middle(
            name.substr(own.size() + 2, name.size() - own.size() - 2 - TemporarySuffix.size()));
        unsigned long process = 0;
        unsigned long long lock = 0;
        unsigned n = 0;
        int used = 0;
        if (std::sscanf(middle.c_str(), "%lu-%llx-%u%n", &process, &lock, &n, &used) == 3 &&
            used == static_cast<int>(middle.size()) &&
            middle.find_first_not_of("0123456789abcdef-") == std::string::npos) {
            parts.carriesRun = true;
            parts.process = process;
            parts.lock = lock;
        }
        return true;
    }
    return false;
}

// Whether the run that made a file of these parts is gone: it held the lock this process holds
// now (which it could not, were it still holding its own: an open lock file's identity is
// never given to another file), or its process is not running. A name without a run (an older
// edition's) counts as gone: such a run removed every temporary file it found.
bool RunIsGone(const TemporaryParts& parts) {
    if (!parts.carriesRun) return true;
    const unsigned long long held = g_lockIdentity.load();
    if (held != 0 && parts.lock == held) return true;
    return !platform::ProcessIsRunning(parts.process);
}

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
}

// The replacement of one set of files: names in one folder. Before the first old file is moved
// the journal is on the disk, and every new file is; so at any moment "the temporary name is
// gone" means "the new file is at its own name".
struct Replacement {
    struct File {
        std::string temporary, final, backup;
    };
    unsigned long process = 0;
    unsigned long long lock = 0;
    std::vector<File> files;
};

// A name of the journal is one of ours: a final name, or a temporary name standing for it.
bool OwnFinalName(std::string_view name) {
    for (std::string_view own : OwnNames) {
        if (name == own && own != JournalName) return true;
    }
    return false;
}

bool TemporaryFor(std::string_view name, std::string_view final) {
    TemporaryParts parts;
    return ParseTemporaryName(name, parts) && parts.carriesRun && parts.own == final;
}

std::string JournalText(const Replacement& replacement) {
    std::string text(JournalHeader);
    text += "\nrun " + std::to_string(replacement.process) + " " + Hex(replacement.lock) + "\n";
    for (const Replacement::File& file : replacement.files) {
        text += "file " + file.temporary + " " + file.final + " " + file.backup + "\n";
    }
    text += "end\n";
    return text;
}

// False for anything but a whole journal of our own names: nothing it says is renamed then.
bool ParseJournal(const std::string& text, Replacement& replacement) {
    std::istringstream lines(text);
    std::string line, word;
    if (!std::getline(lines, line) || line != JournalHeader) return false;
    if (!std::getline(lines, line)) return false;
    {
        std::istringstream run(line);
        std::string lockText;
        if (!(run >> word >> replacement.process >> lockText) || word != "run") return false;
        replacement.lock = std::strtoull(lockText.c_str(), nullptr, 16);
    }
    while (std::getline(lines, line)) {
        if (line == "end") return !replacement.files.empty();
        std::istringstream entry(line);
        Replacement::File file;
        if (!(entry >> word >> file.temporary >> file.final >> file.backup) || word != "file" ||
            !(entry >> std::ws).eof() || !OwnFinalName(file.final) ||
            !TemporaryFor(file.temporary, file.final) || !TemporaryFor(file.backup, file.final)) {
            return false;
        }
        replacement.files.push_back(std::move(file));
    }
    return false;
}

std::string ReadSmallFile(const std::string& path, bool& ok) {
    std::ifstream in(platform::NativePath(path), std::ios::binary);
    std::string text(LargestJournal + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    ok = !in.bad() && text.size() <= LargestJournal;
    return text;
}

std::string JournalPath(const std::string& folder) {
    return platform::JoinPath(folder, "." + std::string(JournalName));
}

// What stopped a replacement: the file (its own name) and the system's words.
struct Stop {
    std::string path;
    std::string reason;
    bool stopped() const { return !path.empty(); }
};

// Renames one of file's names in folder to another; a stop that names the file (its own name)
// when it cannot.
Stop Move(const std::string& folder, const Replacement::File& file, const std::string& from,
          const std::string& to) {
    const platform::IoStatus status =
        platform::MoveIntoPlace(platform::JoinPath(folder, from), platform::JoinPath(folder, to));
    return status.ok() ? Stop{} : Stop{platform::JoinPath(folder, file.final), status.reason};
}

// Moves every old file aside, then every new file in. The first move that fails stops it.
Stop Apply(const std::string& folder, const Replacement& replacement) {
    const auto path = [&](const std::string& name) { return platform::JoinPath(folder, name); };
    // Only files are moved aside: a folder or a link that came to stand at a file's name since
    // the run began stops the replacement before anything moves.
    for (const Replacement::File& file : replacement.files) {
        const platform::EntryKind kind = platform::KindOf(path(file.final));
        if (kind == platform::EntryKind::Folder) {
            return Stop{path(file.final), std::generic_category().message(EISDIR)};
        }
        if (kind == platform::EntryKind::Link) {
            return Stop{path(file.final), "it is a symbolic link"};
        }
    }
    for (const Replacement::File& file : replacement.files) {
        // A temporary name still there: the name holds the old file, or nothing.
        if (!platform::Exists(path(file.temporary)) || !platform::Exists(path(file.final)))
            continue;
        if (Stop stop = Move(folder, file, file.final, file.backup); stop.stopped()) return stop;
    }
    for (const Replacement::File& file : replacement.files) {
        if (!platform::Exists(path(file.temporary))) continue;
        if (Stop stop = Move(folder, file, file.temporary, file.final); stop.stopped()) return stop;
    }
    return {};
}

// Puts the old files back: each new file in place goes back to its temporary name first, so a
// kill meanwhile still leaves a journal that completes the replacement.
Stop Undo(const std::string& folder, const Replacement& replacement) {
    const auto path = [&](const std::string& name) { return platform::JoinPath(folder, name); };
    for (const Replacement::File& file : replacement.files) {
        if (!platform::Exists(path(file.temporary)) && platform::Exists(path(file.final))) {
            if (Stop stop = Move(folder, file, file.final, file.temporary); stop.stopped())
                return stop;
        }
        if (platform::Exists(path(file.backup))) {
            if (Stop stop = Move(folder, file, file.backup, file.final); stop.stopped())
                return stop;
        }
    }
    return {};
}

// After Apply or Undo: what is left of the other set goes, and the journal last.
void Finish(const std::string& folder, const Replacement& replacement) {
    const auto path = [&](const std::string& name) { return platform::JoinPath(folder, name); };
    platform::SyncFolder(folder);
    for (const Replacement::File& file : replacement.files) platform::RemoveFile(path(file.backup));
    platform::RemoveFile(JournalPath(folder));
    platform::SyncFolder(folder);
    for (const Replacement::File& file : replacement.files) {
        platform::RemoveFile(path(file.temporary));
    }
}

enum class Recovery { Nothing, Done, Busy };

// Completes, or when that cannot be done undoes, the replacement a journal in folder describes.
// Busy when the journal's run is still going; error 75 when neither can be done.
Recovery FinishJournal(const std::string& folder) {
    const std::string journal = JournalPath(folder);
    if (!platform::Exists(journal)) return Recovery::Nothing;
    bool read = false;
    const std::string text = ReadSmallFile(journal, read);
    Replacement replacement;
    if (!read || !ParseJournal(text, replacement)) {
        // Not one of ours, or not whole (it is put at its name only once whole): it names
        // nothing to be moved.
        platform::RemoveFile(journal);
        return Recovery::Done;
    }
    TemporaryParts run;
    run.carriesRun = true;
    run.process = replacement.process;
    run.lock = replacement.lock;
    if (!RunIsGone(run)) return Recovery::Busy;
    const Stop completing = Apply(folder, replacement);
    if (completing.stopped()) {
        const Stop undoing = Undo(folder, replacement);
        if (undoing.stopped()) {
            throw ErrorOf(err::PathAccess,
                          "an earlier run was ended while it put its files in place, and they "
                          "can be neither completed nor put back: cannot replace " +
                              undoing.path + " (" + undoing.reason +
                              "). Close any program that has the file open, then start the "
                              "program again.");
        }
    }
    Finish(folder, replacement);
    return Recovery::Done;
}

}  // namespace

struct RunFiles::Pending {
    std::string name;
    std::string finalPath;
    std::string temporaryPath;
    std::string backupName;  // where the old file goes while the set is replaced
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
    DropJournal();
    m_signals.reset();
    if (m_lock.IsHeld()) g_lockIdentity.store(0);
    m_lock.Release();
}

bool RunFiles::Lock() {
    const std::string path = JoinPath(m_folder, LockFileName);
    const platform::IoStatus status = platform::TryLockFile(path, m_lock);
    if (status.error == platform::IoError::Busy) return false;
    if (!status.ok()) ThrowCannotCreate(path, status.reason);
    g_lockIdentity.store(m_lock.Identity());
    m_signals = std::make_unique<platform::RunSignalGuard>();
    {
        // A replacement that a killed run left is finished before anything else is touched.
        const platform::PutInPlaceGuard guard;
        if (FinishJournal(m_folder) == Recovery::Busy) {
            m_signals.reset();
            g_lockIdentity.store(0);
            m_lock.Release();
            return false;
        }
    }
    // Temporary files whose run is gone are removed; a run that still goes (its lock file
    // removed under it, so that this run could take a new one) keeps its own.
    std::vector<std::string> names;
    if (platform::ListFolder(m_folder, names).ok()) {
        for (const std::string& name : names) {
            TemporaryParts parts;
            if (ParseTemporaryName(name, parts) && RunIsGone(parts)) {
                platform::RemoveFile(JoinPath(m_folder, name));
            }
        }
    }
    return true;
}

void RunFiles::FinishInterrupted(const std::string& folder) {
    if (folder.empty() || !platform::Exists(JournalPath(folder))) return;
    RunFiles files(folder);
    files.Lock();  // false: another run holds the folder and finishes it
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
            continue;  // a name left by an earlier process of the same number: take the next
        }
        if (!status.ok()) {
            platform::ForgetTemporary(slot);
            ThrowCannotCreate(finalPath, status.reason);
        }
        Pending& pending = m_pending.emplace_back();
        pending.name = name;
        pending.finalPath = finalPath;
        pending.temporaryPath = temporaryPath;
        pending.signalSlot = slot;
        pending.backupName = TemporaryName(name);
        // Errors name the file by its own name: that is the one the user knows.
        pending.sink.Open(std::move(file), finalPath);
        if (m_pending.size() > 1) WriteJournal();
        return pending.sink;
    }
}

// The journal of the files made so far, under its temporary name: written as each file is
// made, so that its room on the disk is taken before the records can fill it.
void RunFiles::WriteJournal() {
    const std::string path = JournalPath(m_folder);
    platform::IoStatus status;
    if (!m_journal.IsOpen()) {
        m_journalTemporary = JoinPath(m_folder, TemporaryName(JournalName));
        m_journalSlot = platform::RememberTemporary(m_journalTemporary);
        status = platform::CreateNewFile(m_journalTemporary, m_journal);
        if (!status.ok()) {
            platform::ForgetTemporary(m_journalSlot);
            m_journalSlot = -1;
            m_journalTemporary.clear();
            ThrowCannotCreate(path, status.reason);
        }
    }
    Replacement replacement;
    replacement.process = platform::CurrentProcessId();
    replacement.lock = g_lockIdentity.load();
    for (const Pending& file : m_pending) {
        // The temporary name as made: the part after the folder and its separator.
        replacement.files.push_back(
            {file.temporaryPath.substr(m_folder.size() + 1), file.name, file.backupName});
    }
    const std::string text = JournalText(replacement);
    size_t written = 0;
    status = m_journal.Truncate(0);
    if (status.ok()) status = m_journal.WriteAll(text.data(), text.size(), written);
    if (!status.ok()) ThrowCannotCreate(path, status.reason);
}

void RunFiles::DropJournal() noexcept {
    if (m_journalTemporary.empty()) return;
    m_journal.Close();
    platform::RemoveFile(m_journalTemporary);
    platform::ForgetTemporary(m_journalSlot);
    m_journalSlot = -1;
    m_journalTemporary.clear();
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
        DropJournal();
    };
    const auto refused = [](const std::string& path, const std::string& reason) {
        return ErrorOf(err::PathAccess,
                       "cannot replace " + path + " (" + reason +
                           "). None of the run's files was put in place; the previous ones are "
                           "kept as they were. Close any program that has the file open, then "
                           "run the extract again.");
    };
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
    Replacement replacement;
    replacement.process = platform::CurrentProcessId();
    replacement.lock = g_lockIdentity.load();
    for (const Pending& file : m_pending) {
        replacement.files.push_back(
            {file.temporaryPath.substr(m_folder.size() + 1), file.name, file.backupName});
    }
    // The journal on the disk, at its own name, before the first name changes.
    platform::IoStatus journaled = m_journal.Sync();
    const platform::IoStatus closed = m_journal.Close();
    if (journaled.ok()) journaled = closed;
    if (journaled.ok())
        journaled = platform::MoveIntoPlace(m_journalTemporary, JournalPath(m_folder));
    if (journaled.ok()) journaled = platform::SyncFolder(m_folder);
    if (!journaled.ok()) {
        platform::RemoveFile(JournalPath(m_folder));
        removeNew();
        throw refused(JournalPath(m_folder), journaled.reason);
    }
    platform::ForgetTemporary(m_journalSlot);
    m_journalSlot = -1;
    m_journalTemporary.clear();
    const Stop stop = Apply(m_folder, replacement);
    if (stop.stopped()) {
        const Stop undoing = Undo(m_folder, replacement);
        if (undoing.stopped()) {
            // The journal stays: the next start of the program finishes the replacement.
            throw ErrorOf(err::PathAccess,
                          "cannot replace " + stop.path + " (" + stop.reason +
                              "), and cannot put back " + undoing.path + " (" + undoing.reason +
                              "). Close any program that has the files open, then start the "
                              "program again: it completes the replacement.");
        }
        Finish(m_folder, replacement);
        throw refused(stop.path, stop.reason);
    }
    Finish(m_folder, replacement);
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
    for (const Pending& file : m_pending) platform::ForgetTemporary(file.signalSlot);
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
    return ParseTemporaryName(name, parts);
}

}  // namespace mae
