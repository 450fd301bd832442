// Node map to nested form, the conversion every save goes through.
#include "host/sites/sites_document.h"

#include <unordered_set>

namespace kovrkit {

using nlohmann::json;

namespace {

class NodeMapWalk {
public:
    explicit NodeMapWalk(const json& nodes) : nodes_(nodes) { }

    // The folder under id in nested form, or nullopt when the whole conversion must fail.
    std::optional<json> convertFolder(const std::string& id, std::size_t depth)
    {
        if (depth > kMaxFolderDepth || !expanded_.insert(id).second)
            return std::nullopt;
        const auto node = nodes_.find(id);
        if (node == nodes_.end() || !node->is_object() || stringOr(*node, "type", "") != "folder")
            return std::nullopt;
        const auto children = node->find("children");
        if (children == node->end() || !children->is_array())
            return std::nullopt;
        json folder = {
            {"name", stringOr(*node, "name", "Folder")},
            {"description", stringOr(*node, "description", "")},
            {"folders", json::array()},
            {"devices", json::array()},
        };
        if (isBlank(folder["name"]))
            return std::nullopt;
        for (const auto& childId : *children)
            if (!addChild(childId, depth, folder))
                return std::nullopt;
        return folder;
    }

private:
    static bool isBlank(const json& name) { return trimBlank(name.get_ref<const std::string&>()).empty(); }

    // Appends the child to folder; false only for a child that fails the whole conversion.
    // Ids that are not strings, unknown ids and nodes of other types are skipped.
    bool addChild(const json& childId, std::size_t depth, json& folder)
    {
        if (!childId.is_string())
            return true;
        const auto& id = childId.get_ref<const std::string&>();
        const auto child = nodes_.find(id);
        if (child == nodes_.end() || !child->is_object())
            return true;
        const auto type = stringOr(*child, "type", "");
        if (type == "folder") {
            auto converted = convertFolder(id, depth + 1);
            if (!converted)
                return false;
            folder["folders"].push_back(std::move(*converted));
        } else if (type == "device") {
            json device = {
                {"name", stringOr(*child, "name", "Device")},
                {"description", stringOr(*child, "description", "")},
                {"ip", stringOr(*child, "ip", "")},
                {"username", stringOr(*child, "username", "")},
                {"password", stringOr(*child, "password", "")},
            };
            if (isBlank(device["name"]))
                return false;
            folder["devices"].push_back(std::move(device));
        }
        return true;
    }

    const json& nodes_;
    std::unordered_set<std::string> expanded_;
};

} // namespace

std::optional<json> documentToStored(const json& document)
{
    if (!isValidSitesDocument(document))
        return std::nullopt;
    NodeMapWalk walk(document["nodes"]);
    auto root = walk.convertFolder(document["rootId"].get<std::string>(), 0);
    if (!root)
        return std::nullopt;
    (*root)["schemaVersion"] = 1;
    return root;
}

} // namespace kovrkit
