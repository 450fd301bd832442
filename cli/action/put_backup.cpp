#include "cli/action/put_backup.h"

#include "cli/action/convert_item.h"
#include "cli/action/tool_marker_check.h"
#include "cli/backup/config_items.h"
#include "cli/backup/tar_image.h"
#include "cli/backup/tool_marker.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"
#include "cli/transport/tftp_upload.h"
#include "common/exit_status.h"
#include "common/time_divisor.h"
#include "common/zip_handles.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace kovru {
namespace {

constexpr const char* kTag = "action_put_backup";
constexpr const char* kBackupTag = "backup";
constexpr std::uint64_t kMaxMarkerSize = 65535;
// Far above any configuration item or plain image; refuses absurd sizes before allocating.
constexpr std::uint64_t kMaxEntrySize = 64ull << 20;

struct Restore {
    std::string address;
    std::string base;
    ControllerStatus status;
};

// The whole entry, or nothing when it cannot be read or fails its CRC.
std::optional<std::vector<std::uint8_t>> read_entry(
    zip_t* zip, zip_uint64_t index, std::uint64_t size)
{
    if (size > kMaxEntrySize)
        return std::nullopt;
    ZipFileHandle file(zip_fopen_index(zip, index, 0));
    if (!file)
        return std::nullopt;
    std::vector<std::uint8_t> bytes(size);
    std::uint64_t filled = 0;
    while (filled < size) {
        zip_int64_t got = zip_fread(file.get(), bytes.data() + filled, size - filled);
        if (got <= 0)
            return std::nullopt;
        filled += static_cast<std::uint64_t>(got);
    }
    // One more read reaches the end, where the CRC is checked.
    std::uint8_t extra = 0;
    if (zip_fread(file.get(), &extra, 1) != 0)
        return std::nullopt;
    return bytes;
}

// False when the archive carries a "tool.txt" that this tool may not restore.
bool marker_accepted(zip_t* zip)
{
    zip_stat_t stat;
    if (zip_stat(zip, std::string(kToolMarkerName).c_str(), 0, &stat) != 0
        || !(stat.valid & ZIP_STAT_SIZE) || stat.size == 0 || stat.size > kMaxMarkerSize)
        return true;
    auto bytes = read_entry(zip, stat.index, stat.size);
    if (!bytes)
        return false;
    return tool_marker_accepted({ reinterpret_cast<const char*>(bytes->data()), bytes->size() });
}

// Uploads a tar image and asks the controller to restore it.
bool push_image(const Restore& restore, std::span<const std::uint8_t> image)
{
    if (upload_image(restore.address, image, false) != 0)
        return false;
    print_out("%s\tbackup file pushed.\n", kBackupTag);
    if (request_restore(restore.base) != 0) {
        log_error("The controller did not take the restore request.");
        return false;
    }
    print_out("%s\tbackup file restore started.\n", kBackupTag);
    return true;
}

// The item's configuration file inside its tar image, or nothing after the message.
std::optional<std::span<const std::uint8_t>> device_file(
    std::span<const std::uint8_t> image, const std::string& path)
{
    TarImageReader reader(image);
    const int found = reader.find(path);
    std::span<const std::uint8_t> data;
    if (found == tar_file_not_found) {
        print_out("%s\terror '%s' file not found.\r\n", kTag, path.c_str());
    } else if (found != tar_success || reader.read_data(data) != tar_success) {
        print_out("%s\terror reading '%s'\r\n", kTag, path.c_str());
    } else if (data.empty()) {
        print_out("%s\terror '%s' file size error\r\n", kTag, path.c_str());
    } else {
        return data;
    }
    log_error("The backup holds no usable %s, not restored.", path.c_str());
    return std::nullopt;
}

// True when the entry's file reached the controller and its restore was requested.
bool restore_entry(const Restore& restore, const ConfigItem& item,
    std::span<const std::uint8_t> image, unsigned percent)
{
    auto file = device_file(image, item.device_path);
    if (!file)
        return false;
    ConvertedFile converted = convert_item(item, restore.status.firmware_version(), *file);
    print_out("%s\tpush backup file '%s'.\n", kBackupTag, item.device_path.c_str());
    log_plain("%u%% Restoring file %s...", percent, item.device_path.c_str());
    if (converted.result != convert_ok || converted.bytes.empty())
        return false;
    auto one_file = make_single_file_tar(
        item.device_path, converted.bytes, static_cast<std::uint64_t>(std::time(nullptr)));
    if (one_file.empty() || !push_image(restore, one_file))
        return false;
    log_success("File restored.");
    print_out_in(ConsoleColour::green, "%s\tbackup push completed.\n\n", kBackupTag);
    return true;
}

int restore_archive(const Restore& restore, zip_t* zip)
{
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    std::size_t applicable = 0;
    std::size_t restored = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const unsigned percent = static_cast<unsigned>(i * 100 / count);
        set_progress(static_cast<int>(percent));
        zip_stat_t stat;
        if (zip_stat_index(zip, static_cast<zip_uint64_t>(i), 0, &stat) != 0
            || !(stat.valid & ZIP_STAT_NAME))
            continue;
        const std::string_view name = stat.name;
        const ConfigItem* item = find_config_item_by_tar_entry(name);
        if (name.ends_with('/') || !item)
            continue;
        ++applicable;
        auto image = read_entry(zip, stat.index, stat.size);
        if (!image || image->empty()) {
            log_error("Could not read %s from the backup, not restored.", stat.name);
            continue;
        }
        if (restore_entry(restore, *item, *image, percent))
            ++restored;
    }
    set_progress(100);
    log_plain("%u%% Restore operation completed.", 100u);
    if (applicable == 0) {
        log_error("The backup holds no configuration items.");
        return exit_failed;
    }
    if (restored < applicable) {
        log_warning(
            "%zu of %zu configuration files were not restored.", applicable - restored, applicable);
        return exit_failed;
    }
    return exit_complete;
}

// A file that is not a zip: a single tar image pushed as it is.
int restore_plain_tar(const Restore& restore, const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    int opened = tar_could_not_open;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (file) {
        const auto size = static_cast<std::uint64_t>(file.tellg());
        opened = tar_could_not_read;
        if (size <= kMaxEntrySize) {
            bytes.resize(size);
            file.seekg(0);
            if (file.read(
                    reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
                opened = TarImageReader(bytes).open();
        }
    }
    if (opened != tar_success) {
        print_out("Error %d opening tar file.\n", opened);
        log_error("%s is neither a backup archive nor a configuration image.", path.c_str());
        return exit_refused;
    }
    if (!push_image(restore, bytes))
        return exit_failed;
    print_out("OK\n");
    return exit_complete;
}

} // namespace

int put_backup(const RestoreRequest& request)
{
    if (!request.address || !request.archive_path) {
        print_out("Missing arguments for action put_backup.\n");
        log_error("Missing arguments for action put_backup.");
        return exit_refused;
    }
    Restore restore;
    restore.address = *request.address;
    restore.base = base_url(restore.address);
    const int status_result = fetch_status(restore.base, restore.status);
    if (status_result == 0)
        print_out("model_name=%s\r\n", restore.status.model_name()->c_str());

    int zip_error = 0;
    ZipHandle zip(zip_open(request.archive_path->c_str(), ZIP_RDONLY, &zip_error));
    if (zip && !marker_accepted(zip.get())) {
        log_error("The backup is not supported by the installed tool version. Please upgrade "
                  "the tool software.");
        std::this_thread::sleep_for(scaled_pause(request.refusal_pause));
        return exit_refused;
    }
    if (status_result != 0) {
        log_error("Could not read the controller status, nothing restored.");
        return exit_failed;
    }
    if (zip)
        return restore_archive(restore, zip.get());
    return restore_plain_tar(restore, *request.archive_path);
}

} // namespace kovru
