// Any bytes as the ranges a technician types for a discovery scan. An accepted list holds
// ranges of at most a /16 whose targets stay inside them, in order and once; a refused one
// always says why and holds nothing.
#include "host/discovery/address_ranges.h"
#include "host/discovery/tree_comparison.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void checkParse(const kovrkit::RangeParse& parse)
{
    if (!parse.ok) {
        check(!parse.message.empty() && parse.ranges.empty());
        return;
    }
    uint64_t total = 0;
    for (const kovrkit::AddressRange& range : parse.ranges) {
        check(range.first <= range.last);
        check(uint64_t(range.last) - range.first < kovrkit::kMaxRangeAddresses);
        check(range.port >= 1 && range.port <= 65535);
        total += uint64_t(range.last) - range.first + 1;
    }
    check(total <= kovrkit::kMaxScanTargets);
    // Expanding the largest lists is slow; the small ones are checked target by target.
    if (total > 4096)
        return;
    std::vector<kovrkit::ScanTarget> targets = kovrkit::scanTargets(parse.ranges);
    for (size_t i = 0; i < targets.size(); ++i) {
        check(kovrkit::rangesHold(parse.ranges, targets[i].address, targets[i].port));
        check(i == 0 || targets[i - 1] < targets[i]);
        std::optional<kovrkit::ScanTarget> back
            = kovrkit::deviceTarget(kovrkit::targetText(targets[i]));
        check(back && *back == targets[i]);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    checkParse(kovrkit::parseAddressRange(text));
    checkParse(kovrkit::parseAddressRanges({ text }));
    (void)kovrkit::deviceTarget(text);
    return 0;
}
