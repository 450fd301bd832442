// The commands run per event (--on-failure, --on-change): started directly with their words
// as the argument vector (a shell only when the command names one), the event's details in
// environment variables beside the inherited ones. They run while the job goes on; the
// program waits for all of them before it ends.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace kovrkit::fleet {

using HookEnvironment = std::vector<std::pair<std::string, std::string>>;

class FleetHooks {
public:
    FleetHooks() = default;
    ~FleetHooks();
    FleetHooks(const FleetHooks&) = delete;
    FleetHooks& operator=(const FleetHooks&) = delete;

    // Starts the command; false (with a line on standard error) when it could not be started.
    bool run(const std::vector<std::string>& command, const HookEnvironment& details);
    // Runs the main loop until every started command has ended.
    void waitForAll();

    int running() const { return running_; }

private:
    int running_ = 0;
};

} // namespace kovrkit::fleet
