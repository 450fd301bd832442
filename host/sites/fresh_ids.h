// The node list of a nested tree with the ids a load hands out.
#pragma once

#include "host/sites/sites_tree.h"

#include <string>
#include <vector>

namespace kovrkit {

struct NumberedNode {
    std::string id;
    const FolderEntry* folder = nullptr; // exactly one of folder and device is set
    const DeviceEntry* device = nullptr;
    std::vector<std::string> children;
};

// The root first as "root"; folders numbered in depth-first pre-order, devices in the order
// the same walk reaches them, so a folder's sub-folders' devices come before its own.
std::vector<NumberedNode> numberNodes(const FolderEntry& root);

} // namespace kovrkit
