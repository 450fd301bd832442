#include "fleet/fleet_devices.h"

#include "host/sites/sites_document.h"

namespace kovrkit::fleet {

namespace {

std::vector<std::string> folderNames(const std::string& path)
{
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t cut = path.find('/', start);
        if (cut == std::string::npos)
            cut = path.size();
        std::string name(trimBlank(std::string_view(path).substr(start, cut - start)));
        if (!name.empty())
            names.push_back(std::move(name));
        start = cut + 1;
    }
    return names;
}

void collect(const FolderEntry& folder, const std::string& path, std::vector<FleetDevice>& out)
{
    for (const DeviceEntry& device : folder.devices)
        out.push_back({ path, device.name, std::string(trimBlank(device.ip)) });
    for (const FolderEntry& child : folder.folders)
        collect(child, path.empty() ? child.name : path + "/" + child.name, out);
}

} // namespace

std::optional<std::vector<FleetDevice>> devicesIn(
    const FolderEntry& root, const std::string& folderPath)
{
    const FolderEntry* folder = &root;
    std::string path;
    for (const std::string& name : folderNames(folderPath)) {
        const FolderEntry* next = nullptr;
        for (const FolderEntry& child : folder->folders) {
            if (std::string(trimBlank(child.name)) == name) {
                next = &child;
                break;
            }
        }
        if (!next)
            return std::nullopt;
        folder = next;
        path = path.empty() ? next->name : path + "/" + next->name;
    }
    std::vector<FleetDevice> devices;
    collect(*folder, path, devices);
    return devices;
}

} // namespace kovrkit::fleet
