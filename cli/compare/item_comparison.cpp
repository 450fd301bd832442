#include "cli/compare/item_comparison.h"

#include "cli/action/channel_conversion.h"
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/action/input_device_conversion.h"
#include "cli/backup/tar_image.h"
#include "cli/firmware/sha256_digest.h"
#include "cli/import/channel_export.h"
#include "cli/import/record_changes.h"
#include "cli/log/log.h"

#include <algorithm>
#include <string>
#include <vector>

namespace kovru {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kCrcOffset = 4;
constexpr std::size_t kCrcLength = 2;
constexpr std::size_t kCounterOffset = 12;
constexpr std::size_t kCounterLength = 4;

// The item's configuration file inside its image; the whole image when it holds none.
Bytes config_file(Bytes image, const ConfigItem& item)
{
    TarImageReader reader(image);
    Bytes data;
    if (reader.find(item.device_path) == tar_success && reader.read_data(data) == tar_success)
        return data;
    return image;
}

bool in_self_changing_field(std::size_t offset)
{
    return (offset >= kCrcOffset && offset < kCrcOffset + kCrcLength)
        || (offset >= kCounterOffset && offset < kCounterOffset + kCounterLength);
}

// Equal bytes; with a header, the CRC and the change counter left out.
bool same_content(Bytes a, Bytes b, bool with_header)
{
    if (a.size() != b.size())
        return false;
    if (!with_header || a.size() < kConfigFileHeaderSize)
        return std::ranges::equal(a, b);
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !in_self_changing_field(i))
            return false;
    return true;
}

std::string size_and_digest(Bytes file)
{
    std::string text = std::to_string(file.size()) + " bytes, sha256 ";
    const auto digest = sha256_of(file);
    if (!digest)
        return text + "unknown";
    static const char digits[] = "0123456789abcdef";
    for (std::uint8_t byte : *digest) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

void report_other_bytes(Bytes old_file, Bytes new_file)
{
    log_plain("\tother bytes: %s -> %s", size_and_digest(old_file).c_str(),
        size_and_digest(new_file).c_str());
}

// Both channel files in one layout, the older one converted up to the newer one's.
struct SameLayout {
    const ChannelLayout* layout = nullptr;
    std::vector<std::uint8_t> old_file;
    std::vector<std::uint8_t> new_file;
};

std::vector<std::uint8_t> convert_channel_up(Bytes file, std::uint32_t from, std::uint32_t to)
{
    if (from == 1 && to == 2)
        return convert_channel_v1_to_v2(file);
    if (from == 1 && to == 3)
        return convert_channel_v1_to_v3(file);
    if (from == 2 && to == 3)
        return convert_channel_v2_to_v3(file);
    return {};
}

std::optional<SameLayout> channel_files_in_one_layout(Bytes old_file, Bytes new_file)
{
    const ChannelLayout* old_layout = channel_layout_of_file(old_file);
    const ChannelLayout* new_layout = channel_layout_of_file(new_file);
    if (!old_layout || !new_layout)
        return std::nullopt;
    SameLayout same;
    same.old_file.assign(old_file.begin(), old_file.end());
    same.new_file.assign(new_file.begin(), new_file.end());
    same.layout = old_layout->version >= new_layout->version ? old_layout : new_layout;
    if (old_layout->version < same.layout->version)
        same.old_file = convert_channel_up(old_file, old_layout->version, same.layout->version);
    if (new_layout->version < same.layout->version)
        same.new_file = convert_channel_up(new_file, new_layout->version, same.layout->version);
    if (same.old_file.size() != same.layout->file_size
        || same.new_file.size() != same.layout->file_size)
        return std::nullopt;
    return same;
}

std::size_t report_header(unsigned line, Bytes old_file, Bytes new_file, std::string_view change)
{
    if (old_file.size() < kConfigFileHeaderSize || new_file.size() < kConfigFileHeaderSize)
        return 0;
    return report_header_changes(line, old_file, new_file, change);
}

void report_channel_item(unsigned line, Bytes old_file, Bytes new_file, std::string_view change)
{
    std::size_t changed = report_header(line, old_file, new_file, change);
    const auto same = channel_files_in_one_layout(old_file, new_file);
    if (same)
        changed
            += report_channel_changes(line, *same->layout, same->old_file, same->new_file, change);
    if (!same || changed == 0)
        report_other_bytes(old_file, new_file);
}

// A version-3 image of an input-device file, converted from version 2 when it is one.
std::optional<std::vector<std::uint8_t>> input_file_v3(Bytes file)
{
    if (file.size() == input_device_layout::v3.file_size)
        return std::vector<std::uint8_t>(file.begin(), file.end());
    if (file.size() == input_device_layout::v2.file_size)
        return convert_input_device_v2_to_v3(file);
    return std::nullopt;
}

void report_input_item(unsigned line, Bytes old_file, Bytes new_file, std::string_view change)
{
    std::size_t changed = report_header(line, old_file, new_file, change);
    const auto old_v3 = input_file_v3(old_file);
    const auto new_v3 = input_file_v3(new_file);
    const bool comparable = old_v3 && new_v3 && !old_v3->empty() && !new_v3->empty();
    if (comparable)
        changed += report_input_changes(line, *old_v3, *new_v3, change);
    if (!comparable || changed == 0)
        report_other_bytes(old_file, new_file);
}

bool is_channel_item(const ConfigItem& item)
{
    return item.kind >= kKindFirstChannel && item.kind < kKindFirstChannel + 4;
}

bool is_input_item(const ConfigItem& item)
{
    return item.kind >= kKindFirstInputDevice && item.kind < kKindFirstInputDevice + 4;
}

} // namespace

ItemDifference compare_item(const ConfigItem& item, std::optional<Bytes> old_image,
    std::optional<Bytes> new_image, std::string_view change)
{
    const char* name = item.item_name.c_str();
    if (!old_image && !new_image)
        return ItemDifference::equal;
    if (!old_image) {
        log_plain("added %s: %s", name, size_and_digest(config_file(*new_image, item)).c_str());
        return ItemDifference::added;
    }
    if (!new_image) {
        log_plain("removed %s: %s", name, size_and_digest(config_file(*old_image, item)).c_str());
        return ItemDifference::removed;
    }
    const Bytes old_file = config_file(*old_image, item);
    const Bytes new_file = config_file(*new_image, item);
    const bool channel = is_channel_item(item);
    const bool input = is_input_item(item);
    // Other items carry such a header too when theirs checks out on both sides.
    const bool with_header = channel || input
        || (config_file_header_valid(old_file) && config_file_header_valid(new_file));
    if (same_content(old_file, new_file, with_header))
        return ItemDifference::equal;
    if (channel) {
        log_plain("changed %s:", name);
        report_channel_item(item.kind - kKindFirstChannel + 1, old_file, new_file, change);
    } else if (input) {
        log_plain("changed %s:", name);
        report_input_item(item.kind - kKindFirstInputDevice + 1, old_file, new_file, change);
    } else {
        log_plain("changed %s: %s -> %s", name, size_and_digest(old_file).c_str(),
            size_and_digest(new_file).c_str());
    }
    return ItemDifference::changed;
}

} // namespace kovru
