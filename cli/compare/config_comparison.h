// Two configurations compared item by item, in the order a backup fetches the items.
#pragma once

#include "cli/compare/config_source.h"

#include <string_view>

namespace kovru {

// Logs one line per item that differs (with its fields), then a summary. 0 when the two are
// equal, 1 when any item differs, 2 when an item could not be read from either side (the
// comparison stops there).
int compare_configurations(ConfigSource& old_side, ConfigSource& new_side, std::string_view change);

} // namespace kovru
