#pragma once

#include <string>

namespace mae::platform {

// While a run holds its folder, a request to end the program (SIGTERM, SIGINT, SIGHUP on POSIX)
// removes the run's temporary files and ends the program with status 128 + the signal, so the
// folder keeps the previous run's files. Outside a run such a request ends the program as the
// system does by default. One guard at a time; the previous handlers come back when it ends.
class RunSignalGuard {
  public:
    RunSignalGuard();
    ~RunSignalGuard();
    RunSignalGuard(const RunSignalGuard&) = delete;
    RunSignalGuard& operator=(const RunSignalGuard&) = delete;
};

// Marks a temporary file to be removed should the program be ended; the slot for
// ForgetTemporary. Call it before the file is created. When an end is already under way the
// calling thread waits for it (the file is never made). Throws std::length_error when the path
// is too long or every slot is taken.
int RememberTemporary(const std::string& path);
// The file was put in place or removed: nothing left to clean up.
void ForgetTemporary(int slot) noexcept;

// Puts a run's files in place as one step: a request to end the program that arrives meanwhile
// waits until the guard ends, then ends the program. One that arrived just before makes the
// constructor wait for the end (nothing is put in place).
class PutInPlaceGuard {
  public:
    PutInPlaceGuard();
    ~PutInPlaceGuard();
    PutInPlaceGuard(const PutInPlaceGuard&) = delete;
    PutInPlaceGuard& operator=(const PutInPlaceGuard&) = delete;
};

}  // namespace mae::platform
