#pragma once

#include "host/platform/child_processes.h"

namespace kovrkit {

inline constexpr unsigned kTerminateGraceSeconds = 5;

// ChildProcesses on the default GLib main context: a child watch for the exit, a descriptor
// watch for the events pipe. Needs a running GLib main loop on the thread that starts.
class GLibChildProcesses final : public ChildProcesses {
public:
    std::unique_ptr<ChildProcess> start(
        const std::vector<std::string>& arguments, int eventsFd, ChildCallbacks callbacks) override;
};

} // namespace kovrkit
