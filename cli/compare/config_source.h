// Where the configuration items of a comparison come from: a backup archive or a controller.
// Items are read one at a time, so a comparison holds only the pair it is looking at.
#pragma once

#include "cli/backup/config_items.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kovru {

struct ItemRead {
    enum class State { present, absent, trouble };
    State state = State::absent;
    // The item's tar image, when present.
    std::vector<std::uint8_t> image;
    // What went wrong, for trouble.
    std::string trouble;
};

class ConfigSource {
public:
    virtual ~ConfigSource() = default;
    virtual ItemRead read(const ConfigItem& item) = 0;
};

} // namespace kovru
