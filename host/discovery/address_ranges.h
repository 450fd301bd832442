// The address ranges of a discovery scan: "192.168.1.0/24", "10.0.0.5-10.0.0.40",
// "10.0.0.5-40" and "10.0.0.7", each with an optional ":port".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

inline constexpr uint32_t kMaxRangeAddresses = 65536; // a /16
inline constexpr size_t kMaxScanTargets = 4 * 65536;
inline constexpr int kDiscoveryDefaultPort = 80;

// Addresses first..last (IPv4 in host byte order, inclusive), all on one port.
struct AddressRange {
    uint32_t first = 0;
    uint32_t last = 0;
    int port = kDiscoveryDefaultPort;
    bool operator==(const AddressRange&) const = default;
};

// One address to ask.
struct ScanTarget {
    uint32_t address = 0;
    int port = kDiscoveryDefaultPort;
    auto operator<=>(const ScanTarget&) const = default;
};

struct RangeParse {
    bool ok = false;
    std::string message; // why the text was refused
    std::vector<AddressRange> ranges;
};

// Reads one range. The messages name the text as the technician typed it.
RangeParse parseAddressRange(std::string_view text);
// Reads every range; the texts may each hold several ranges separated by blanks or commas.
// Nothing is accepted when one of them is refused, or when together they hold more than
// kMaxScanTargets addresses.
RangeParse parseAddressRanges(const std::vector<std::string>& texts);

// Every address of the ranges once, in address order (then port).
std::vector<ScanTarget> scanTargets(const std::vector<AddressRange>& ranges);

bool rangesHold(const std::vector<AddressRange>& ranges, uint32_t address, int port);

std::string addressText(uint32_t address);
// "10.0.0.7" on the default port, else "10.0.0.7:8080": the form a device's address takes.
std::string targetText(const ScanTarget& target);

} // namespace kovrkit
