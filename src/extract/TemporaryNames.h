#pragma once

#include <string>
#include <string_view>

namespace mae {

// What a temporary name says of the run that made it.
struct TemporaryParts {
    std::string_view own;  // the file it stands for
    bool carriesRun = false;
    unsigned long process = 0;
    unsigned long long lock = 0;
};

// The temporary names of one run's files: "." name "." process "-" lock "-" n ".tmp", hidden, and
// unique to the process, the folder lock its run holds (the lock file's identity, 0 for none)
// and the call, so that another run can tell whether a file's run is gone.
class TemporaryNames {
  public:
    TemporaryNames() = default;
    TemporaryNames(unsigned long process, unsigned long long lock) noexcept
        : m_process(process), m_lock(lock) {}

    unsigned long Process() const noexcept { return m_process; }
    unsigned long long Lock() const noexcept { return m_lock; }
    // A new temporary name for own, one of the program's file names.
    std::string Make(std::string_view own) const;
    // Whether the run that made a file of these parts is gone: it held the lock this run holds
    // (which it could not, were it still holding its own: an open lock file's identity is never
    // given to another file), or its process is not running. A name without a run (an older
    // edition's) counts as gone: such a run removed every temporary file it found.
    bool RunIsGone(const TemporaryParts& parts) const;

    // Whether name is a temporary name of one of the program's files, and what it says.
    static bool Parse(std::string_view name, TemporaryParts& parts);
    // Whether name is a temporary name, carrying its run, that stands for own.
    static bool StandsFor(std::string_view name, std::string_view own);
    // Whether name is one of the names the program's run writes its files at (the journal's
    // own name is not one).
    static bool IsOwnFinalName(std::string_view name);

  private:
    unsigned long m_process = 0;
    unsigned long long m_lock = 0;
};

// A temporary file's place among those removed should the program be ended (RunSignals.h):
// taken before the file is made, given back when the file is put in place or removed.
class TemporarySlot {
  public:
    TemporarySlot() = default;
    explicit TemporarySlot(const std::string& path);
    ~TemporarySlot() { Release(); }
    TemporarySlot(TemporarySlot&& other) noexcept : m_slot(other.m_slot) { other.m_slot = -1; }
    TemporarySlot& operator=(TemporarySlot&& other) noexcept;
    TemporarySlot(const TemporarySlot&) = delete;
    TemporarySlot& operator=(const TemporarySlot&) = delete;

    void Release() noexcept;

  private:
    int m_slot = -1;
};

}  // namespace mae
