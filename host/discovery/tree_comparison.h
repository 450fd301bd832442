// What a scan found, held against the sites tree: new, known, moved and missing controllers.
#pragma once

#include "host/discovery/address_ranges.h"
#include "host/discovery/controller_scan.h"
#include "host/sites/sites_tree.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

enum class DiscoveryState { found_new, known, moved, missing };

// "new", "known", "moved", "missing".
const char* discoveryStateName(DiscoveryState state);

// A device of the tree with where it sits ("North Campus/Building A"; empty in the root).
struct TreeDevice {
    std::string name;
    std::string folder;
    std::string address; // as stored
};

// The serial number each tree address was last confirmed with, by device address in the
// form targetText gives it.
using SerialRecord = std::map<std::string, std::string>;

struct DiscoveryRow {
    DiscoveryState state = DiscoveryState::found_new;
    ScanTarget target; // where it answered; for a missing device, its tree address
    std::string address;
    ControllerIdentity identity; // empty for a missing device
    std::string deviceName; // the tree's device, for known, moved and missing
    std::string folder;
    std::string treeAddress; // the tree's address of a moved device
};

std::vector<TreeDevice> treeDevices(const FolderEntry& root);

// A device address that is one IPv4 address with an optional port; nothing for a host name.
std::optional<ScanTarget> deviceTarget(std::string_view address);

// One row per controller found, and one per tree device inside the ranges that did not
// answer, in address order. A controller is known at a tree device's address when the
// record gives that address its serial or no serial at all, moved when the record gives its
// serial to another address, and new otherwise.
std::vector<DiscoveryRow> compareWithTree(const std::vector<ProbeResult>& results,
    const std::vector<AddressRange>& ranges, const std::vector<TreeDevice>& devices,
    const SerialRecord& serials);

} // namespace kovrkit
