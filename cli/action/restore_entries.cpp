#include "cli/action/restore_entries.h"

#include "cli/action/convert_item.h"
#include "cli/action/tool_marker_check.h"
#include "cli/backup/config_items.h"
#include "cli/backup/tar_image.h"
#include "cli/backup/tool_marker.h"
#include "cli/log/log.h"
#include "common/zip_handles.h"

#include <ctime>
#include <string_view>
#include <vector>

namespace kovru {
namespace {

constexpr const char* kTag = "action_put_backup";
constexpr const char* kBackupTag = "backup";
constexpr std::uint64_t kMaxMarkerSize = 65535;
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
bool restore_entry(const ConfigItem& item, const std::optional<std::string>& firmware_version,
    std::span<const std::uint8_t> image, unsigned percent, const PushImage& push)
{
    auto file = device_file(image, item.device_path);
    if (!file)
        return false;
    ConvertedFile converted = convert_item(item, firmware_version, *file);
    print_out("%s\tpush backup file '%s'.\n", kBackupTag, item.device_path.c_str());
    log_plain("%u%% Restoring file %s...", percent, item.device_path.c_str());
    if (converted.result != convert_ok || converted.bytes.empty())
        return false;
    auto one_file = make_single_file_tar(
        item.device_path, converted.bytes, static_cast<std::uint64_t>(std::time(nullptr)));
    if (one_file.empty() || !push(one_file))
        return false;
    log_success("File restored.");
    print_out_in(ConsoleColour::green, "%s\tbackup push completed.\n\n", kBackupTag);
    return true;
}

} // namespace

std::optional<std::vector<std::uint8_t>> read_archive_entry(
    zip_t* zip, zip_uint64_t index, std::uint64_t size)
{
    if (size > kMaxArchiveEntrySize)
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

bool archive_marker_accepted(zip_t* zip)
{
    zip_stat_t stat;
    if (zip_stat(zip, std::string(kToolMarkerName).c_str(), 0, &stat) != 0
        || !(stat.valid & ZIP_STAT_SIZE) || stat.size == 0 || stat.size > kMaxMarkerSize)
        return true;
    auto bytes = read_archive_entry(zip, stat.index, stat.size);
    if (!bytes)
        return false;
    return tool_marker_accepted({ reinterpret_cast<const char*>(bytes->data()), bytes->size() });
}

namespace {

// The configuration item an entry restores, or nothing for directories and other entries.
const ConfigItem* entry_item(zip_t* zip, zip_int64_t index, zip_stat_t& stat)
{
    if (zip_stat_index(zip, static_cast<zip_uint64_t>(index), 0, &stat) != 0
        || !(stat.valid & ZIP_STAT_NAME))
        return nullptr;
    const std::string_view name = stat.name;
    if (name.ends_with('/'))
        return nullptr;
    return find_config_item_by_tar_entry(name);
}

} // namespace

std::size_t count_config_entries(zip_t* zip)
{
    std::size_t count = 0;
    const zip_int64_t entries = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < entries; ++i) {
        zip_stat_t stat;
        if (entry_item(zip, i, stat))
            ++count;
    }
    return count;
}

RestoreTally restore_entries(
    zip_t* zip, const std::optional<std::string>& firmware_version, const PushImage& push)
{
    RestoreTally tally;
    const zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const unsigned percent = static_cast<unsigned>(i * 100 / count);
        set_progress(static_cast<int>(percent));
        zip_stat_t stat;
        const ConfigItem* item = entry_item(zip, i, stat);
        if (!item)
            continue;
        ++tally.applicable;
        auto image = read_archive_entry(zip, stat.index, stat.size);
        if (!image || image->empty()) {
            log_error("Could not read %s from the backup, not restored.", stat.name);
            continue;
        }
        if (restore_entry(*item, firmware_version, *image, percent, push))
            ++tally.restored;
    }
    set_progress(100);
    log_plain("%u%% Restore operation completed.", 100u);
    return tally;
}

} // namespace kovru
