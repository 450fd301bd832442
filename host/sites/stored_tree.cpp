// The nested form between JSON values and plain C++, and the node map built from it.
#include "host/sites/fresh_ids.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_tree.h"

namespace kovrkit {

using nlohmann::json;

namespace {

const json& arrayOrEmpty(const json& folder, std::string_view key)
{
    static const json empty = json::array();
    const auto member = folder.find(key);
    return member != folder.end() && member->is_array() ? *member : empty;
}

// Assumes a value that passed the validity checks.
FolderEntry folderFromJson(const json& stored, std::string_view nameFallback)
{
    FolderEntry folder { stringOr(stored, "name", nameFallback),
        stringOr(stored, "description", ""), {}, {} };
    const auto slowLink = stored.find("slowLink");
    folder.slowLink = slowLink != stored.end() && slowLink->is_boolean() && slowLink->get<bool>();
    for (const auto& child : arrayOrEmpty(stored, "folders"))
        folder.folders.push_back(folderFromJson(child, ""));
    for (const auto& device : arrayOrEmpty(stored, "devices"))
        folder.devices.push_back({ stringOr(device, "name", ""),
            stringOr(device, "description", ""), stringOr(device, "ip", ""),
            stringOr(device, "username", ""), stringOr(device, "password", "") });
    return folder;
}

json folderJson(const FolderEntry& folder)
{
    json folders = json::array();
    for (const auto& child : folder.folders)
        folders.push_back(folderJson(child));
    json devices = json::array();
    for (const auto& device : folder.devices)
        devices.push_back(
            { { "name", device.name }, { "description", device.description }, { "ip", device.ip },
                { "username", device.username }, { "password", device.password } });
    json stored = { { "name", folder.name }, { "description", folder.description },
        { "folders", std::move(folders) }, { "devices", std::move(devices) } };
    if (folder.slowLink)
        stored["slowLink"] = true;
    return stored;
}

json nodeJson(const NumberedNode& node)
{
    if (node.device)
        return { { "id", node.id }, { "type", "device" }, { "name", node.device->name },
            { "description", node.device->description }, { "ip", node.device->ip },
            { "username", node.device->username }, { "password", node.device->password } };
    json folder = { { "id", node.id }, { "type", "folder" }, { "name", node.folder->name },
        { "description", node.folder->description }, { "children", node.children } };
    if (node.folder->slowLink)
        folder["slowLink"] = true;
    return folder;
}

} // namespace

std::optional<FolderEntry> folderTreeFromJson(const json& stored)
{
    if (!isValidStoredSites(stored))
        return std::nullopt;
    return folderFromJson(stored, "Sites");
}

json storedJson(const FolderEntry& root)
{
    json stored = folderJson(root);
    stored["schemaVersion"] = 1;
    return stored;
}

json nodeMapJson(const FolderEntry& root)
{
    json nodes = json::object();
    for (const auto& node : numberNodes(root))
        nodes[node.id] = nodeJson(node);
    return { { "version", 1 }, { "rootId", "root" }, { "nodes", std::move(nodes) } };
}

std::optional<json> documentToStored(const json& document)
{
    const auto map = nodeMapFromJson(document);
    if (!map)
        return std::nullopt;
    const auto root = convertNodeMap(*map);
    if (!root)
        return std::nullopt;
    return storedJson(*root);
}

std::optional<json> storedToDocument(const json& stored)
{
    const auto root = folderTreeFromJson(stored);
    if (!root)
        return std::nullopt;
    return nodeMapJson(*root);
}

} // namespace kovrkit
