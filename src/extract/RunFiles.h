#pragma once

#include <deque>
#include <exception>
#include <initializer_list>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "extract/Journal.h"
#include "extract/TemporaryNames.h"
#include "output/ByteSink.h"
#include "platform/FileSystem.h"

namespace mae {

namespace platform {
class RunSignalGuard;
}

// The files one run writes into its folder, and the folder's lock. Each file is written under a
// temporary name beside its own, made new and never through a link, and the run's files are put
// in their places together at an end the run describes (completion, the abort message, a
// run-time error): every one of them or, when one cannot be, none. An end it does not describe
// (a kill, a crash, a power cut) before that leaves the folder's files as they were; one while
// the files are put in place leaves a journal, and the next start or run completes (or undoes)
// the replacement from it before anything else.
class RunFiles {
  public:
    explicit RunFiles(std::string folder);
    // Removes the temporary files not put in place, then lets the lock go.
    ~RunFiles();
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // Takes the folder's lock without waiting: false when another run holds it or is putting
    // its files in place. With the lock, finishes a replacement a killed run left, removes the
    // temporary files of runs that are gone, and a request to end the program removes this
    // run's (see platform/RunSignals.h). Error 75 when the lock file cannot be made or is not a
    // regular file, or when a replacement left behind can be neither completed nor undone.
    bool Lock();
    // What the user must know of a replacement an earlier run left, when Lock could not
    // complete it and put the previous files back instead; "" when there was none.
    const std::string& RecoveryNote() const noexcept { return m_recoveryNote; }
    // A new file for folder/name, under its temporary name. Error 75, naming folder/name, when
    // that name is a symbolic link or a folder, or the temporary file cannot be made.
    FileSink& Create(const std::string& name);
    // Error 70 naming the first of folder/names that another program holds open so that it
    // cannot be replaced (Windows); called before the set's first file is made, so that such a
    // run ends before anything changes.
    void CheckNotHeld(std::initializer_list<const char*> names) const;
    // Writes bytes to folder/name now, apart from the set (which must have no file yet), the
    // file replaced in one step. When writing fails the previous file stays.
    void SaveAlone(const std::string& name, std::string_view bytes);
    // Notes that the files made so far, as written now, hold the same cases: should writing fail
    // later, every file is cut back to the last such point that all of them hold on the disk.
    // The two numbers are what the files then hold: consolidated and abstract records.
    void MarkWhole(long consolidatedRecords, long abstractRecords);
    // Puts every file made since the last call in its place, all of them or none. Throws the
    // first failure: writing out (the files then go in place cut back to the last point marked
    // whole, and the error says so) or replacing a file (then none is, the previous files stay,
    // and the error names the file and the reason).
    void PutInPlace();
    // The same at the end of a failed run, whose own error is the one to report: never throws.
    // What the user must know besides (the files were cut back, or kept) as a sentence, or "".
    std::string PutInPlaceAfterFailure() noexcept;

    // Run at start-up, before anything else touches the folder: completes (or undoes) a
    // replacement that a killed run left in folder. Nothing to do, or another run holding the
    // folder, is no failure. Error 75 when it can be neither completed nor undone. What the
    // user must know when it was undone (RecoveryNote), or "".
    static std::string FinishInterrupted(const std::string& folder);

    // Whether name is a temporary name this class gives one of the run's files.
    static bool IsTemporaryName(std::string_view name);

  private:
    struct Pending;
    struct Mark {
        std::vector<long long> sizes;  // of each pending file, in the order made
        long consolidated = 0;
        long abstracts = 0;
    };
    // Cuts every file back to the last mark all of them hold; the sentence that says so.
    std::string CutBackToWhole();
    void WriteJournal();
    Replacement PendingReplacement() const;
    // Whether the lock file at its name is still the one this run locked (true without a lock).
    bool LockStillHeld() const;
    void Replace();
    // Closes and removes the files made since the last PutInPlace.
    void Discard() noexcept;
    // PutInPlace's work: the first failure writing out, and the refusal to replace a file (the
    // previous set kept); note says what became of the files.
    std::exception_ptr PutInPlaceAll(std::string& note, std::exception_ptr& refusal);

    std::string m_folder;
    platform::FileLock m_lock;
    TemporaryNames m_names;  // carry the lock's identity once it is held
    std::unique_ptr<platform::RunSignalGuard> m_signals;
    std::list<Pending> m_pending;
    std::deque<Mark> m_marks;
    JournalFile m_journal;
    std::string m_recoveryNote;
};

}  // namespace mae
