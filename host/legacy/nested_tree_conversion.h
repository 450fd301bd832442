// The legacy tool's nested tree, whose folders hold their children as objects, turned into a
// node-map sites document with ids "root", "folder-N" and "device-N".
#pragma once

#include <nlohmann/json.hpp>

#include <optional>

namespace kovrkit {

bool isLegacyFolder(const nlohmann::json& node);
bool isLegacyDevice(const nlohmann::json& node);

// The document, or nothing when the value holds no nested tree ("root" member or the value
// itself as the root folder).
std::optional<nlohmann::json> convertNestedLegacyTree(const nlohmann::json& value);

// True when the root folder the conversion would take lists its children by id, as a node
// map's entries do: its conversion keeps the root alone and drops the whole tree.
bool nestedRootListsIds(const nlohmann::json& value);

} // namespace kovrkit
