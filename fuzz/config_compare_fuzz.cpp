// Any two byte strings as the two sides of a configuration item, for a channel file, an
// input-device file and a plain item: the comparison reads them as tar images or bare files,
// converts older layouts up and renders the fields. An item always equals itself, and two
// items are equal in both directions or in neither.
#include "cli/backup/config_items.h"
#include "cli/compare/item_comparison.h"
#include "fuzz/program_output.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

constexpr unsigned kKinds[] = { 0, kovru::kKindFirstChannel, kovru::kKindFirstInputDevice };

// The first four bytes give the length of the first side; the rest is the second.
void split(std::span<const std::uint8_t> data, std::span<const std::uint8_t>& first,
    std::span<const std::uint8_t>& second)
{
    std::size_t length = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i)
        length |= static_cast<std::size_t>(data[i]) << (8 * i);
    data = data.subspan(std::min<std::size_t>(4, data.size()));
    length = std::min(length, data.size());
    first = data.first(length);
    second = data.subspan(length);
}

bool equal(
    const kovru::ConfigItem& item, std::span<const std::uint8_t> a, std::span<const std::uint8_t> b)
{
    return kovru::compare_item(item, a, b, "changed") == kovru::ItemDifference::equal;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    kovru::fuzz::discard_program_output();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> first;
    std::span<const std::uint8_t> second;
    split({ data, size }, first, second);
    for (unsigned kind : kKinds) {
        const kovru::ConfigItem& item = kovru::config_items()[kind];
        if (!equal(item, first, first) || equal(item, first, second) != equal(item, second, first))
            std::abort();
    }
    return 0;
}
