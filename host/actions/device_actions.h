#pragma once

#include <string>
#include <vector>

namespace kovrkit {

// The four device actions. Each reports "nativeActionResult" per device and, after a batch,
// "nativeActionBatchSummary"; status runs on a worker and reports through the main loop.
class DeviceActions {
public:
    virtual ~DeviceActions() = default;
    virtual void runSingle(const std::string& action, const std::string& address) = 0;
    virtual void runBatch(const std::string& action, const std::vector<std::string>& addresses) = 0;
    virtual void startStatus(std::vector<std::string> addresses, bool wantSummary) = 0;
};

} // namespace kovrkit
