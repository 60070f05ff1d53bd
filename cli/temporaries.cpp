#include "cli/temporaries.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace cli {
namespace {

constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM};
constexpr int kSlots = 64; // more writes at a time wait for a place

// What the handler reads: a path is whole before its flag says it is held.
char gPaths[kSlots][kMaxTemporaryPath + 1];
std::atomic<bool> gHeld[kSlots];
std::atomic<int> gChanges{0};     // changes under way on any thread
std::atomic<bool> gEnding{false}; // a signal is ending the process

// Which places are taken: for the writers only, never the handler.
std::mutex gLock;
std::condition_variable gFreed;
bool gTaken[kSlots];

sigset_t HandledSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int number : kSignals) {
        sigaddset(&set, number);
    }
    return set;
}

// Only async-signal-safe calls here. SA_RESETHAND has restored the signal's default action,
// and the signal stays blocked while the handler runs, so the raise at the end takes effect
// as it returns: the process ends as that signal ends it.
void OnSignal(int number) {
    if (gEnding.exchange(true)) {
        // Another thread's handler is removing the temporaries and will end the process.
        for (;;) {
            pause();
        }
    }
    // A change on another thread is a few system calls: wait for it (a second at most, for a
    // file system that hangs).
    for (int waited = 0; gChanges.load() > 0 && waited < 1000; ++waited) {
        const timespec step = {0, 1000000};
        nanosleep(&step, nullptr);
    }
    for (int i = 0; i < kSlots; ++i) {
        if (gHeld[i].load()) {
            unlink(gPaths[i]);
        }
    }
    raise(number);
}

} // namespace

void RemoveTemporariesOnSignals() {
    for (const int number : kSignals) {
        struct sigaction previous;
        if (sigaction(number, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) {
            continue; // an ignored signal stays ignored
        }
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = OnSignal;
        action.sa_mask = HandledSignals();
        action.sa_flags = SA_RESETHAND;
        sigaction(number, &action, nullptr);
    }
}

TemporaryChange::TemporaryChange() {
    const sigset_t handled = HandledSignals();
    pthread_sigmask(SIG_BLOCK, &handled, &previous_);
    // With the handler's store of gEnding and load of gChanges, one of the two sees the
    // other: either the handler waits for this change, or this change sees the end.
    gChanges.fetch_add(1);
    allowed_ = !gEnding.load();
}

TemporaryChange::~TemporaryChange() {
    gChanges.fetch_sub(1);
    pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

TemporarySlot::TemporarySlot() : index_(-1) {
    std::unique_lock<std::mutex> hold(gLock);
    for (;;) {
        for (int i = 0; i < kSlots; ++i) {
            if (!gTaken[i]) {
                gTaken[i] = true;
                index_ = i;
                return;
            }
        }
        gFreed.wait(hold);
    }
}

TemporarySlot::~TemporarySlot() {
    gHeld[index_].store(false);
    {
        const std::lock_guard<std::mutex> hold(gLock);
        gTaken[index_] = false;
    }
    gFreed.notify_one();
}

void TemporarySlot::Hold(const std::string& path) {
    const std::size_t length = std::min(path.size(), kMaxTemporaryPath);
    std::memcpy(gPaths[index_], path.data(), length);
    gPaths[index_][length] = '\0';
    gHeld[index_].store(true);
}

void TemporarySlot::LetGo() {
    gHeld[index_].store(false);
}

} // namespace cli
