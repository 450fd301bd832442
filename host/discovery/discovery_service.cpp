#include "host/discovery/discovery_service.h"

#include "host/bridge/json_message.h"
#include "host/bridge/payload.h"
#include "host/discovery/address_ranges.h"
#include "host/discovery/controller_scan.h"
#include "host/discovery/discovery_report.h"
#include "host/discovery/discovery_sites.h"

namespace kovrkit {

namespace {

std::string refused(const std::string& message)
{
    return commandMessage("discoveryRefused", { { "message", message } });
}

std::string finished(bool success, const std::string& message, const nlohmann::json& report)
{
    OrderedJson payload { { "success", success }, { "message", message } };
    payload["scanned"] = report.value("scanned", 0);
    payload["tree"] = report.value("tree", false);
    payload["rows"] = report.contains("rows") ? OrderedJson::parse(report["rows"].dump())
                                              : OrderedJson::array();
    return commandMessage("discoveryFinished", std::move(payload));
}

// The time-out of the payload, or nothing when it is no whole number in range.
std::optional<long> timeoutOf(const nlohmann::json& payload)
{
    auto member = payload.find("timeoutMs");
    if (member == payload.end() || member->is_null())
        return kDiscoveryDefaultTimeoutMs;
    if (!member->is_number_integer())
        return std::nullopt;
    int64_t value = member->get<int64_t>();
    if (value < 1 || value > 60000)
        return std::nullopt;
    return static_cast<long>(value);
}

} // namespace

DiscoveryService::DiscoveryService(
    MainLoopPoster& poster, UiReplySink& sink, const SitesStore& store)
    : poster_(poster)
    , sink_(sink)
    , store_(store)
{
}

DiscoveryService::~DiscoveryService()
{
    abandon_ = true;
    cancelled_ = true;
    if (worker_.joinable())
        worker_.join();
}

void DiscoveryService::post(std::string message)
{
    if (abandon_)
        return;
    UiReplySink& sink = sink_;
    poster_.post([&sink, message = std::move(message)]() mutable { sink.sendToUi(message); });
}

void DiscoveryService::start(const nlohmann::json& payload)
{
    if (running_)
        return sink_.sendToUi(refused(kDiscoveryBusyMessage));
    std::optional<long> timeout = timeoutOf(payload);
    if (!timeout)
        return sink_.sendToUi(refused(kDiscoveryTimeoutMessage));
    RangeParse parse = parseAddressRanges({ getPayloadString(payload, "ranges") });
    if (!parse.ok)
        return sink_.sendToUi(refused(parse.message));
    DiscoverySites sites = readDiscoverySites(store_);
    if (worker_.joinable())
        worker_.join();
    std::vector<ScanTarget> targets = scanTargets(parse.ranges);
    running_ = true;
    cancelled_ = false;
    sink_.sendToUi(commandMessage("discoveryStarted", { { "total", targets.size() } }));
    worker_ = std::thread([this, ranges = std::move(parse.ranges), targets = std::move(targets),
                              sites = std::move(sites), timeoutMs = *timeout] {
        ScanOutcome scan = scanForControllers(
            targets, { timeoutMs, kDiscoveryMaxInFlight },
            [this](size_t done, size_t total, size_t found) {
                post(commandMessage("discoveryProgress",
                    { { "done", done }, { "total", total }, { "found", found } }));
            },
            &cancelled_);
        std::string message;
        if (scan.ok) {
            std::vector<DiscoveryRow> rows
                = compareWithTree(scan.results, ranges, sites.devices, sites.serials);
            DiscoverySummary summary { targets.size(), true };
            message
                = finished(true, discoverySummaryLine(rows, summary), discoveryJson(rows, summary));
        } else {
            message = finished(false,
                cancelled_ ? std::string(kDiscoveryCancelledMessage) : scan.message,
                nlohmann::json::object());
        }
        running_ = false;
        post(std::move(message));
    });
}

void DiscoveryService::cancel()
{
    if (running_)
        cancelled_ = true;
}

void DiscoveryService::recordSerials(const nlohmann::json& payload)
{
    SerialRecord changes;
    auto member = payload.find("serials");
    if (member != payload.end() && member->is_object()) {
        for (const auto& entry : member->items()) {
            if (entry.value().is_string())
                changes[entry.key()] = entry.value().get<std::string>();
        }
    }
    bool saved = !changes.empty() && updateSerialRecord(store_, changes);
    sink_.sendToUi(commandMessage("discoverySerialsRecorded", { { "saved", saved } }));
}

CommandTable discoveryCommands(DiscoveryService& service)
{
    return {
        { "discovery_start",
            [&service](const nlohmann::json& payload) { service.start(payload); } },
        { "discovery_cancel", [&service](const nlohmann::json&) { service.cancel(); } },
        { "discovery_recordSerials",
            [&service](const nlohmann::json& payload) { service.recordSerials(payload); } },
    };
}

} // namespace kovrkit
