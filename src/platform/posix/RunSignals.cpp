#include "platform/RunSignals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <stdexcept>

namespace mae::platform {

namespace {

constexpr int Signals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr int SignalCount = sizeof Signals / sizeof Signals[0];

// The handler may run on any thread at any moment: it reads only these, and unlinks. A slot's
// path is written while its state is Filling and read only while it is Live.
enum SlotState : int { Free, Filling, Live };
struct Slot {
    std::atomic<int> state{Free};
    char path[PATH_MAX];
};
constexpr int SlotCount = 16;
Slot g_slots[SlotCount];

std::atomic<int> g_signal{0};  // the signal that asked the program to end
std::atomic<bool> g_puttingInPlace{false};
enum Decision : int { Undecided, Deferred, Cleaning };
std::atomic<int> g_decision{Undecided};  // what the handler chose for g_signal

struct sigaction g_previous[SignalCount];

[[noreturn]] void WaitForTheEnd() {
    // Another thread's handler is removing the files and will end the program.
    for (;;) pause();
}

void OnSignal(int signal) {
    int expected = 0;
    g_signal.compare_exchange_strong(expected, signal);
    if (g_puttingInPlace.load()) {
        // The files are being put in place: the guard ends the program once they all are.
        int undecided = Undecided;
        g_decision.compare_exchange_strong(undecided, Deferred);
        if (g_decision.load() == Deferred) return;
    } else {
        int undecided = Undecided;
        g_decision.compare_exchange_strong(undecided, Cleaning);
        if (g_decision.load() == Deferred) return;
    }
    for (Slot& slot : g_slots) {
        if (slot.state.load() == Live) ::unlink(slot.path);
    }
    ::_exit(128 + g_signal.load());
}

}  // namespace

RunSignalGuard::RunSignalGuard() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : Signals) sigaddset(&action.sa_mask, s);
    for (int i = 0; i < SignalCount; ++i) ::sigaction(Signals[i], &action, &g_previous[i]);
}

RunSignalGuard::~RunSignalGuard() {
    for (int i = 0; i < SignalCount; ++i) ::sigaction(Signals[i], &g_previous[i], nullptr);
}

int RememberTemporary(const std::string& path) {
    if (path.size() >= PATH_MAX) throw std::length_error("path too long: " + path);
    for (int i = 0; i < SlotCount; ++i) {
        int free = Free;
        if (!g_slots[i].state.compare_exchange_strong(free, Filling)) continue;
        if (g_signal.load() != 0) WaitForTheEnd();
        std::memcpy(g_slots[i].path, path.c_str(), path.size() + 1);
        g_slots[i].state.store(Live);
        // A handler that began before the store above may have passed this slot already.
        if (g_signal.load() != 0) WaitForTheEnd();
        return i;
    }
    throw std::length_error("too many temporary files at once");
}

void ForgetTemporary(int slot) noexcept {
    if (slot >= 0 && slot < SlotCount) g_slots[slot].state.store(Free);
}

PutInPlaceGuard::PutInPlaceGuard() {
    g_puttingInPlace.store(true);
    if (g_signal.load() == 0) return;
    // A handler has started: wait for its choice. Removing the files means the end is near.
    while (g_decision.load() == Undecided) {
    }
    if (g_decision.load() == Cleaning) WaitForTheEnd();
}

PutInPlaceGuard::~PutInPlaceGuard() {
    g_puttingInPlace.store(false);
    if (g_signal.load() == 0) return;
    // A handler that saw the files being put in place may not have recorded its choice yet.
    while (g_decision.load() == Undecided) {
    }
    if (g_decision.load() == Cleaning) WaitForTheEnd();
    ::_exit(128 + g_signal.load());
}

}  // namespace mae::platform
