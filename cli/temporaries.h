// The temporary files that writes in progress have made, and their removal when a signal
// (Ctrl+C, kill, a closed terminal) ends the process: a fixed table of paths that the signal
// handler reads and unlinks, and nothing else.
#pragma once

#include <csignal>
#include <cstddef>
#include <string>

namespace cli {

// Installs the handler of SIGHUP, SIGINT, SIGQUIT and SIGTERM (each unless it is ignored, as
// under nohup): it removes the temporaries held at that moment and then ends the process by
// the same signal, so that the exit status is the usual one.
void RemoveTemporariesOnSignals();

// A change to the set of temporaries (creating one and holding it, or renaming or removing
// one and letting it go) that a signal must not cut in two: while it lasts this thread does
// not take the signals, and a handler running on another thread waits for it to end.
class TemporaryChange {
  public:
    TemporaryChange();
    ~TemporaryChange();
    TemporaryChange(const TemporaryChange&) = delete;
    TemporaryChange& operator=(const TemporaryChange&) = delete;
    // False once a signal is ending the process: then nothing new may be made.
    bool Allowed() const { return allowed_; }

  private:
    bool allowed_;
    sigset_t previous_;
};

// One place in the table, for one write's temporary.
class TemporarySlot {
  public:
    TemporarySlot(); // waits while every place is taken
    ~TemporarySlot();
    TemporarySlot(const TemporarySlot&) = delete;
    TemporarySlot& operator=(const TemporarySlot&) = delete;

    // Within a change: the file at `path` (at most kMaxTemporaryPath bytes) is this
    // process's to remove on a signal, or no longer is.
    void Hold(const std::string& path);
    void LetGo();

  private:
    int index_;
};

inline constexpr std::size_t kMaxTemporaryPath = 4095;

} // namespace cli
