#pragma once

#include <cstdint>
#include <string>

namespace kovrkit {

// One device's result of a device action, before it becomes a "nativeActionResult" message.
struct ActionResult {
    std::string action;
    bool success = false;
    int32_t exitCode = -1;
    std::string message;
    std::string deviceIp;
    std::string data; // JSON text, or empty for none
};

} // namespace kovrkit
