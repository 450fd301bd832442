#include "host/legacy/nested_tree_conversion.h"

#include "host/sites/sites_document.h"

#include <string>

namespace kovrkit {

using nlohmann::json;

namespace {

struct Counters {
    int folder = 1;
    int device = 1;
};

bool convertLegacyNode(const json& node, const std::string& id, json& nodes, Counters& counters);

bool convertFolder(const json& node, const std::string& id, json& nodes, Counters& counters)
{
    nodes[id] = json { { "id", id }, { "type", "folder" },
        { "name", stringOr(node, "name", id == "root" ? "Sites" : "Folder") },
        { "description", stringOr(node, "description", "") }, { "children", json::array() } };
    for (const json& child : node["children"]) {
        if (!child.is_object())
            continue;
        std::string childId;
        if (isLegacyFolder(child))
            childId = "folder-" + std::to_string(counters.folder++);
        else if (isLegacyDevice(child))
            childId = "device-" + std::to_string(counters.device++);
        else
            continue;
        if (!convertLegacyNode(child, childId, nodes, counters))
            return false;
        nodes[id]["children"].push_back(childId);
    }
    return true;
}

bool convertLegacyNode(const json& node, const std::string& id, json& nodes, Counters& counters)
{
    if (isLegacyFolder(node))
        return convertFolder(node, id, nodes, counters);
    if (!isLegacyDevice(node))
        return false;
    nodes[id]
        = json { { "id", id }, { "type", "device" }, { "name", stringOr(node, "name", "Device") },
              { "description", stringOr(node, "description", "") },
              { "ip", stringOr(node, "ip", "") }, { "username", stringOr(node, "username", "") },
              { "password", stringOr(node, "password", "") } };
    return true;
}

const json* nestedRoot(const json& value)
{
    if (!value.is_object())
        return nullptr;
    auto root = value.find("root");
    if (root != value.end() && root->is_object())
        return &*root;
    return isLegacyFolder(value) ? &value : nullptr;
}

} // namespace

bool isLegacyFolder(const json& node)
{
    if (!node.is_object())
        return false;
    auto children = node.find("children");
    return children != node.end() && children->is_array()
        && stringOr(node, "type", "folder") == "folder";
}

bool isLegacyDevice(const json& node)
{
    if (!node.is_object())
        return false;
    return stringOr(node, "type", "device") == "device" || node.contains("ip")
        || node.contains("username") || node.contains("password");
}

std::optional<json> convertNestedLegacyTree(const json& value)
{
    const json* root = nestedRoot(value);
    if (!root)
        return std::nullopt;
    json document { { "version", 1 }, { "rootId", "root" }, { "nodes", json::object() } };
    Counters counters;
    if (!convertLegacyNode(*root, "root", document["nodes"], counters))
        return std::nullopt;
    return document;
}

bool nestedRootListsIds(const json& value)
{
    const json* root = nestedRoot(value);
    if (!root || !isLegacyFolder(*root))
        return false;
    for (const json& child : (*root)["children"]) {
        if (child.is_string())
            return true;
    }
    return false;
}

} // namespace kovrkit
