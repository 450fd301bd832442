// The parts of "settings.json" a discovery reads and writes: the sites tree, and the serial
// number last confirmed at each device address (member "controllerSerials").
#pragma once

#include "host/discovery/tree_comparison.h"
#include "host/sites/sites_store.h"

#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

inline constexpr const char* kSerialRecordMember = "controllerSerials";

struct DiscoverySites {
    bool readable = false; // false: the file holds no JSON object or a tree that fails the checks
    bool present = false; // the file exists
    std::vector<TreeDevice> devices;
    SerialRecord serials;
};

DiscoverySites readDiscoverySites(const SitesStore& store);

// Sets the serial of each address given (an empty serial removes the address); the other
// members of the file stay as they are.
bool updateSerialRecord(const SitesStore& store, const SerialRecord& changes);

} // namespace kovrkit
