#include "fleet/fleet_command.h"

#include "fleet/fleet_devices.h"
#include "fleet/fleet_hooks.h"
#include "fleet/fleet_report.h"
#include "fleet/fleet_run.h"
#include "host/actions/tool_command.h"
#include "host/app/posix/state_folders_posix.h"
#include "host/app/state_folders.h"
#include "host/backups/library_location.h"
#include "host/platform/file_access.h"
#include "host/platform/utc_clock.h"
#include "host/sites/sites_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace kovrkit::fleet {

namespace {

namespace fs = std::filesystem;

inline constexpr const char* kNoAddressReason = "The device has no address";

int refuse(const std::string& text)
{
    std::fprintf(stderr, "kovru-fleet: %s\n", text.c_str());
    return 2;
}

fs::path settingsPathFor(const FleetOptions& options, const FleetEnvironment& environment)
{
    if (!options.sites.empty())
        return options.sites;
    return hostSettingsPath(environment);
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

HookEnvironment hookDetails(const char* event, const std::string& action, const FleetEntry& entry,
    const std::string& report)
{
    const DeviceOutcome& outcome = entry.outcome;
    return {
        { "KOVRU_FLEET_EVENT", event },
        { "KOVRU_FLEET_ACTION", action },
        { "KOVRU_FLEET_NAME", entry.device.name },
        { "KOVRU_FLEET_FOLDER", entry.device.folder },
        { "KOVRU_FLEET_ADDRESS", entry.device.address },
        { "KOVRU_FLEET_RESULT", outcome.success ? "succeeded" : "failed" },
        { "KOVRU_FLEET_CAUSE", outcome.cause },
        { "KOVRU_FLEET_REASON", outcome.reason },
        { "KOVRU_FLEET_SECONDS", secondsText(outcome.seconds) },
        { "KOVRU_FLEET_ARCHIVE", outcome.archive },
        { "KOVRU_FLEET_RECORD", outcome.record },
        { "KOVRU_FLEET_REPORT", report },
    };
}

// Prints the device's line and runs its hooks.
void announce(const FleetEntry& entry, const FleetOptions& options, FleetHooks& hooks)
{
    std::printf("%s\n", deviceLine(entry).c_str());
    std::fflush(stdout);
    if (!entry.outcome.success)
        hooks.run(
            options.onFailure, hookDetails("failure", options.verbName, entry, options.report));
    else if (entry.outcome.changed.value_or(false))
        hooks.run(options.onChange, hookDetails("change", options.verbName, entry, options.report));
}

} // namespace

fs::path hostSettingsPath(const FleetEnvironment& environment)
{
    StateFolders folders = chooseStateFolders(readStateFolderFacts(environment.programDirectory));
    return settingsPathIn(folders.settingsFolder);
}

int runDevicesCommand(
    const FleetOptions& options, const FleetEnvironment& environment, JobAction action)
{
    fs::path settingsPath = settingsPathFor(options, environment);
    SitesStore store(settingsPath);
    std::optional<FolderEntry> tree = store.loadSitesTree();
    if (!tree)
        return refuse("cannot read the sites tree in " + settingsPath.string());
    std::optional<std::vector<FleetDevice>> devices = devicesIn(*tree, options.folder);
    if (!devices)
        return refuse(
            "no folder \"" + options.folder + "\" in the sites tree of " + settingsPath.string());

    bool intoLibrary = action == JobAction::backup && options.out.empty();
    std::unique_ptr<BackupLibrary> library;
    if (intoLibrary || options.maxAgeHours) {
        std::optional<fs::path> root = backupLibraryRoot();
        if (!root)
            return refuse("no home folder for the backup library (set HOME or XDG_DATA_HOME)");
        library = std::make_unique<BackupLibrary>(*root,
            options.keep.value_or(store.backupRetention().value_or(kDefaultBackupRetention)));
    }
    std::error_code error;
    if (!options.out.empty() && !fs::is_directory(options.out, error))
        return refuse("--out " + options.out + " is not a folder");

    FleetRunSettings settings;
    settings.action = action;
    settings.parallel = options.parallel.value_or(
        std::clamp(store.jobConcurrency().value_or(kDefaultJobConcurrency), 1, kMaxJobConcurrency));
    settings.toolPath = toolPathIn(environment.programDirectory);
    settings.out = options.out;
    settings.library = intoLibrary ? library.get() : nullptr;

    FleetSummary summary;
    summary.action = options.verbName;
    summary.started = utcTimestamp();
    summary.destination = !options.out.empty() ? options.out
        : intoLibrary                          ? library->root().string()
                                               : "";
    summary.library = intoLibrary;
    summary.maxAgeHours = options.maxAgeHours;

    std::vector<FleetEntry> entries;
    std::vector<std::string> addresses;
    std::set<std::string> seen;
    for (const FleetDevice& device : *devices) {
        entries.push_back({ device, {}, std::nullopt, false });
        if (!device.address.empty() && seen.insert(device.address).second)
            addresses.push_back(device.address);
    }

    FleetHooks hooks;
    const auto started = std::chrono::steady_clock::now();
    for (FleetEntry& entry : entries) {
        if (entry.device.address.empty()) {
            entry.outcome = { false, "refused-input", kNoAddressReason, 0, std::nullopt, "", "" };
            announce(entry, options, hooks);
        }
    }
    runFleetJob(addresses, settings, [&](const std::string& address, const DeviceOutcome& outcome) {
        for (FleetEntry& entry : entries) {
            if (entry.device.address == address) {
                entry.outcome = outcome;
                announce(entry, options, hooks);
            }
        }
    });
    summary.seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (options.maxAgeHours) {
        markStale(entries, *library, *options.maxAgeHours, std::time(nullptr));
        for (const FleetEntry& entry : entries) {
            if (entry.stale)
                std::printf("%s\n", staleLine(entry).c_str());
        }
    }
    summary = summarize(entries, summary);
    std::printf("%s\n", summaryLine(summary).c_str());
    if (options.maxAgeHours)
        std::printf(
            "%d without a good backup in the last %g hours\n", summary.stale, *options.maxAgeHours);
    std::fflush(stdout);

    int status = summary.failed > 0 ? 1 : 0;
    if (!options.report.empty() && fs::path(options.report).has_parent_path())
        fs::create_directories(fs::path(options.report).parent_path(), error);
    if (!options.report.empty()
        && !replaceFileAtomically(options.report, reportText(entries, summary))) {
        std::fprintf(
            stderr, "kovru-fleet: could not write the report %s\n", options.report.c_str());
        status = 1;
    }
    hooks.waitForAll();
    return status;
}

} // namespace kovrkit::fleet
