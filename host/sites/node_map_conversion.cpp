// Node map to nested form, the conversion every save goes through.
#include "host/sites/sites_document.h"
#include "host/sites/sites_tree.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace kovrkit {

using nlohmann::json;

namespace {

const std::string* textOf(const json& value)
{
    return value.is_string() ? &value.get_ref<const std::string&>() : nullptr;
}

void takeChildren(const json& children, MapNode& entry)
{
    if (!children.is_array())
        return;
    entry.children.emplace();
    entry.children->reserve(children.size());
    for (const auto& child : children)
        if (child.is_string())
            entry.children->push_back(&child.get_ref<const std::string&>());
}

std::string textOr(const std::string* text, std::string_view fallback)
{
    return text ? *text : std::string(fallback);
}

bool isType(const MapNode& node, std::string_view type)
{
    return node.type && *node.type == type;
}

// One pass over the node's members (a save reads every node of a large tree).
MapNode mapNodeFromJson(const json& node)
{
    MapNode entry;
    for (const auto& [key, value] : node.get_ref<const json::object_t&>()) {
        if (key == "type")
            entry.type = textOf(value);
        else if (key == "name")
            entry.name = textOf(value);
        else if (key == "description")
            entry.description = textOf(value);
        else if (key == "ip")
            entry.ip = textOf(value);
        else if (key == "username")
            entry.username = textOf(value);
        else if (key == "password")
            entry.password = textOf(value);
        else if (key == "slowLink")
            entry.slowLink = value.is_boolean() && value.get<bool>();
        else if (key == "children")
            takeChildren(value, entry);
    }
    return entry;
}

bool isBlank(const std::string& name)
{
    return trimBlank(name).empty();
}

// Each folder and device of the nested form takes six lines, and each level of nesting indents
// every line by four more spaces (the entry inside its array inside its parent).
constexpr std::size_t kIndentBytesPerLevel = 6 * 4;

// Folders and devices of a subtree, the bytes of their texts and the indentation of their
// lines below the subtree's own folder, as the nested form holds them; each stops growing just
// past its limit.
struct ExpandedSize {
    std::size_t nodes = 0;
    std::size_t textBytes = 0;
    std::size_t indentBytes = 0;

    void add(std::size_t moreNodes, std::size_t moreBytes)
    {
        nodes = std::min(nodes + moreNodes, kMaxExpandedSitesNodes + 1);
        textBytes = std::min(textBytes + moreBytes, kMaxExpandedSitesTextBytes + 1);
    }
    // A subtree one level below this one's folder.
    void addBelow(const ExpandedSize& child)
    {
        add(child.nodes, child.textBytes);
        const std::size_t shifted = child.indentBytes + child.nodes * kIndentBytesPerLevel;
        indentBytes = std::min(indentBytes + shifted, kMaxExpandedSitesIndentBytes + 1);
    }
    bool tooLarge() const
    {
        return nodes > kMaxExpandedSitesNodes || textBytes > kMaxExpandedSitesTextBytes
            || indentBytes > kMaxExpandedSitesIndentBytes;
    }
};

std::size_t textBytesOf(const MapNode& node)
{
    std::size_t bytes = 0;
    for (const auto* text : { node.name, node.description, node.ip, node.username, node.password })
        bytes += text ? text->size() : 0;
    // The line ,"slowLink": true of a marked folder.
    return bytes + (node.slowLink ? 24 : 0);
}

class NodeMapWalk {
public:
    explicit NodeMapWalk(const NodeMap& map)
        : map_(map)
    {
    }

    // The size of the folder's nested form, each folder counted once per place it is listed,
    // without building it; nullopt for a broken folder, a folder inside its own subtree or
    // nesting deeper than kMaxFolderDepth.
    std::optional<ExpandedSize> measureFolder(std::string_view id, std::size_t depth)
    {
        const MapNode* folder = folderNode(id);
        if (depth > kMaxFolderDepth || !folder)
            return std::nullopt;
        if (const auto known = measured_.find(folder); known != measured_.end())
            return known->second;
        if (!onPath_.insert(folder).second)
            return std::nullopt;
        ExpandedSize size;
        size.add(1, textBytesOf(*folder));
        for (const std::string* childId : *folder->children) {
            const auto child = map_.nodes.find(*childId);
            if (child == map_.nodes.end())
                continue;
            if (isType(child->second, "folder")) {
                const auto childSize = measureFolder(*childId, depth + 1);
                if (!childSize) {
                    onPath_.erase(folder);
                    return std::nullopt;
                }
                size.addBelow(*childSize);
            } else if (isType(child->second, "device")) {
                size.addBelow({ 1, textBytesOf(child->second), 0 });
            }
        }
        onPath_.erase(folder);
        measured_.emplace(folder, size);
        return size;
    }

    // The folder under id in nested form, or nullopt when the whole conversion must fail.
    // Call only for a folder that measureFolder accepted.
    std::optional<FolderEntry> convertFolder(std::string_view id, std::size_t depth)
    {
        const MapNode* source = folderNode(id);
        if (depth > kMaxFolderDepth || !source)
            return std::nullopt;
        FolderEntry folder { textOr(source->name, "Folder"), textOr(source->description, ""), {},
            {} };
        if (isBlank(folder.name))
            return std::nullopt;
        folder.slowLink = source->slowLink;
        for (const std::string* childId : *source->children)
            if (!addChild(*childId, depth, folder))
                return std::nullopt;
        return folder;
    }

private:
    const MapNode* folderNode(std::string_view id) const
    {
        const auto node = map_.nodes.find(id);
        if (node == map_.nodes.end() || !isType(node->second, "folder") || !node->second.children)
            return nullptr;
        return &node->second;
    }

    // Appends the child to folder; false only for a child that fails the whole conversion.
    // Unknown ids and nodes of other types are skipped.
    bool addChild(std::string_view childId, std::size_t depth, FolderEntry& folder)
    {
        const auto child = map_.nodes.find(childId);
        if (child == map_.nodes.end())
            return true;
        const MapNode& source = child->second;
        if (isType(source, "folder")) {
            auto converted = convertFolder(childId, depth + 1);
            if (!converted)
                return false;
            folder.folders.push_back(std::move(*converted));
        } else if (isType(source, "device")) {
            DeviceEntry device { textOr(source.name, "Device"), textOr(source.description, ""),
                textOr(source.ip, ""), textOr(source.username, ""), textOr(source.password, "") };
            if (isBlank(device.name))
                return false;
            folder.devices.push_back(std::move(device));
        }
        return true;
    }

    const NodeMap& map_;
    std::unordered_set<const MapNode*> onPath_; // the folders being measured, root first
    std::unordered_map<const MapNode*, ExpandedSize> measured_;
};

} // namespace

std::optional<NodeMap> nodeMapFromJson(const json& document)
{
    if (!isValidSitesDocument(document))
        return std::nullopt;
    NodeMap map;
    map.rootId = document["rootId"].get_ref<const std::string&>();
    const auto& nodes = document["nodes"].get_ref<const json::object_t&>();
    map.nodes.reserve(nodes.size());
    for (const auto& [id, node] : nodes)
        if (node.is_object())
            map.nodes.emplace(id, mapNodeFromJson(node));
    return map;
}

std::optional<FolderEntry> convertNodeMap(const NodeMap& map, bool* tooLarge)
{
    NodeMapWalk walk(map);
    const auto size = walk.measureFolder(map.rootId, 0);
    if (tooLarge)
        *tooLarge = size && size->tooLarge();
    if (!size || size->tooLarge())
        return std::nullopt;
    return walk.convertFolder(map.rootId, 0);
}

} // namespace kovrkit
