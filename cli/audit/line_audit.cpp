#include "cli/audit/line_audit.h"

#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/import/channel_export.h"
#include "cli/import/channel_import.h"
#include "cli/import/csv_fields.h"
#include "cli/import/input_import.h"
#include "cli/log/log.h"

#include <map>
#include <string>
#include <vector>

namespace kovru {
namespace {

namespace cl = channel_layout;
namespace il = input_device_layout;

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kChannelAddressByte = 11;
constexpr std::size_t kChannelGroupMask = 18;
constexpr std::size_t kGroupWrittenByte = 36;
constexpr std::size_t kInputAddressByte = 8;
constexpr unsigned kLargestShortAddress = 63;

std::string list_text(const std::vector<std::size_t>& values)
{
    std::string text;
    for (std::size_t value : values)
        text += (text.empty() ? "" : ",") + std::to_string(value);
    return "[" + text + "]";
}

// A stored short-address byte is 2 x address + 1.
std::optional<unsigned> short_address(bool flagged, std::uint8_t stored)
{
    if (!flagged || !(stored & 1) || stored / 2 > kLargestShortAddress)
        return std::nullopt;
    return stored / 2u;
}

class LineAudit {
public:
    explicit LineAudit(unsigned line)
        : line_(line)
    {
    }

    void channel_file(Bytes file);
    void input_file(Bytes file);
    std::size_t finish();

private:
    void gear(Bytes file, const ChannelLayout& layout, std::size_t device);
    void groups(Bytes file, const ChannelLayout& layout);
    void input_device(Bytes file, std::size_t device);
    void duplicates(const char* what, const std::map<unsigned, std::vector<std::size_t>>& users);
    void finding(const std::string& text) { findings_.push_back(text); }

    unsigned line_;
    std::vector<std::string> findings_;
    std::map<unsigned, std::vector<std::size_t>> gear_addresses_;
    std::map<unsigned, std::vector<std::size_t>> input_addresses_;
    std::vector<std::vector<std::size_t>> group_members_
        = std::vector<std::vector<std::size_t>>(16);
};

void LineAudit::channel_file(Bytes file)
{
    const ChannelLayout* layout = channel_layout_of_file(file);
    if (!layout) {
        log_plain("Line %u: channel file of %zu bytes", line_, file.size());
        finding("channel file has no known layout (" + std::to_string(file.size()) + " bytes)");
        return;
    }
    log_plain("Line %u: channel file layout %u", line_, static_cast<unsigned>(layout->version));
    for (std::size_t device = 0; device < cl::kRecordCount; ++device)
        gear(file, *layout, device);
    groups(file, *layout);
    duplicates("gear", gear_addresses_);
}

void LineAudit::gear(Bytes file, const ChannelLayout& layout, std::size_t device)
{
    const std::size_t record = cl::record_offset(layout, device);
    const std::uint32_t flags = read_u32_le(file, record);
    if (!(flags & (channel_flag_configured | channel_flag_disabled)))
        return;
    const std::string name = stored_name(file.subspan(record + layout.name, cl::kNameLength));
    const std::uint16_t mask = read_u16_le(file, record + kChannelGroupMask);
    std::vector<std::size_t> groups;
    for (std::size_t group = 0; group < 16; ++group)
        if (mask & (1u << group)) {
            groups.push_back(group);
            group_members_[group].push_back(device);
        }
    const std::string gear_name = "gear " + std::to_string(device);
    const auto address
        = short_address(flags & channel_flag_short_address, file[record + kChannelAddressByte]);
    const std::string address_text
        = address ? "short address " + std::to_string(*address) : "no short address";
    log_plain("Line %u %s: %s, \"%s\", groups %s%s", line_, gear_name.c_str(), address_text.c_str(),
        name.c_str(), list_text(groups).c_str(), flags & channel_flag_disabled ? ", disabled" : "");
    if (address)
        gear_addresses_[*address].push_back(device);
    else if (flags & channel_flag_short_address)
        finding(gear_name + " record invalid: short address byte "
            + std::to_string(file[record + kChannelAddressByte]) + " is no short address");
    else
        finding(gear_name + " record invalid: no short address");
    if ((flags & channel_flag_configured) && name.empty())
        finding(gear_name + " flagged present without a name");
}

void LineAudit::groups(Bytes file, const ChannelLayout& layout)
{
    for (std::size_t group = 0; group < cl::kGroupEntryCount; ++group) {
        const Bytes entry = file.subspan(
            layout.group_entries_offset + group * cl::kGroupEntryLength, cl::kGroupEntryLength);
        const std::string name = stored_name(entry.first(cl::kNameLength));
        const bool defined = !name.empty() || entry[kGroupWrittenByte] == 0xFF;
        const auto& members = group_members_[group];
        if (!defined && members.empty())
            continue;
        const std::string title = "group " + std::to_string(group) + " \"" + name + "\"";
        if (members.empty()) {
            log_plain("Line %u %s: empty", line_, title.c_str());
            finding(title + " is empty");
        } else {
            log_plain("Line %u %s: gear %s", line_, title.c_str(), list_text(members).c_str());
        }
    }
}

const char* instance_type_name(std::uint8_t type)
{
    switch (type) {
    case il::kInstancePushButton:
        return "push button";
    case il::kInstanceOccupancySensor:
        return "occupancy sensor";
    case il::kInstanceLightSensor:
        return "light sensor";
    default:
        return nullptr;
    }
}

void LineAudit::input_file(Bytes file)
{
    const bool v2 = file.size() == il::v2.file_size;
    const bool v3 = file.size() == il::v3.file_size;
    if (!v2 && !v3) {
        log_plain("Line %u: input-device file of %zu bytes", line_, file.size());
        finding(
            "input-device file has no known layout (" + std::to_string(file.size()) + " bytes)");
        return;
    }
    log_plain("Line %u: input-device file layout %u", line_, v3 ? 3u : 2u);
    for (std::size_t device = 0; device < il::kRecordCount; ++device)
        input_device(file, device);
    duplicates("input", input_addresses_);
}

void LineAudit::input_device(Bytes file, std::size_t device)
{
    const std::size_t record = il::record_offset(device);
    const std::uint32_t flags = read_u32_le(file, record);
    if (!(flags & input_flag_configured))
        return;
    const std::string name = stored_name(file.subspan(record + il::kNameOffset, il::kNameLength));
    std::string instances;
    for (std::size_t i = 0; i < il::kInstanceCount; ++i) {
        const std::uint8_t type = file[record + il::kInstanceTableOffset + 2 * i];
        if (type == 0)
            continue;
        const char* type_name = instance_type_name(type);
        instances += (instances.empty() ? "" : ", ") + std::to_string(i) + " "
            + (type_name ? type_name : "type " + std::to_string(type));
    }
    const std::string input_name = "input " + std::to_string(device);
    const auto address
        = short_address(flags & input_flag_short_address, file[record + kInputAddressByte]);
    const std::string address_text
        = address ? "short address " + std::to_string(*address) : "no short address";
    log_plain("Line %u %s: %s, \"%s\", instances [%s]", line_, input_name.c_str(),
        address_text.c_str(), name.c_str(), instances.c_str());
    if (address)
        input_addresses_[*address].push_back(device);
    else if (flags & input_flag_short_address)
        finding(input_name + " record invalid: short address byte "
            + std::to_string(file[record + kInputAddressByte]) + " is no short address");
    else
        finding(input_name + " record invalid: no short address");
}

void LineAudit::duplicates(
    const char* what, const std::map<unsigned, std::vector<std::size_t>>& users)
{
    for (const auto& [address, devices] : users) {
        if (devices.size() < 2)
            continue;
        const std::string times
            = devices.size() == 2 ? "twice" : std::to_string(devices.size()) + " times";
        finding(std::string(what) + " short address " + std::to_string(address) + " used " + times
            + ": " + what + " " + list_text(devices));
    }
}

std::size_t LineAudit::finish()
{
    for (const std::string& text : findings_)
        log_warning("Line %u finding: %s", line_, text.c_str());
    log_plain("Line %u: %zu finding(s)", line_, findings_.size());
    return findings_.size();
}

} // namespace

std::size_t audit_line(
    unsigned line, std::optional<Bytes> channel_file, std::optional<Bytes> input_file)
{
    LineAudit audit(line);
    if (channel_file)
        audit.channel_file(*channel_file);
    else
        log_plain("Line %u: no channel file", line);
    if (input_file)
        audit.input_file(*input_file);
    else
        log_plain("Line %u: no input-device file", line);
    return audit.finish();
}

} // namespace kovru
