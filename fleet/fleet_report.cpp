#include "fleet/fleet_report.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace kovrkit::fleet {

namespace {

using nlohmann::json;

std::string pathOf(const FleetDevice& device)
{
    std::string name = device.name.empty() ? "(unnamed)" : device.name;
    return device.folder.empty() ? name : device.folder + "/" + name;
}

std::string secondsText(double seconds)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// "2026-12-09T13:25:23Z" as a time; nullopt for any other text.
std::optional<std::time_t> timeOf(const std::string& text)
{
    std::tm parts {};
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c", &parts.tm_year, &parts.tm_mon,
            &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &zone)
            != 7
        || zone != 'Z')
        return std::nullopt;
    parts.tm_year -= 1900;
    parts.tm_mon -= 1;
    return timegm(&parts);
}

} // namespace

FleetSummary summarize(std::vector<FleetEntry>& entries, FleetSummary summary)
{
    summary.total = static_cast<int>(entries.size());
    for (const FleetEntry& entry : entries) {
        (entry.outcome.success ? summary.succeeded : summary.failed) += 1;
        summary.changed += entry.outcome.changed.value_or(false) ? 1 : 0;
        summary.stale += entry.stale ? 1 : 0;
    }
    return summary;
}

std::string deviceLine(const FleetEntry& entry)
{
    const DeviceOutcome& outcome = entry.outcome;
    std::string line = (outcome.success ? "ok      " : "failed  ") + pathOf(entry.device) + " ("
        + entry.device.address + ") " + secondsText(outcome.seconds);
    if (outcome.success) {
        if (outcome.changed)
            line += *outcome.changed ? ", changed" : ", unchanged";
        return line;
    }
    line += ": " + outcome.cause;
    if (!outcome.reason.empty())
        line += ": " + outcome.reason;
    return line;
}

std::string summaryLine(const FleetSummary& summary)
{
    std::string line = std::to_string(summary.total)
        + (summary.total == 1 ? " device: " : " devices: ") + std::to_string(summary.succeeded)
        + " succeeded, " + std::to_string(summary.failed) + " failed";
    if (summary.library)
        line += ", " + std::to_string(summary.changed) + " changed";
    return line + " (" + secondsText(summary.seconds) + ")";
}

std::string staleLine(const FleetEntry& entry)
{
    std::string line = "stale   " + pathOf(entry.device) + " (" + entry.device.address + "): ";
    return line + (entry.lastGood ? "last good backup " + *entry.lastGood : "no good backup");
}

void markStale(
    std::vector<FleetEntry>& entries, const BackupLibrary& library, double hours, std::time_t now)
{
    std::map<std::string, std::string> index = library.addressIndex();
    for (FleetEntry& entry : entries) {
        auto key = index.find(entry.device.address);
        std::optional<BackupRecord> good
            = key == index.end() ? std::nullopt : library.lastGood(key->second);
        std::optional<std::time_t> when = good ? timeOf(good->time) : std::nullopt;
        if (good)
            entry.lastGood = good->time;
        entry.stale = !when || static_cast<double>(now - *when) > hours * 3600.0;
    }
}

std::string reportText(const std::vector<FleetEntry>& entries, const FleetSummary& summary)
{
    json devices = json::array();
    for (const FleetEntry& entry : entries) {
        const DeviceOutcome& outcome = entry.outcome;
        json record { { "address", entry.device.address }, { "cause", outcome.cause },
            { "folder", entry.device.folder }, { "name", entry.device.name },
            { "reason", outcome.reason }, { "result", outcome.success ? "succeeded" : "failed" },
            { "seconds", outcome.seconds },
            { "changed", outcome.changed ? json(*outcome.changed) : json(nullptr) },
            { "archive", outcome.archive }, { "record", outcome.record } };
        if (summary.maxAgeHours) {
            record["stale"] = entry.stale;
            record["lastGood"] = entry.lastGood ? json(*entry.lastGood) : json(nullptr);
        }
        devices.push_back(std::move(record));
    }
    json report { { "action", summary.action }, { "started", summary.started },
        { "seconds", summary.seconds }, { "destination", summary.destination },
        { "total", summary.total }, { "succeeded", summary.succeeded },
        { "failed", summary.failed }, { "changed", summary.changed },
        { "devices", std::move(devices) } };
    if (summary.maxAgeHours) {
        report["maxAgeHours"] = *summary.maxAgeHours;
        report["stale"] = summary.stale;
    }
    return report.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace kovrkit::fleet
