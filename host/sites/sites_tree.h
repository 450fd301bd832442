// Plain C++ forms of the sites tree that the store reads and writes without building a JSON
// value per member: large trees are streamed from text into these and written back as text.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace kovrkit {

// The nested form: a folder holds its sub-folders and devices.
struct DeviceEntry {
    std::string name;
    std::string description;
    std::string ip;
    std::string username;
    std::string password;
    bool operator==(const DeviceEntry&) const = default;
};

struct FolderEntry {
    std::string name;
    std::string description;
    std::vector<FolderEntry> folders;
    std::vector<DeviceEntry> devices;
    bool slowLink = false; // a site reached over a slow link (VPN); stored only when set
    bool operator==(const FolderEntry&) const = default;
};

// One entry of a node map, as far as a save reads it: members that are missing or not
// strings are null, children ids that are not strings are left out. The texts stay in the
// JSON value the map was read from, which must outlive it.
struct MapNode {
    const std::string* type = nullptr;
    const std::string* name = nullptr;
    const std::string* description = nullptr;
    const std::string* ip = nullptr;
    const std::string* username = nullptr;
    const std::string* password = nullptr;
    std::optional<std::vector<const std::string*>> children;
    bool slowLink = false; // a folder's "slowLink": true
};

// A node map whose envelope and root folder are valid. Entries that are not objects are
// left out.
struct NodeMap {
    std::string_view rootId;
    std::unordered_map<std::string_view, MapNode> nodes;
};

// From parsed JSON values; nullopt where the validity checks refuse the value.
std::optional<NodeMap> nodeMapFromJson(const nlohmann::json& document);
std::optional<FolderEntry> folderTreeFromJson(const nlohmann::json& stored);

// Applies the save rules: unusable children are skipped; a folder listed by several parents
// is held once under each of them; a broken folder, a blank name, a folder inside its own
// subtree, folders nested too deep or a tree too large once expanded refuses the whole tree.
// tooLarge, when given, tells whether the size limits refused it.
std::optional<FolderEntry> convertNodeMap(const NodeMap& map, bool* tooLarge = nullptr);

nlohmann::json storedJson(const FolderEntry& root);
// The node map with fresh ids: "root", "folder-N", "device-N" in a depth-first walk.
nlohmann::json nodeMapJson(const FolderEntry& root);

} // namespace kovrkit
