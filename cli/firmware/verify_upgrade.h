// Waiting for a controller to come back from a firmware upgrade with the new version.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace kovru {

inline constexpr std::chrono::seconds kVerifyUpgradeMax { 86400 };

// "--verifyupgrade" text to a time limit: whole seconds from 1 to 86400.
std::optional<std::chrono::seconds> parse_verify_seconds(std::string_view text);

// Asks for the controller's status about once a second until its "firmware_version" equals
// expected_version or the limit has passed. Each request is bounded by a few seconds, and
// never past the limit, so a controller that takes a request during its restart and never
// answers it costs one short poll, not the whole wait; refused and silent requests alike are
// tried again on a new connection. Logs each new version it sees and
// the outcome; true when the controller reported expected_version.
bool verify_upgrade(
    const std::string& base_url, const std::string& expected_version, std::chrono::seconds limit);

} // namespace kovru
