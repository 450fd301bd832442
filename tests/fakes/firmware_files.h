// Controller images and firmware packages for the firmware tests; packages are made by the
// real 7z, as people who build packages make them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kovru::testing {

// An image of `size` bytes with a firmware information block for the model and version
// (when the image is large enough to hold one).
std::vector<std::uint8_t> controller_image(
    std::size_t size, const std::string& model, const std::string& version);

void write_bytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> read_bytes(const std::filesystem::path& path);

// 64 lowercase hexadecimal digits.
std::string sha256_text(const std::vector<std::uint8_t>& image);

// Runs "7z a -tzip <options> package <entries>" in folder; true when 7z succeeded.
bool seven_zip(const std::filesystem::path& folder, const std::string& package,
    const std::vector<std::string>& options, const std::vector<std::string>& entries);

// A package in folder: "kovru.bh" holds digest_text, "kovru.binary" the image, both added
// with the given 7z options (default: WinZip AES-256 and the package password).
std::filesystem::path make_package(const std::filesystem::path& folder, const std::string& name,
    const std::vector<std::uint8_t>& image, const std::string& digest_text,
    const std::vector<std::string>& options = {});

// "-mem=AES256" and "-p" with the package password.
std::vector<std::string> aes256_options();

} // namespace kovru::testing
