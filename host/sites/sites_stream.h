// Streaming readers for the two forms as they usually arrive: they read JSON text straight
// into the plain C++ forms. Anything outside the usual shape (a mistyped member, a repeated
// key, a node map where a nested tree was expected) makes them give up with nullopt, and the
// caller then parses the text into JSON values and decides with the general rules.
#pragma once

#include "host/sites/sites_tree.h"

#include <optional>
#include <string_view>

namespace kovrkit {

// A node-map document with a valid envelope and root folder.
std::optional<NodeMap> streamNodeMap(std::string_view documentText);

// The valid nested tree under "sitesData" of a settings object.
std::optional<FolderEntry> streamStoredSites(std::string_view settingsText);

} // namespace kovrkit
