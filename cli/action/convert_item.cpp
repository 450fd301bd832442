#include "cli/action/convert_item.h"

#include "cli/action/channel_conversion.h"
#include "cli/action/config_file_header.h"
#include "cli/action/firmware_version.h"
#include "cli/action/input_device_conversion.h"
#include "cli/log/log.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr std::size_t kStoredVersionEnd = 12;

bool is_channel(unsigned kind)
{
    return kind >= kKindFirstChannel && kind < kKindFirstChannel + 4;
}

bool is_input_device(unsigned kind)
{
    return kind >= kKindFirstInputDevice && kind < kKindFirstInputDevice + 4;
}

ConvertedFile unchanged(std::span<const std::uint8_t> file)
{
    return { convert_ok, { file.begin(), file.end() } };
}

ConvertedFile converted(std::vector<std::uint8_t> bytes)
{
    if (bytes.empty())
        return { convert_not_convertible, {} };
    return { convert_ok, std::move(bytes) };
}

ConvertedFile not_supported(const char* family, std::uint32_t stored, std::uint32_t target)
{
    print_out(
        "CONFIGURATION %s CONVERSION VERSION %u to %u IS NOT SUPPORTED!", family, stored, target);
    return { convert_not_convertible, {} };
}

// The target version, or absent with a log line when the firmware version is missing or
// unreadable.
std::optional<std::uint32_t> target_version(
    const ConfigItem& item, const std::optional<std::string>& firmware_version)
{
    std::optional<std::uint32_t> target;
    if (firmware_version)
        target = is_channel(item.kind) ? channel_target_version(*firmware_version)
                                       : input_device_target_version(*firmware_version);
    if (!target)
        log_error("Controller firmware version unknown, cannot choose the layout of %s; not "
                  "restored.",
            item.device_path.c_str());
    return target;
}

ConvertedFile convert_channel_file(const ConfigItem& item,
    const std::optional<std::string>& firmware_version, std::span<const std::uint8_t> file,
    std::uint32_t stored)
{
    if (stored > 3)
        return { convert_not_convertible, {} };
    auto target = target_version(item, firmware_version);
    if (!target)
        return { convert_not_convertible, {} };
    const std::uint32_t wanted = *target <= 1 ? 1 : *target;
    const std::uint32_t have = stored <= 1 ? 1 : stored;
    if (have == wanted)
        return unchanged(file);
    if (have == 1)
        return converted(
            wanted == 2 ? convert_channel_v1_to_v2(file) : convert_channel_v1_to_v3(file));
    if (have == 2 && wanted == 3)
        return converted(convert_channel_v2_to_v3(file));
    return not_supported("dali", stored, *target);
}

ConvertedFile convert_input_device_file(const ConfigItem& item,
    const std::optional<std::string>& firmware_version, std::span<const std::uint8_t> file,
    std::uint32_t stored)
{
    if (stored == 1 || stored == 3 || stored == 4)
        return unchanged(file);
    if (stored != 2)
        return { convert_not_convertible, {} };
    auto target = target_version(item, firmware_version);
    if (!target)
        return { convert_not_convertible, {} };
    if (*target == 2)
        return unchanged(file);
    if (*target == 3)
        return converted(convert_input_device_v2_to_v3(file));
    return not_supported("dalicd", stored, *target);
}

} // namespace

ConvertedFile convert_item(const ConfigItem& item,
    const std::optional<std::string>& firmware_version, std::span<const std::uint8_t> file)
{
    if (file.empty())
        return { convert_missing_input, {} };
    if (!is_channel(item.kind) && !is_input_device(item.kind))
        return unchanged(file);
    if (file.size() < kStoredVersionEnd)
        return { convert_not_convertible, {} };
    const std::uint32_t stored = read_u32_le(file, 8);
    if (is_channel(item.kind))
        return convert_channel_file(item, firmware_version, file, stored);
    return convert_input_device_file(item, firmware_version, file, stored);
}

} // namespace kovru
