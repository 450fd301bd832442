// The devices of a sites tree that a run covers: the whole tree or one folder of it.
#pragma once

#include "host/sites/sites_tree.h"

#include <optional>
#include <string>
#include <vector>

namespace kovrkit::fleet {

struct FleetDevice {
    std::string folder; // names from below the root to its folder, joined by "/"; "" at the root
    std::string name;
    std::string address; // trimmed; "" when the tree gives none
};

// Every device at or below the folder "A/B" (names of folders below the root, "/" between
// them; "" for the whole tree), depth first in tree order; nullopt when no such folder exists.
// Of several folders with one name the first is taken.
std::optional<std::vector<FleetDevice>> devicesIn(
    const FolderEntry& root, const std::string& folderPath);

} // namespace kovrkit::fleet
