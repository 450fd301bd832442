// Node map to nested form, the conversion every save goes through.
#include "host/sites/sites_document.h"
#include "host/sites/sites_tree.h"

#include <unordered_set>

namespace kovrkit {

using nlohmann::json;

namespace {

std::optional<std::string> textMember(const json& node, std::string_view key)
{
    const auto member = node.find(key);
    if (member == node.end() || !member->is_string())
        return std::nullopt;
    return member->get<std::string>();
}

MapNode mapNodeFromJson(const json& node)
{
    MapNode entry { textMember(node, "type"), textMember(node, "name"),
        textMember(node, "description"), textMember(node, "ip"), textMember(node, "username"),
        textMember(node, "password"), std::nullopt };
    const auto children = node.find("children");
    if (children != node.end() && children->is_array()) {
        entry.children.emplace();
        for (const auto& child : *children)
            if (child.is_string())
                entry.children->push_back(child.get<std::string>());
    }
    return entry;
}

bool isBlank(const std::string& name)
{
    return trimBlank(name).empty();
}

class NodeMapWalk {
public:
    explicit NodeMapWalk(const NodeMap& map)
        : map_(map)
    {
    }

    // The folder under id in nested form, or nullopt when the whole conversion must fail.
    std::optional<FolderEntry> convertFolder(const std::string& id, std::size_t depth)
    {
        if (depth > kMaxFolderDepth || !expanded_.insert(id).second)
            return std::nullopt;
        const auto node = map_.nodes.find(id);
        if (node == map_.nodes.end() || node->second.type != "folder" || !node->second.children)
            return std::nullopt;
        const MapNode& source = node->second;
        FolderEntry folder { source.name.value_or("Folder"), source.description.value_or(""), {},
            {} };
        if (isBlank(folder.name))
            return std::nullopt;
        for (const auto& childId : *source.children)
            if (!addChild(childId, depth, folder))
                return std::nullopt;
        return folder;
    }

private:
    // Appends the child to folder; false only for a child that fails the whole conversion.
    // Unknown ids and nodes of other types are skipped.
    bool addChild(const std::string& childId, std::size_t depth, FolderEntry& folder)
    {
        const auto child = map_.nodes.find(childId);
        if (child == map_.nodes.end())
            return true;
        const MapNode& source = child->second;
        if (source.type == "folder") {
            auto converted = convertFolder(childId, depth + 1);
            if (!converted)
                return false;
            folder.folders.push_back(std::move(*converted));
        } else if (source.type == "device") {
            DeviceEntry device { source.name.value_or("Device"), source.description.value_or(""),
                source.ip.value_or(""), source.username.value_or(""),
                source.password.value_or("") };
            if (isBlank(device.name))
                return false;
            folder.devices.push_back(std::move(device));
        }
        return true;
    }

    const NodeMap& map_;
    std::unordered_set<std::string> expanded_;
};

} // namespace

std::optional<NodeMap> nodeMapFromJson(const json& document)
{
    if (!isValidSitesDocument(document))
        return std::nullopt;
    NodeMap map;
    map.rootId = document["rootId"].get<std::string>();
    for (const auto& [id, node] : document["nodes"].items())
        if (node.is_object())
            map.nodes.emplace(id, mapNodeFromJson(node));
    return map;
}

std::optional<FolderEntry> convertNodeMap(const NodeMap& map)
{
    return NodeMapWalk(map).convertFolder(map.rootId, 0);
}

} // namespace kovrkit
