#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

// What a started program reports back, always on the UI thread's main loop.
struct ChildCallbacks {
    // Bytes the program wrote to its events descriptor, in order, in pieces of any size.
    std::function<void(std::string_view bytes)> onEvents;
    // Once, after the last bytes: the exit status (128 + signal number for a signal).
    std::function<void(int exitStatus)> onEnded;
};

// A program started by ChildProcesses. Destroying the handle of a program that still runs
// kills it and waits for it; no callback runs afterwards.
class ChildProcess {
public:
    virtual ~ChildProcess() = default;
    // Asks the program to end (SIGTERM); if it still runs after the grace time, it is killed.
    virtual void terminate() = 0;
    virtual int processId() const = 0;
};

// Starts programs without blocking: `arguments[0]` is the program's path, no shell and no
// quoting are involved. The program gets the write end of a pipe as descriptor `eventsFd`
// (3 or above; the caller names that number in the arguments) and its standard output goes
// nowhere; or, with `eventsFd` 1, the pipe is its standard output (for a program that reports
// only there). Nothing when the program could not be started.
class ChildProcesses {
public:
    virtual ~ChildProcesses() = default;
    virtual std::unique_ptr<ChildProcess> start(
        const std::vector<std::string>& arguments, int eventsFd, ChildCallbacks callbacks)
        = 0;
};

} // namespace kovrkit
