#include "cli/compare/config_comparison.h"

#include "cli/compare/item_comparison.h"
#include "cli/log/log.h"
#include "common/exit_status.h"

#include <optional>
#include <span>

namespace kovru {
namespace {

struct Tally {
    std::size_t compared = 0;
    std::size_t added = 0;
    std::size_t removed = 0;
    std::size_t changed = 0;
    std::size_t differing() const { return added + removed + changed; }
};

std::optional<std::span<const std::uint8_t>> image_of(const ItemRead& read)
{
    if (read.state != ItemRead::State::present)
        return std::nullopt;
    return std::span<const std::uint8_t>(read.image);
}

void count(Tally& tally, ItemDifference difference)
{
    switch (difference) {
    case ItemDifference::added:
        ++tally.added;
        break;
    case ItemDifference::removed:
        ++tally.removed;
        break;
    case ItemDifference::changed:
        ++tally.changed;
        break;
    case ItemDifference::equal:
        break;
    }
}

} // namespace

int compare_configurations(ConfigSource& old_side, ConfigSource& new_side, std::string_view change)
{
    Tally tally;
    const auto order = default_fetch_order();
    for (std::size_t k = 0; k < order.size(); ++k) {
        set_progress(static_cast<int>(k * 100 / order.size()));
        const ConfigItem& item = config_items()[order[k]];
        const ItemRead old_read = old_side.read(item);
        const ItemRead new_read
            = old_read.state == ItemRead::State::trouble ? ItemRead {} : new_side.read(item);
        for (const ItemRead* read : { &old_read, &new_read })
            if (read->state == ItemRead::State::trouble) {
                log_error("Comparison stopped: %s.", read->trouble.c_str());
                return exit_refused;
            }
        if (old_read.state == ItemRead::State::present
            || new_read.state == ItemRead::State::present)
            ++tally.compared;
        count(tally, compare_item(item, image_of(old_read), image_of(new_read), change));
    }
    set_progress(100);
    if (tally.differing() == 0) {
        log_success("The configurations are equal (%zu items compared).", tally.compared);
        return exit_complete;
    }
    log_warning("%zu of %zu configuration items differ: %zu added, %zu removed, %zu changed.",
        tally.differing(), tally.compared, tally.added, tally.removed, tally.changed);
    return exit_failed;
}

} // namespace kovru
