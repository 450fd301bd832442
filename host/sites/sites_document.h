// The sites tree in its two JSON forms: the node-map `SitesDocument` the UI edits (folders
// list their children by id) and the nested `StoredSites` kept on disk (folders contain
// their sub-folders and devices, no ids). Pure functions; none keeps state.
#pragma once

#include <nlohmann/json.hpp>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

// Folders nested deeper than this are refused by both forms, so that a hostile tree
// cannot exhaust the stack and every tree a save accepts also loads.
inline constexpr std::size_t kMaxFolderDepth = 512;

// A folder listed by several parents is stored once under each of them. A save refuses a
// tree whose nested form would hold more folders and devices than this, or more text (names,
// descriptions, addresses and credentials, in bytes) than the second limit, or more
// indentation than the third: every line of the written form is indented by two spaces per
// level, so a chain of folders above a few shared ones would otherwise turn a node map of
// some kilobytes into a file of gigabytes.
inline constexpr std::size_t kMaxExpandedSitesNodes = 1'000'000;
inline constexpr std::size_t kMaxExpandedSitesTextBytes = std::size_t { 256 } << 20;
inline constexpr std::size_t kMaxExpandedSitesIndentBytes = std::size_t { 256 } << 20;

// The member's text when value is an object whose member key is a string, else fallback.
std::string stringOr(const nlohmann::json& value, std::string_view key, std::string_view fallback);
// Text without leading and trailing space, tab, CR and LF.
std::string_view trimBlank(std::string_view text);

// Checks the envelope and the root folder only; the conversion judges the rest.
bool isValidSitesDocument(const nlohmann::json& document);
bool isValidStoredSites(const nlohmann::json& stored);
bool isValidStoredFolder(const nlohmann::json& folder);
bool isValidStoredDevice(const nlohmann::json& device);

// Node map to nested form. Refused: an invalid envelope, a folder without a children
// array, a blank name, a folder inside its own subtree, folders nested deeper than
// kMaxFolderDepth and trees beyond the expanded size limits above.
std::optional<nlohmann::json> documentToStored(const nlohmann::json& document);
// Nested form to node map with fresh ids: "root", "folder-N", "device-N".
std::optional<nlohmann::json> storedToDocument(const nlohmann::json& stored);

nlohmann::json defaultSitesDocument();

} // namespace kovrkit
