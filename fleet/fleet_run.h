// One job of the job engine over a fleet's addresses, run to its end on the GLib main loop.
#pragma once

#include "host/backups/backup_library.h"
#include "host/jobs/job_request.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit::fleet {

struct DeviceOutcome {
    bool success = false;
    std::string cause;
    std::string reason;
    double seconds = 0;
    std::optional<bool> changed; // backups into the library only
    std::string archive; // the library's archive holding the items
    std::string record;
};

struct FleetRunSettings {
    JobAction action = JobAction::backup;
    int parallel = kDefaultJobConcurrency;
    std::string toolPath;
    std::string out; // backup: the folder given with --out; "" for the library
    BackupLibrary* library = nullptr; // backup into the library
};

using OutcomeListener = std::function<void(const std::string& address, const DeviceOutcome&)>;

// Each address once. Returns when every device has ended; SIGINT or SIGTERM cancel the job
// (running tools get SIGTERM). onResult runs as each device ends.
std::map<std::string, DeviceOutcome> runFleetJob(const std::vector<std::string>& addresses,
    const FleetRunSettings& settings, const OutcomeListener& onResult);

} // namespace kovrkit::fleet
