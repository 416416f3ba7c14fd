#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "extract/TemporaryNames.h"
#include "platform/FileSystem.h"

namespace mae {

// The replacement of one run's set of files: names in one folder. Before the first old file is
// moved aside the journal is on the disk at its own name, and so is every new file, under its
// temporary name; each new file is known by its identity on the volume, so a file that came to
// stand at one of the names since is never taken for it.
struct Replacement {
    struct File {
        std::string temporary, final, backup;
        unsigned long long identity = 0;  // of the new file; 0 in a journal that has none
    };
    unsigned long process = 0;
    unsigned long long lock = 0;  // the identity of the folder lock its run held
    std::vector<File> files;
};

std::string JournalText(const Replacement& replacement);
// False for anything but a whole journal of the program's own names.
bool ParseJournal(std::string_view text, Replacement& replacement);
// folder + the journal's hidden name.
std::string JournalPath(const std::string& folder);

// What stopped a replacement: the file (its own name) and the system's words.
struct Stop {
    std::string path;
    std::string reason;
    bool stopped() const { return !path.empty(); }
};

// How putting a set in place ended: completing it stopped (then the previous set was put back,
// unless undoing stopped too, which leaves the journal for the next start).
struct ReplaceOutcome {
    Stop completing;
    Stop undoing;
};

// Puts every new file of the set at its own name, the old ones moved aside first; when one of
// them cannot be (a new file no longer there, something but a regular file at a name, a rename
// refused), puts the previous set back whole. What is left of the other set goes afterwards,
// the journal last; an old file goes only once every name holds its new file. Only regular
// files are moved, never a link, a folder or a FIFO.
ReplaceOutcome PutSetInPlace(const std::string& folder, const Replacement& replacement);

// A journal being written beside a run's files, under a temporary name until the files go in
// place. Removed when it goes unless put at its name.
class JournalFile {
  public:
    JournalFile() = default;
    ~JournalFile() { Drop(); }
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;

    // Writes replacement as the journal, made on the first call (names gives its temporary
    // name): its room on the disk is taken before the records can fill it.
    platform::IoStatus Write(const std::string& folder, const TemporaryNames& names,
                             const Replacement& replacement);
    // Puts the journal at its own name, on the disk.
    platform::IoStatus PutAtItsName(const std::string& folder);
    // Removes the journal's temporary file, when there is one.
    void Drop() noexcept;

  private:
    platform::NativeFile m_file;
    std::string m_temporary;
    TemporarySlot m_slot;
};

enum class Recovery { Nothing, Completed, PutBack };

// Completes the replacement that a journal in folder describes, left by a run that was ended
// while it put its files in place, or when that cannot be done puts the previous files back.
// held: the names of the run that holds the folder's lock now. A journal of another lock whose
// process still runs is given a moment to go (that run can be putting its files in place only
// if its lock was taken from it just now; it checks its lock before it moves anything). note
// says what was done when the new set could not be put in place. Error 75 when neither can be
// done (the journal stays).
Recovery FinishJournal(const std::string& folder, const TemporaryNames& held, std::string& note);

}  // namespace mae
