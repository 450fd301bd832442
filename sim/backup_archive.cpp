#include "sim/backup_archive.h"

#include "common/posix/input_file.h"
#include "common/zip_handles.h"
#include "sim/controller_items.h"
#include "sim/tar_reader.h"

#include <nlohmann/json.hpp>

#include <string_view>

namespace kovru::sim {
namespace {

// An item image is a few kilobytes; the flash image as large as a controller's flash.
constexpr std::uint64_t kLargestItemEntry = 16ull * 1024 * 1024;
constexpr std::uint64_t kLargestFlashEntry = 64ull * 1024 * 1024;
constexpr std::string_view kTarSuffix = ".tar";

// The entry's bytes, read to at most `limit`: the size the directory states is not trusted.
std::optional<std::vector<std::uint8_t>> read_entry(
    zip_t* zip, zip_uint64_t index, std::uint64_t limit, std::string& error)
{
    const char* name = zip_get_name(zip, index, 0);
    ZipFileHandle file(zip_fopen_index(zip, index, 0));
    if (!file) {
        error = std::string(name ? name : "an entry") + " cannot be read: " + zip_strerror(zip);
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t block[65536];
    for (;;) {
        zip_int64_t got = zip_fread(file.get(), block, sizeof block);
        if (got < 0) {
            error = std::string(name) + " cannot be read: " + zip_file_strerror(file.get());
            return std::nullopt;
        }
        if (got == 0)
            return bytes;
        if (bytes.size() + static_cast<std::uint64_t>(got) > limit) {
            error = std::string(name) + " is larger than " + std::to_string(limit) + " bytes";
            return std::nullopt;
        }
        bytes.insert(bytes.end(), block, block + got);
    }
}

void take_identity(std::span<const std::uint8_t> status_text, BackupArchive& archive)
{
    auto status = nlohmann::json::parse(status_text.begin(), status_text.end(), nullptr, false);
    if (status.is_discarded() || !status.is_object())
        return;
    auto text = [&](const char* key) {
        auto member = status.find(key);
        return member != status.end() && member->is_string() ? member->get<std::string>()
                                                             : std::string();
    };
    archive.model = text("model_name");
    archive.firmware = text("firmware_version");
    archive.serial = text("serial_number");
    archive.mac = text("mac");
}

// The item's configuration file into the archive; false with a reason.
bool take_item(const ControllerItem& item, std::span<const std::uint8_t> image,
    BackupArchive& archive, std::string& error)
{
    const std::string entry = std::string(item.item_name) + std::string(kTarSuffix);
    TarListing listing = read_tar_files(image);
    if (!listing.error.empty()) {
        error = entry + " is no tar image: " + listing.error;
        return false;
    }
    const TarFile* config_file = nullptr;
    for (const TarFile& file : listing.files) {
        if (file.name == item.device_path && !config_file)
            config_file = &file;
        else if (file.name == "status.txt" && archive.model.empty())
            take_identity(file.data, archive);
    }
    if (!config_file) {
        error = entry + " does not hold " + std::string(item.device_path);
        return false;
    }
    archive.files.try_emplace(
        std::string(item.device_path), config_file->data.begin(), config_file->data.end());
    return true;
}

bool read_entries(zip_t* zip, BackupArchive& archive, std::string& error)
{
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t index = 0; index < count; ++index) {
        const char* raw_name = zip_get_name(zip, static_cast<zip_uint64_t>(index), 0);
        std::string_view name = raw_name ? raw_name : "";
        const ControllerItem* item = nullptr;
        if (name.ends_with(kTarSuffix))
            item = find_controller_item(name.substr(0, name.size() - kTarSuffix.size()));
        if (name != "flashfs.bin" && !item)
            continue;
        auto bytes = read_entry(zip, static_cast<zip_uint64_t>(index),
            item ? kLargestItemEntry : kLargestFlashEntry, error);
        if (!bytes)
            return false;
        if (!item) {
            if (!archive.flash_fs)
                archive.flash_fs = std::move(*bytes);
        } else if (!archive.files.contains(std::string(item->device_path))
            && !take_item(*item, *bytes, archive, error)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::optional<BackupArchive> read_backup_archive(
    std::span<const std::uint8_t> zip_bytes, std::string& error)
{
    zip_error_t zip_error;
    zip_error_init(&zip_error);
    ZipSourceHandle source(
        zip_source_buffer_create(zip_bytes.data(), zip_bytes.size(), 0, &zip_error));
    ZipHandle zip;
    if (source) {
        zip.reset(zip_open_from_source(source.get(), ZIP_RDONLY | ZIP_CHECKCONS, &zip_error));
        if (zip)
            source.release(); // the archive owns it now
    }
    if (!zip) {
        error = zip_error_strerror(&zip_error);
        zip_error_fini(&zip_error);
        return std::nullopt;
    }
    zip_error_fini(&zip_error);
    BackupArchive archive;
    if (!read_entries(zip.get(), archive, error))
        return std::nullopt;
    if (archive.files.empty()) {
        error = "the archive holds no configuration item";
        return std::nullopt;
    }
    return archive;
}

std::optional<BackupArchive> load_backup_archive(const std::string& path, std::string& error)
{
    InputBytes input;
    try {
        input = read_input_file(path, kLargestBackupArchive);
    } catch (const std::bad_alloc&) {
        error = "cannot read backup " + path + ": out of memory";
        return std::nullopt;
    }
    if (!input.bytes) {
        error = "cannot read backup " + path + ": " + input.refusal;
        return std::nullopt;
    }
    std::optional<BackupArchive> archive = read_backup_archive(*input.bytes, error);
    if (!archive)
        error = "cannot use backup " + path + ": " + error;
    return archive;
}

} // namespace kovru::sim
