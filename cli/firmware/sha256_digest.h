// SHA-256 digests of firmware images, and their hexadecimal form in packages.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace kovru {

using Sha256Digest = std::array<std::uint8_t, 32>;

// The digest of exactly these bytes; nullopt only when libcrypto itself fails.
std::optional<Sha256Digest> sha256_of(std::span<const std::uint8_t> bytes);

// 64 hexadecimal digits, upper or lower case, high digit first; nullopt for anything else.
std::optional<Sha256Digest> digest_from_hex(std::string_view text);

} // namespace kovru
