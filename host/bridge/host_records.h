#pragma once

#include <cstdint>
#include <string>

namespace kovrkit {

// Results that a worker thread hands to the UI thread, one heap record per message. Whoever
// receives a posted record owns it; when posting fails the worker still owns it.
struct PostedActionResult {
    std::string action;
    bool success = false;
    int32_t exitCode = -1;
    std::string message;
    std::string deviceIp;
    std::string data; // JSON text, or empty for none
};

struct PostedBatchSummary {
    std::string action;
    int32_t total = 0;
    int32_t succeeded = 0;
    int32_t failed = 0;
};

enum class HostMessageId : unsigned {
    ActionResult = 0x8310,
    BatchSummary = 0x8311,
};

// Carries a record from any thread to the UI thread, where it is handed to
// MessageBridge::handleHostMessage. Returns false when the record could not be posted.
class HostMessagePoster {
public:
    virtual ~HostMessagePoster() = default;
    virtual bool postHostMessage(HostMessageId id, void* record) = 0;
};

} // namespace kovrkit
