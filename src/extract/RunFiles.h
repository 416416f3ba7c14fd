#pragma once

#include <list>
#include <memory>
#include <string>

#include "output/ByteSink.h"
#include "platform/FileSystem.h"

namespace mae {

namespace platform {
class RunSignalGuard;
}

// The files one run writes into its folder, and the folder's lock. Each file is written under a
// temporary name beside its own, made new and never through a link, and put in its place by a
// rename at an end the run describes (completion, the abort message, a run-time error). An end
// it does not describe (a kill, a crash, a power cut) leaves the folder's files as they were.
class RunFiles {
  public:
    explicit RunFiles(std::string folder);
    // Removes the temporary files not put in place, then lets the lock go.
    ~RunFiles();
    RunFiles(const RunFiles&) = delete;
    RunFiles& operator=(const RunFiles&) = delete;

    // Takes the folder's lock without waiting: false when another run holds it. With the lock,
    // removes the temporary files a killed run left, and a request to end the program removes
    // this run's (see platform/RunSignals.h). Error 75 when the lock file cannot be made.
    bool Lock();
    // A new file for folder/name, under its temporary name. Error 75, naming folder/name, when
    // that name is a symbolic link or a folder, or the temporary file cannot be made.
    FileSink& Create(const std::string& name);
    // Puts every file made since the last call in its place, in the order they were made.
    // Throws the first failure (writing out, or renaming) once each file has been tried.
    void PutInPlace();
    // The same at the end of a failed run, whose own error is the one to report: never throws.
    void PutInPlaceAfterFailure() noexcept;

    // Whether name is a temporary name this class gives one of the run's files.
    static bool IsTemporaryName(std::string_view name);

  private:
    struct Pending;
    std::string m_folder;
    platform::FileLock m_lock;
    std::unique_ptr<platform::RunSignalGuard> m_signals;
    std::list<Pending> m_pending;
};

}  // namespace mae
