// Firmware packages made by the real 7z, read back by the package check.
#include "cli/firmware/firmware_package.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/firmware_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace kovru {
namespace {

using kovrkit::testing::TempFolder;
using testing::aes256_options;
using testing::controller_image;
using testing::make_package;
using testing::read_bytes;
using testing::seven_zip;
using testing::sha256_text;
using testing::write_bytes;

struct Checked {
    int result;
    std::string out;
    FirmwarePackage package;
};

Checked check(const std::vector<std::uint8_t>& bytes)
{
    Checked checked;
    ::testing::internal::CaptureStdout();
    checked.result = check_package_bytes(bytes, checked.package);
    checked.out = ::testing::internal::GetCapturedStdout();
    return checked;
}

Checked check_file(const std::filesystem::path& path)
{
    return check(read_bytes(path));
}

std::string upper(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

const std::vector<std::uint8_t> image = controller_image(1'900'000, "VELDIR-2", "1.6.0");

TEST(FirmwarePackage, SevenZipAes256PackagesOpenWithTheirDigest)
{
    TempFolder folder;
    const std::string digest = sha256_text(image);
    // Deflated with a lower-case digest, stored with an upper-case one.
    auto deflated = make_package(folder.path(), "deflated.bin", image, digest);
    std::vector<std::string> stored_options = aes256_options();
    stored_options.push_back("-mx=0");
    auto stored = make_package(folder.path(), "stored.bin", image, upper(digest), stored_options);
    for (const auto& path : { deflated, stored }) {
        Checked checked = check_file(path);
        ASSERT_EQ(checked.result, package_valid) << path << checked.out;
        EXPECT_EQ(checked.out, "");
        EXPECT_EQ(checked.package.image, image);
        ASSERT_TRUE(checked.package.expected_digest);
        EXPECT_EQ(checked.package.expected_digest, checked.package.image_digest);
    }

    // A digest that does not match, or is not hexadecimal, still opens: the caller refuses it.
    std::string other = digest;
    other[10] = other[10] == '0' ? '1' : '0';
    Checked mismatch = check_file(make_package(folder.path(), "mismatch.bin", image, other));
    ASSERT_EQ(mismatch.result, package_valid);
    EXPECT_NE(mismatch.package.expected_digest, mismatch.package.image_digest);
    std::string not_hex = digest;
    not_hex[63] = 'g';
    Checked no_digest = check_file(make_package(folder.path(), "nothex.bin", image, not_hex));
    ASSERT_EQ(no_digest.result, package_valid);
    EXPECT_FALSE(no_digest.package.expected_digest);
}

TEST(FirmwarePackage, RefusalsPrintTheirLineAndCode)
{
    TempFolder folder;
    const std::string digest = sha256_text(image);
    const std::string password = aes256_options()[1];
    struct Case {
        std::string name;
        std::filesystem::path path;
        int code;
        std::string line;
    };
    std::vector<Case> cases = {
        { "AES-128",
            make_package(folder.path(), "aes128.bin", image, digest, { "-mem=AES128", password }),
            package_not_aes256, "File format is invalid (ppfbh).\n" },
        { "AES-192",
            make_package(folder.path(), "aes192.bin", image, digest, { "-mem=AES192", password }),
            package_not_aes256, "File format is invalid (ppfbh).\n" },
        { "ZipCrypto",
            make_package(
                folder.path(), "zipcrypto.bin", image, digest, { "-mem=ZipCrypto", password }),
            package_not_aes256, "File format is invalid (ppfbh).\n" },
        { "not encrypted", make_package(folder.path(), "plain.bin", image, digest, { "-mx=1" }),
            package_not_aes256, "File format is invalid (ppfbh).\n" },
        { "wrong password",
            make_package(folder.path(), "password.bin", image, digest,
                { "-mem=AES256", "-pnot-the-password" }),
            package_digest_locked, "File format is invalid (pbh).\n" },
        { "63 digits", make_package(folder.path(), "short.bin", image, digest.substr(1)),
            package_bad_digest_length, "File content length is invalid (bh).\n" },
        { "65 digits", make_package(folder.path(), "long.bin", image, digest + "0"),
            package_bad_digest_length, "File content length is invalid (bh).\n" },
    };

    // Digest entry AES-256, image entry ZipCrypto: 7z adds the second entry to the archive.
    auto mixed_entries = folder.path() / "mixed";
    std::filesystem::create_directories(mixed_entries);
    write_bytes(mixed_entries / "kovru.bh", { digest.begin(), digest.end() });
    write_bytes(mixed_entries / "kovru.binary", image);
    seven_zip(
        folder.path(), "mixed.bin", aes256_options(), { (mixed_entries / "kovru.bh").string() });
    seven_zip(folder.path(), "mixed.bin", { "-mem=ZipCrypto", password },
        { (mixed_entries / "kovru.binary").string() });
    cases.push_back({ "image ZipCrypto", folder.path() / "mixed.bin", package_not_aes256,
        "File format is invalid (ppfb).\n" });

    // Entry names are matched exactly: an upper-case name is a missing entry.
    std::filesystem::rename(mixed_entries / "kovru.binary", mixed_entries / "KOVRU.binary");
    seven_zip(folder.path(), "upper.bin", aes256_options(),
        { (mixed_entries / "kovru.bh").string(), (mixed_entries / "KOVRU.binary").string() });
    cases.push_back({ "upper-case image name", folder.path() / "upper.bin", package_no_binary,
        "File format is invalid (binary).\n" });
    seven_zip(folder.path(), "nodigest.bin", aes256_options(),
        { (mixed_entries / "KOVRU.binary").string() });
    cases.push_back({ "no digest entry", folder.path() / "nodigest.bin", package_no_digest,
        "File format is invalid (bh).\n" });

    for (const Case& c : cases) {
        Checked checked = check_file(c.path);
        EXPECT_EQ(checked.result, c.code) << c.name;
        EXPECT_EQ(checked.out, c.line) << c.name;
        EXPECT_TRUE(checked.package.image.empty()) << c.name;
    }

    std::vector<std::uint8_t> whole
        = read_bytes(make_package(folder.path(), "ok.bin", image, digest));
    std::vector<std::uint8_t> truncated(whole.begin(), whole.end() - 30);
    for (const auto& bytes :
        { truncated, std::vector<std::uint8_t>(image.begin(), image.begin() + 5000),
            std::vector<std::uint8_t>() }) {
        Checked checked = check(bytes);
        EXPECT_EQ(checked.result, package_not_zip);
        EXPECT_EQ(checked.out, "File format is invalid (open).\n");
    }
}

TEST(FirmwarePackage, ImageBeyondTheSizeLimitIsNotReadOn)
{
    TempFolder folder;
    // Compresses to almost nothing, unpacks beyond 16,777,214 bytes.
    std::vector<std::uint8_t> huge(16'777'215 + 100'000, 0);
    Checked checked = check_file(make_package(folder.path(), "huge.bin", huge, sha256_text(huge)));
    EXPECT_EQ(checked.result, package_image_too_large);
    EXPECT_EQ(checked.out, "File content is too large (binary).\n");
    EXPECT_TRUE(checked.package.image.empty());
}

} // namespace
} // namespace kovru
