// Nested form to node map with fresh ids, the conversion every load goes through.
#include "host/sites/sites_document.h"

namespace kovrkit {

using nlohmann::json;

namespace {

const json& arrayOrEmpty(const json& folder, std::string_view key)
{
    static const json empty = json::array();
    const auto member = folder.find(key);
    return member != folder.end() && member->is_array() ? *member : empty;
}

// Hands out ids in a depth-first pre-order walk: a folder is numbered before its contents,
// and the devices inside its sub-folders before its own devices.
class IdAssigner {
public:
    explicit IdAssigner(json& nodes) : nodes_(nodes) { }

    void addContents(const json& stored, json& children)
    {
        for (const auto& folder : arrayOrEmpty(stored, "folders"))
            addFolder(folder, children);
        for (const auto& device : arrayOrEmpty(stored, "devices"))
            addDevice(device, children);
    }

private:
    void addFolder(const json& stored, json& parentChildren)
    {
        auto id = "folder-" + std::to_string(nextFolder_++);
        json& node = nodes_[id];
        node = {
            {"id", id},
            {"type", "folder"},
            {"name", stringOr(stored, "name", "")},
            {"description", stringOr(stored, "description", "")},
            {"children", json::array()},
        };
        parentChildren.push_back(id);
        addContents(stored, node["children"]);
    }

    void addDevice(const json& stored, json& parentChildren)
    {
        auto id = "device-" + std::to_string(nextDevice_++);
        nodes_[id] = {
            {"id", id},
            {"type", "device"},
            {"name", stringOr(stored, "name", "")},
            {"description", stringOr(stored, "description", "")},
            {"ip", stringOr(stored, "ip", "")},
            {"username", stringOr(stored, "username", "")},
            {"password", stringOr(stored, "password", "")},
        };
        parentChildren.push_back(std::move(id));
    }

    json& nodes_;
    unsigned long nextFolder_ = 1;
    unsigned long nextDevice_ = 1;
};

} // namespace

std::optional<json> storedToDocument(const json& stored)
{
    // The whole tree is checked here, so the walk below cannot meet an invalid element.
    if (!isValidStoredSites(stored))
        return std::nullopt;
    json document = defaultSitesDocument();
    json& nodes = document["nodes"];
    json& root = nodes["root"];
    root["name"] = stringOr(stored, "name", "Sites");
    root["description"] = stringOr(stored, "description", "");
    IdAssigner ids(nodes);
    ids.addContents(stored, root["children"]);
    return document;
}

} // namespace kovrkit
