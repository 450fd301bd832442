// One status request per address, many at once, for finding controllers.
#pragma once

#include "host/discovery/address_ranges.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace kovrkit {

inline constexpr long kDiscoveryDefaultTimeoutMs = 1000;
inline constexpr size_t kDiscoveryMaxInFlight = 128;

struct ScanSettings {
    long timeoutMs = kDiscoveryDefaultTimeoutMs; // the whole request, connection included
    size_t maxInFlight = kDiscoveryMaxInFlight;
};

// What a controller tells about itself in its status.
struct ControllerIdentity {
    std::string model;
    std::string firmware;
    std::string serial;
    std::string mac;
    bool operator==(const ControllerIdentity&) const = default;
};

enum class ProbeOutcome {
    found, // a status document with the controller's identity
    other, // something answered, but not a controller's status
    silent, // no answer within the time-out
    closed, // refused or unreachable
};

struct ProbeResult {
    ScanTarget target;
    ProbeOutcome outcome = ProbeOutcome::closed;
    ControllerIdentity identity;
};

// Called now and then from the scanning thread, and once at the end.
using ScanProgress = std::function<void(size_t done, size_t total, size_t found)>;

struct ScanOutcome {
    bool ok = false;
    std::string message; // why the scan could not run, or that it was abandoned
    std::vector<ProbeResult> results; // one per target, in the targets' order
};

// Asks every target once and nothing else. Blocks until each has answered or timed out, or
// until `abandon` turns true (the results so far are then dropped).
ScanOutcome scanForControllers(const std::vector<ScanTarget>& targets, const ScanSettings& settings,
    const ScanProgress& progress = {}, const std::atomic<bool>* abandon = nullptr);

// The identity read from a status answer's body; nothing when it is not a controller's.
bool identityFromStatusBody(std::string_view body, ControllerIdentity& identity);

} // namespace kovrkit
