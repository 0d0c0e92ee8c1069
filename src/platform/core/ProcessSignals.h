#pragma once

// The signals that end a program, seen from inside it. Qt-free; main thread, except where
// a function says it runs in a signal handler.

#include <string>
#include <vector>

namespace spinlorex {

// SIGTERM (what a session manager sends at logout), SIGINT (Ctrl-C) and SIGHUP (the
// terminal went away), caught so that the program can end in order instead of at once.
// Each caught signal writes its number (one byte) to a pipe whose reading end is
// readFd(): an event loop watches it, or a loop polls stopRequested(). Repeats are caught
// the same way. One instance at a time; the destructor puts the default actions back.
class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // Non-blocking; -1 when the pipe could not be made (the signals then only set the flag).
    int readFd() const;
    // Takes one signal number from the pipe; 0 when none waits.
    int takeSignal();
    // Any thread: a stop signal came since the instance was made.
    static bool stopRequested();
};

// Runs `argv` (a program and its arguments) and waits for it when the program dies of a
// fatal signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT), then lets the signal end the
// program as it would have. For what must not be left behind by a crash, such as the
// system volumes at full level. Installed once; the command is prepared here, so the
// handler only forks, executes and waits.
void runOnCrash(const std::vector<std::string>& argv);

}  // namespace spinlorex
