// Firmware packages: a zip holding "kovru.binary" (the controller image) and "kovru.bh" (its
// SHA-256 digest in hexadecimal), both encrypted with WinZip AES-256 and the package password.
#pragma once

#include "cli/firmware/sha256_digest.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovru {

inline constexpr const char* kFirmwarePackagePassword = "9e4b7c2a61d05f3e8a9c7b6d5e4f3a2b1c0d9e8f";

struct FirmwarePackage {
    std::vector<std::uint8_t> image; // the decrypted "kovru.binary"
    std::optional<Sha256Digest> image_digest;
    // What "kovru.bh" says; absent when its 64 characters are not all hexadecimal digits.
    std::optional<Sha256Digest> expected_digest;
};

enum PackageResult {
    package_valid = 0,
    package_too_large = -2,
    package_image_too_large = -3,
    package_no_binary = -4,
    package_bad_digest_length = -7,
    package_no_digest = -8,
    package_not_zip = -9,
    package_digest_locked = -11,
    package_binary_locked = -12,
    package_entry_unreadable = -13,
    package_not_aes256 = -15,
    // The file was not read (missing, not a regular file, too large); its line says why.
    package_file_refused = -16,
};

// Prints "Preparing file...", reads the file and checks it (check_package_bytes).
int check_package(const std::string& path, FirmwarePackage& package);

// Opens the package from memory (nothing is written to disk) and fills package; every
// refusal prints its line on standard output and returns its code.
int check_package_bytes(std::span<const std::uint8_t> bytes, FirmwarePackage& package);

} // namespace kovru
