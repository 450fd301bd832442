// A discovery's rows as the table the technician reads and as JSON.
#pragma once

#include "host/discovery/tree_comparison.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace kovrkit {

struct DiscoverySummary {
    size_t scanned = 0;
    bool comparedWithTree = false;
};

// Columns State, Address, Model, Firmware, Serial, MAC, Device; a summary line last.
std::string discoveryTable(const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary);

// {"scanned": N, "tree": bool, "rows": [{"state", "address", "model", "firmware", "serial",
// "mac", "device", "folder", "treeAddress"}]}
nlohmann::json discoveryJson(
    const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary);

// "Scanned 256 addresses: 5 controllers (3 new, 1 known, 1 moved), 1 missing"
std::string discoverySummaryLine(
    const std::vector<DiscoveryRow>& rows, const DiscoverySummary& summary);

} // namespace kovrkit
