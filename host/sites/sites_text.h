// Writes the sites tree as JSON text directly, byte for byte as the JSON library would
// serialise the same value (members in ascending byte order of their keys, non-ASCII text
// as UTF-8), without building a JSON value for every member of a large tree.
#pragma once

#include "host/sites/sites_tree.h"

#include <string>
#include <string_view>

namespace kovrkit {

// A JSON string literal; invalid UTF-8 is replaced by U+FFFD.
void appendJsonString(std::string& out, std::string_view text);

// The nested form with 2-space indentation, its first line not indented and every further
// line indented by indentSpaces more, so it can stand as a member of an indented object.
void appendStoredSitesText(std::string& out, const FolderEntry& root, std::size_t indentSpaces);

// The node map with fresh ids, compact.
std::string nodeMapText(const FolderEntry& root);

} // namespace kovrkit
