#include "cli/firmware/firmware_package.h"

#include "cli/firmware/firmware_file.h"
#include "cli/log/log.h"
#include "common/zip_handles.h"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <new>
#include <string_view>

namespace kovru {
namespace {

using ZipArchive = ZipHandle;
using ZipEntry = ZipFileHandle;

using ZipSource = ZipSourceHandle;

constexpr std::size_t kDigestTextLength = 64;
constexpr std::size_t kDigestReadLimit = 128;
constexpr std::size_t kImageReadChunk = 4096;

// The lines an entry's refusals print, by step.
struct EntryTexts {
    const char* name;
    const char* missing;
    const char* unreadable_info;
    const char* not_aes256;
    const char* locked;
    int missing_code;
    int locked_code;
};

constexpr EntryTexts kDigestEntry { "kovru.bh", "File format is invalid (bh).\n",
    "File format is invalid (ppbh).\n", "File format is invalid (ppfbh).\n",
    "File format is invalid (pbh).\n", package_no_digest, package_digest_locked };

// "(pbh)" for the image entry too: the line the tool has always printed for it.
constexpr EntryTexts kImageEntry { "kovru.binary", "File format is invalid (binary).\n",
    "File format is invalid (ppb).\n", "File format is invalid (ppfb).\n",
    "File format is invalid (pbh).\n", package_no_binary, package_binary_locked };

int refuse(const char* line, int code)
{
    print_out("%s", line);
    return code;
}

ZipArchive open_from_memory(std::span<const std::uint8_t> bytes)
{
    zip_error_t error;
    zip_error_init(&error);
    ZipSource source(zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error));
    ZipArchive archive;
    if (source) {
        archive.reset(zip_open_from_source(source.get(), ZIP_RDONLY, &error));
        // The archive owns its source once it is open.
        if (archive)
            source.release();
    }
    zip_error_fini(&error);
    return archive;
}

// Locates the entry (exact, case-sensitive name), checks it is WinZip AES-256 and opens it
// with the package password. Returns 0 or the refusal's code.
int open_entry(zip_t* archive, const EntryTexts& texts, ZipEntry& entry, zip_stat_t& info)
{
    zip_int64_t index = zip_name_locate(archive, texts.name, 0);
    if (index < 0)
        return refuse(texts.missing, texts.missing_code);
    zip_stat_init(&info);
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &info) != 0
        || !(info.valid & ZIP_STAT_ENCRYPTION_METHOD))
        return refuse(texts.unreadable_info, package_entry_unreadable);
    if (info.encryption_method != ZIP_EM_AES_256)
        return refuse(texts.not_aes256, package_not_aes256);
    entry.reset(zip_fopen_index_encrypted(
        archive, static_cast<zip_uint64_t>(index), 0, kFirmwarePackagePassword));
    if (!entry)
        return refuse(texts.locked, texts.locked_code);
    return package_valid;
}

int read_digest_entry(zip_t* archive, FirmwarePackage& package)
{
    ZipEntry entry;
    zip_stat_t info;
    if (int result = open_entry(archive, kDigestEntry, entry, info); result != package_valid)
        return result;
    char text[kDigestReadLimit] = {};
    zip_int64_t length = zip_fread(entry.get(), text, sizeof text);
    if (length != static_cast<zip_int64_t>(kDigestTextLength))
        return refuse("File content length is invalid (bh).\n", package_bad_digest_length);
    package.expected_digest = digest_from_hex(std::string_view(text, kDigestTextLength));
    return package_valid;
}

// Reads the image in chunks until the end of the entry. A read error ends the image where it
// happened: entries written as WinZip AE-2 carry no CRC, which the zip library reports as a
// checksum error at their end, and any real damage fails the digest comparison later. An
// entry that unpacks beyond the image size limit is refused rather than read on.
int read_image_entry(zip_t* archive, FirmwarePackage& package)
{
    ZipEntry entry;
    zip_stat_t info;
    if (int result = open_entry(archive, kImageEntry, entry, info); result != package_valid)
        return result;
    std::vector<std::uint8_t>& image = package.image;
    image.clear();
    if (info.valid & ZIP_STAT_SIZE)
        image.reserve(std::min<zip_uint64_t>(info.size, kFirmwareImageMaxSize) + kImageReadChunk);
    for (;;) {
        std::size_t old_size = image.size();
        if (old_size > kFirmwareImageMaxSize)
            return refuse("File content is too large (binary).\n", package_image_too_large);
        image.resize(old_size + kImageReadChunk);
        zip_int64_t got = zip_fread(entry.get(), image.data() + old_size, kImageReadChunk);
        image.resize(old_size + static_cast<std::size_t>(std::max<zip_int64_t>(got, 0)));
        if (got <= 0)
            return package_valid;
    }
}

} // namespace

int check_package_bytes(std::span<const std::uint8_t> bytes, FirmwarePackage& package)
{
    package = {};
    // The zip library takes zero bytes for an empty archive; no file is an empty package.
    ZipArchive archive = bytes.empty() ? nullptr : open_from_memory(bytes);
    if (!archive)
        return refuse("File format is invalid (open).\n", package_not_zip);
    if (int result = read_digest_entry(archive.get(), package); result != package_valid)
        return result;
    int result = package_valid;
    try {
        result = read_image_entry(archive.get(), package);
    } catch (const std::bad_alloc&) {
        result = refuse("memory error\n", package_image_too_large);
    }
    if (result != package_valid) {
        package.image = {};
        return result;
    }
    package.image_digest = sha256_of(package.image);
    return package_valid;
}

int check_package(const std::string& path, FirmwarePackage& package)
{
    print_out("Preparing file...\n");
    log_plain("Preparing file '%s'.", path.c_str());
    std::optional<std::vector<std::uint8_t>> bytes;
    try {
        bytes = read_firmware_file(path, kFirmwarePackageMaxSize);
    } catch (const std::bad_alloc&) {
        return refuse("memory error\n", package_too_large);
    }
    if (!bytes)
        return package_file_refused;
    return check_package_bytes(*bytes, package);
}

} // namespace kovru
