// SHA-256 as the controller checks uploaded images with it.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace kovru::sim {

// 64 lowercase hexadecimal digits.
std::string sha256_hex(std::span<const std::uint8_t> bytes);

} // namespace kovru::sim
