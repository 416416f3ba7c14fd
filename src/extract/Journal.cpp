#include "extract/Journal.h"

#include <cerrno>
#include <chrono>
#include <sstream>
#include <system_error>
#include <thread>

#include "common/RuntimeError.h"
#include "extract/OutputFiles.h"

namespace mae {

namespace {

constexpr std::string_view JournalHeader = "Meridane Audit Extract replacement 2";
// Written by the editions before the new files' identities were kept: read all the same, so
// that a replacement such an edition left is still completed.
constexpr std::string_view JournalHeaderWithoutIdentities = "Meridane Audit Extract replacement 1";
constexpr size_t LargestJournal = 1 << 16;
// How long a journal whose run may still be going is given to go.
constexpr auto ForeignJournalWait = std::chrono::seconds(1);

std::string Hex(unsigned long long value) {
    std::ostringstream text;
    text << std::hex << value;
    return text.str();
}

bool ReadHex(const std::string& text, unsigned long long& value) {
    if (text.empty() || text.size() > 16 ||
        text.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return false;
    }
    value = std::stoull(text, nullptr, 16);
    return true;
}

bool ParseFileLine(const std::string& line, bool withIdentity, Replacement::File& file) {
    std::istringstream entry(line);
    std::string word, identity;
    if (!(entry >> word >> file.temporary >> file.final >> file.backup) || word != "file") {
        return false;
    }
    if (withIdentity && !((entry >> identity) && ReadHex(identity, file.identity))) return false;
    // Only the program's own names: a final name it writes, and temporary names for it.
    return (entry >> std::ws).eof() && TemporaryNames::IsOwnFinalName(file.final) &&
           TemporaryNames::StandsFor(file.temporary, file.final) &&
           TemporaryNames::StandsFor(file.backup, file.final);
}

std::string PathIn(const std::string& folder, const std::string& name) {
    return platform::JoinPath(folder, name);
}

std::string NotARegularFile(platform::EntryKind kind) {
    if (kind == platform::EntryKind::Folder) return std::generic_category().message(EISDIR);
    if (kind == platform::EntryKind::Link) return "it is a symbolic link";
    return "it is not a regular file";
}

// Whether path holds the file's new copy: a regular file of its identity (any regular file for
// a journal that has none).
bool HoldsNew(const std::string& path, const Replacement::File& file) {
    unsigned long long identity = 0;
    return platform::KindOf(path, identity) == platform::EntryKind::File &&
           (file.identity == 0 || identity == file.identity);
}

bool NewAtTemporary(const std::string& folder, const Replacement::File& file) {
    return HoldsNew(PathIn(folder, file.temporary), file);
}

bool NewInPlace(const std::string& folder, const Replacement::File& file) {
    if (file.identity != 0) return HoldsNew(PathIn(folder, file.final), file);
    // Without identities: the temporary name gone means the new file is at its own name.
    return !platform::Exists(PathIn(folder, file.temporary)) &&
           platform::KindOf(PathIn(folder, file.final)) == platform::EntryKind::File;
}

// Renames one of file's names in folder to another; a stop that names the file (its own name)
// when it cannot.
Stop Move(const std::string& folder, const Replacement::File& file, const std::string& from,
          const std::string& to) {
    const platform::IoStatus status =
        platform::MoveIntoPlace(PathIn(folder, from), PathIn(folder, to));
    return status.ok() ? Stop{} : Stop{PathIn(folder, file.final), status.reason};
}

Stop Lost(const std::string& folder, const Replacement::File& file) {
    return Stop{PathIn(folder, file.final), "the run's new file is no longer there"};
}

// Moves every old file aside, then every new file in; nothing moves unless every new file is
// there and every name holds a regular file or nothing. The first move that fails stops it.
Stop Complete(const std::string& folder, const Replacement& replacement) {
    for (const Replacement::File& file : replacement.files) {
        if (NewInPlace(folder, file)) continue;
        if (!NewAtTemporary(folder, file)) return Lost(folder, file);
        const platform::EntryKind kind = platform::KindOf(PathIn(folder, file.final));
        if (kind != platform::EntryKind::Nothing && kind != platform::EntryKind::File) {
            return Stop{PathIn(folder, file.final), NotARegularFile(kind)};
        }
    }
    for (const Replacement::File& file : replacement.files) {
        if (!NewAtTemporary(folder, file) ||
            platform::KindOf(PathIn(folder, file.final)) != platform::EntryKind::File ||
            platform::Exists(PathIn(folder, file.backup))) {
            continue;
        }
        if (Stop stop = Move(folder, file, file.final, file.backup); stop.stopped()) return stop;
    }
    for (const Replacement::File& file : replacement.files) {
        if (!NewAtTemporary(folder, file)) continue;
        if (Stop stop = Move(folder, file, file.temporary, file.final); stop.stopped()) return stop;
    }
    for (const Replacement::File& file : replacement.files) {
        if (!NewInPlace(folder, file)) return Lost(folder, file);
    }
    return {};
}

// Puts the old files back: each new file in place goes back to its temporary name first.
Stop Undo(const std::string& folder, const Replacement& replacement) {
    for (const Replacement::File& file : replacement.files) {
        const bool backedUp =
            platform::KindOf(PathIn(folder, file.backup)) == platform::EntryKind::File;
        // Without identities a file at the name is taken for the new one only when the old one
        // is at its backup name: otherwise it may be the old file itself.
        if (NewInPlace(folder, file) && (file.identity != 0 || backedUp)) {
            if (Stop stop = Move(folder, file, file.final, file.temporary); stop.stopped())
                return stop;
        }
        if (backedUp) {
            if (Stop stop = Move(folder, file, file.backup, file.final); stop.stopped())
                return stop;
        }
    }
    return {};
}

// After Complete (the old files go) or Undo (the new ones go), the journal in between.
void Finish(const std::string& folder, const Replacement& replacement, bool completed) {
    platform::SyncFolder(folder);
    if (completed) {
        for (const Replacement::File& file : replacement.files) {
            platform::RemoveFile(PathIn(folder, file.backup));
        }
    }
    platform::RemoveFile(JournalPath(folder));
    platform::SyncFolder(folder);
    for (const Replacement::File& file : replacement.files) {
        platform::RemoveFile(PathIn(folder, file.temporary));
    }
}

// The journal in folder, read and understood; false when there is none or it is not one of
// ours.
bool ReadJournal(const std::string& folder, Replacement& replacement, bool& present) {
    const std::string journal = JournalPath(folder);
    present = platform::KindOf(journal) != platform::EntryKind::Nothing;
    if (!present) return false;
    std::string text;
    replacement = Replacement{};
    return platform::ReadSmallFile(journal, LargestJournal, text).ok() &&
           ParseJournal(text, replacement);
}

}  // namespace

std::string JournalText(const Replacement& replacement) {
    std::string text(JournalHeader);
    text += "\nrun " + std::to_string(replacement.process) + " " + Hex(replacement.lock) + "\n";
    for (const Replacement::File& file : replacement.files) {
        text += "file " + file.temporary + " " + file.final + " " + file.backup + " " +
                Hex(file.identity) + "\n";
    }
    text += "end\n";
    return text;
}

bool ParseJournal(std::string_view text, Replacement& replacement) {
    std::istringstream lines{std::string(text)};
    std::string line, word, lockText;
    if (!std::getline(lines, line)) return false;
    const bool withIdentity = line == JournalHeader;
    if (!withIdentity && line != JournalHeaderWithoutIdentities) return false;
    if (!std::getline(lines, line)) return false;
    std::istringstream run(line);
    if (!(run >> word >> replacement.process >> lockText) || word != "run" ||
        !ReadHex(lockText, replacement.lock) || !(run >> std::ws).eof()) {
        return false;
    }
    while (std::getline(lines, line)) {
        if (line == "end") return !replacement.files.empty() && lines.peek() == EOF;
        Replacement::File file;
        if (!ParseFileLine(line, withIdentity, file)) return false;
        replacement.files.push_back(std::move(file));
    }
    return false;
}

std::string JournalPath(const std::string& folder) {
    return platform::JoinPath(folder, "." + std::string(JournalName));
}

ReplaceOutcome PutSetInPlace(const std::string& folder, const Replacement& replacement) {
    ReplaceOutcome outcome;
    outcome.completing = Complete(folder, replacement);
    if (outcome.completing.stopped()) {
        outcome.undoing = Undo(folder, replacement);
        // The journal stays: the next start tries again.
        if (outcome.undoing.stopped()) return outcome;
    }
    Finish(folder, replacement, !outcome.completing.stopped());
    return outcome;
}

platform::IoStatus JournalFile::Write(const std::string& folder, const TemporaryNames& names,
                                      const Replacement& replacement) {
    platform::IoStatus status;
    if (!m_file.IsOpen()) {
        m_temporary = platform::JoinPath(folder, names.Make(JournalName));
        m_slot = TemporarySlot(m_temporary);
        status = platform::CreateNewFile(m_temporary, m_file);
        if (!status.ok()) {
            m_slot.Release();
            m_temporary.clear();
            return status;
        }
    }
    const std::string text = JournalText(replacement);
    size_t written = 0;
    status = m_file.Truncate(0);
    if (status.ok()) status = m_file.WriteAll(text.data(), text.size(), written);
    return status;
}

platform::IoStatus JournalFile::PutAtItsName(const std::string& folder) {
    platform::IoStatus status = m_file.Sync();
    const platform::IoStatus closed = m_file.Close();
    if (status.ok()) status = closed;
    if (status.ok()) status = platform::MoveIntoPlace(m_temporary, JournalPath(folder));
    if (status.ok()) status = platform::SyncFolder(folder);
    if (status.ok()) {
        m_slot.Release();
        m_temporary.clear();
    }
    return status;
}

void JournalFile::Drop() noexcept {
    if (m_temporary.empty()) return;
    m_file.Close();
    platform::RemoveFile(m_temporary);
    m_slot.Release();
    m_temporary.clear();
}

Recovery FinishJournal(const std::string& folder, const TemporaryNames& held, std::string& note) {
    Replacement replacement;
    bool present = false;
    bool ours = ReadJournal(folder, replacement, present);
    if (ours && replacement.lock != held.Lock() &&
        platform::ProcessIsRunning(replacement.process)) {
        // A run whose lock file was removed and made anew under it: it checks its lock before
        // it moves anything, so it is in the middle of putting its files in place only when
        // its lock went just now. Otherwise its process number is another process's now.
        const auto until = std::chrono::steady_clock::now() + ForeignJournalWait;
        while (platform::Exists(JournalPath(folder)) && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ours = ReadJournal(folder, replacement, present);
    }
    if (!present) return Recovery::Nothing;
    if (!ours) {
        // Not one of ours, not whole (it is put at its name only once whole) or not a regular
        // file: it names nothing to be moved.
        platform::RemoveFile(JournalPath(folder));
        return Recovery::Nothing;
    }
    const ReplaceOutcome outcome = PutSetInPlace(folder, replacement);
    if (outcome.undoing.stopped()) {
        throw ErrorOf(err::PathAccess,
                      "an earlier run was ended while it put its files in place, and they can be "
                      "neither completed nor put back: cannot replace " +
                          outcome.undoing.path + " (" + outcome.undoing.reason +
                          "). Close any program that has the file open, then start the program "
                          "again.");
    }
    if (!outcome.completing.stopped()) return Recovery::Completed;
    note =
        "An earlier run was ended while it put its files in place, and its new files could not "
        "all be put in place (" +
        outcome.completing.path + ": " + outcome.completing.reason +
        "). The previous files were put back as they were.";
    std::string none;
    for (const Replacement::File& file : replacement.files) {
        const std::string path = PathIn(folder, file.final);
        if (platform::KindOf(path) == platform::EntryKind::Nothing) {
            none += (none.empty() ? "" : ", ") + path;
        }
    }
    if (!none.empty()) note += " No previous file was left to put back for " + none + ".";
    return Recovery::PutBack;
}

}  // namespace mae
