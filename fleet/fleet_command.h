// The verbs of kovru-fleet. backup and status run one job over the devices of the sites tree
// (fleet_command.cpp); each verb has its own file with its help text.
#pragma once

#include "fleet/fleet_options.h"
#include "host/jobs/job_request.h"

#include <filesystem>
#include <string>
#include <vector>

namespace kovrkit::fleet {

struct FleetEnvironment {
    std::string programDirectory; // the host's folder: its state folders and cli/kovru-cli
};

int runBackupCommand(const FleetOptions& options, const FleetEnvironment& environment);
int runStatusCommand(const FleetOptions& options, const FleetEnvironment& environment);
// The words after "discover": ranges and the verb's own options (not the others' parser).
int runDiscoverVerb(const std::vector<std::string>& arguments, const FleetEnvironment& environment);

// The host's "settings.json", found as the host finds it from its program folder.
std::filesystem::path hostSettingsPath(const FleetEnvironment& environment);

const char* generalHelp();
const char* backupHelp();
const char* statusHelp();
const char* discoverHelp();

// Runs the action over the selected devices: prints a line per device and the summary,
// writes the report, runs the hooks. 0 when every device succeeded, 1 when any failed (or the
// report could not be written), 2 when the tree or the library cannot be used.
int runDevicesCommand(
    const FleetOptions& options, const FleetEnvironment& environment, JobAction action);

} // namespace kovrkit::fleet
