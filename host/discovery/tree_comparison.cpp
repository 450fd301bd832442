#include "host/discovery/tree_comparison.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace kovrkit {

namespace {

struct PlacedDevice {
    const TreeDevice* device = nullptr;
    std::optional<ScanTarget> target; // nothing for a host name
    std::string serial; // from the record
    bool matched = false;
};

void collect(const FolderEntry& folder, const std::string& path, std::vector<TreeDevice>& out)
{
    for (const DeviceEntry& device : folder.devices)
        out.push_back({ device.name, path, device.ip });
    for (const FolderEntry& child : folder.folders)
        collect(child, path.empty() ? child.name : path + "/" + child.name, out);
}

DiscoveryRow rowFor(DiscoveryState state, const ProbeResult& result, const PlacedDevice* placed)
{
    DiscoveryRow row;
    row.state = state;
    row.target = result.target;
    row.address = targetText(result.target);
    row.identity = result.identity;
    if (placed) {
        row.deviceName = placed->device->name;
        row.folder = placed->device->folder;
        if (state == DiscoveryState::moved)
            row.treeAddress = placed->device->address;
    }
    return row;
}

PlacedDevice* firstWhere(
    std::vector<PlacedDevice>& placed, const std::function<bool(const PlacedDevice&)>& test)
{
    auto found = std::find_if(placed.begin(), placed.end(), test);
    return found == placed.end() ? nullptr : &*found;
}

} // namespace

std::optional<ScanTarget> deviceTarget(std::string_view address)
{
    if (address.find_first_of("/-,") != std::string_view::npos)
        return std::nullopt;
    RangeParse parse = parseAddressRange(address);
    if (!parse.ok)
        return std::nullopt;
    return ScanTarget { parse.ranges.front().first, parse.ranges.front().port };
}

const char* discoveryStateName(DiscoveryState state)
{
    switch (state) {
    case DiscoveryState::found_new:
        return "new";
    case DiscoveryState::known:
        return "known";
    case DiscoveryState::moved:
        return "moved";
    case DiscoveryState::missing:
        return "missing";
    }
    return "new";
}

std::vector<TreeDevice> treeDevices(const FolderEntry& root)
{
    std::vector<TreeDevice> devices;
    collect(root, "", devices);
    return devices;
}

std::vector<DiscoveryRow> compareWithTree(const std::vector<ProbeResult>& results,
    const std::vector<AddressRange>& ranges, const std::vector<TreeDevice>& devices,
    const SerialRecord& serials)
{
    std::vector<PlacedDevice> placed;
    for (const TreeDevice& device : devices) {
        std::optional<ScanTarget> target = deviceTarget(device.address);
        auto recorded = serials.find(target ? targetText(*target) : device.address);
        placed.push_back({ &device, target,
            recorded == serials.end() ? std::string() : recorded->second, false });
    }
    std::vector<DiscoveryRow> rows;
    for (const ProbeResult& result : results) {
        if (result.outcome != ProbeOutcome::found)
            continue;
        const std::string& serial = result.identity.serial;
        auto atAddress = [&](const PlacedDevice& p) { return p.target == result.target; };
        PlacedDevice* same = firstWhere(placed, [&](const PlacedDevice& p) {
            return atAddress(p) && !serial.empty() && p.serial == serial;
        });
        PlacedDevice* elsewhere = same ? nullptr : firstWhere(placed, [&](const PlacedDevice& p) {
            return !atAddress(p) && !serial.empty() && p.serial == serial;
        });
        PlacedDevice* unrecorded
            = same || elsewhere ? nullptr : firstWhere(placed, [&](const PlacedDevice& p) {
                  return atAddress(p) && p.serial.empty();
              });
        PlacedDevice* match = same ? same : elsewhere ? elsewhere : unrecorded;
        if (match)
            match->matched = true;
        // Every device listed at this address for the same controller answered with it.
        for (PlacedDevice& p : placed) {
            if (!elsewhere && match && atAddress(p) && (p.serial.empty() || p.serial == serial))
                p.matched = true;
        }
        rows.push_back(rowFor(elsewhere ? DiscoveryState::moved
                : match                 ? DiscoveryState::known
                                        : DiscoveryState::found_new,
            result, match));
    }
    for (const PlacedDevice& p : placed) {
        if (p.matched || !p.target || !rangesHold(ranges, p.target->address, p.target->port))
            continue;
        DiscoveryRow row;
        row.state = DiscoveryState::missing;
        row.target = *p.target;
        row.address = targetText(*p.target);
        row.deviceName = p.device->name;
        row.folder = p.device->folder;
        rows.push_back(std::move(row));
    }
    std::stable_sort(rows.begin(), rows.end(),
        [](const DiscoveryRow& a, const DiscoveryRow& b) { return a.target < b.target; });
    return rows;
}

} // namespace kovrkit
