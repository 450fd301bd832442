// What a run tells: a line per device as it ends, the summary, the devices whose last good
// backup is too old, and the report file (one record per device).
#pragma once

#include "fleet/fleet_devices.h"
#include "fleet/fleet_run.h"

#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit::fleet {

struct FleetEntry {
    FleetDevice device;
    DeviceOutcome outcome;
    std::optional<std::string> lastGood; // time of the last good backup, with --max-age
    bool stale = false;
};

struct FleetSummary {
    std::string action;
    std::string started; // UTC
    double seconds = 0;
    std::string destination; // the library's folder or --out; "" for status
    bool library = false; // backups into the library: "changed" is known
    std::optional<double> maxAgeHours;
    int total = 0;
    int succeeded = 0;
    int failed = 0;
    int changed = 0;
    int stale = 0;
};

FleetSummary summarize(std::vector<FleetEntry>& entries, FleetSummary summary);

// "ok      North Campus/Gate 1 (10.0.0.1) 2.1 s, changed" or
// "failed  North Campus/Gate 2 (10.0.0.2) 0.4 s: unreachable: REASON"
std::string deviceLine(const FleetEntry& entry);
// "16 devices: 14 succeeded, 2 failed, 3 changed (37.2 s)"
std::string summaryLine(const FleetSummary& summary);
// "stale   PATH (ADDRESS): last good backup TIME" or "... : no good backup"
std::string staleLine(const FleetEntry& entry);

// Marks the entries whose last good backup in the library is older than the hours before
// now (or that have none).
void markStale(
    std::vector<FleetEntry>& entries, const BackupLibrary& library, double hours, std::time_t now);

// The report: members in name order, 2 spaces per level.
std::string reportText(const std::vector<FleetEntry>& entries, const FleetSummary& summary);

} // namespace kovrkit::fleet
