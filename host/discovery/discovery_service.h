// Discovery for the window: one scan at a time on a thread of its own, its progress and
// result posted to the page through the main loop.
#pragma once

#include "host/bridge/command_table.h"
#include "host/bridge/ui_reply_sink.h"
#include "host/platform/main_loop_poster.h"
#include "host/sites/sites_store.h"

#include <atomic>
#include <string>
#include <thread>

namespace kovrkit {

inline constexpr const char* kDiscoveryBusyMessage = "A discovery is already running";
inline constexpr const char* kDiscoveryCancelledMessage = "Discovery cancelled";
inline constexpr const char* kDiscoveryTimeoutMessage
    = "The time-out must be a whole number of milliseconds from 1 to 60000";

class DiscoveryService {
public:
    DiscoveryService(MainLoopPoster& poster, UiReplySink& sink, const SitesStore& store);
    // Abandons a running scan (nothing more is posted) and joins its thread.
    ~DiscoveryService();
    DiscoveryService(const DiscoveryService&) = delete;
    DiscoveryService& operator=(const DiscoveryService&) = delete;

    // "discovery_start" {ranges, timeoutMs}: "discoveryRefused", or "discoveryStarted",
    // "discoveryProgress"..., "discoveryFinished".
    void start(const nlohmann::json& payload);
    // "discovery_cancel": the running scan ends with "discoveryFinished", success false.
    void cancel();
    // "discovery_recordSerials" {serials: {address: serial}}: "discoverySerialsRecorded".
    void recordSerials(const nlohmann::json& payload);

private:
    void post(std::string message);

    MainLoopPoster& poster_;
    UiReplySink& sink_;
    const SitesStore& store_;
    std::thread worker_;
    std::atomic<bool> running_ = false;
    std::atomic<bool> cancelled_ = false;
    std::atomic<bool> abandon_ = false;
};

// "discovery_start", "discovery_cancel", "discovery_recordSerials".
CommandTable discoveryCommands(DiscoveryService& service);

} // namespace kovrkit
