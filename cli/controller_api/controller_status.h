// The controller status texts the CLI keeps from "/api/v100/status.ssi".
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kovru {

inline constexpr std::array<std::string_view, 22> kControllerStatusKeys = {
    "model_name",
    "firmware_version",
    "build_date",
    "license",
    "license_number",
    "hostname",
    "serial_number",
    "mac",
    "rtc_temperature",
    "ram_memory",
    "flash_memory",
    "boot_count",
    "time",
    "uptime",
    "dali_channel_1",
    "dali_channel_2",
    "dali_channel_3",
    "dali_channel_4",
    "ip",
    "bacnet_ip",
    "session_id",
    "username",
};

struct ControllerStatus {
    // One text per key of kControllerStatusKeys, in that order; absent until the document names
    // it.
    std::array<std::optional<std::string>, kControllerStatusKeys.size()> values;

    const std::optional<std::string>& get(std::string_view key) const;
    std::optional<std::string>* find(std::string_view key);
    const std::optional<std::string>& model_name() const { return values[0]; }
    const std::optional<std::string>& firmware_version() const { return values[1]; }
};

} // namespace kovru
