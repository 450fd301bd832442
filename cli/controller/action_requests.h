// The requests that make the controller act on the uploaded "flashraw.bin".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kovru {

int request_restore(const std::string& base_url);
int request_firmware_upgrade(
    const std::string& base_url, std::span<const std::uint8_t, 32> sha256, std::size_t size);
int request_d2fw_upgrade(
    const std::string& base_url, std::span<const std::uint8_t, 32> sha256, std::size_t size);

// 64 lowercase hexadecimal digits.
std::string digest_hex(std::span<const std::uint8_t, 32> sha256);

} // namespace kovru
