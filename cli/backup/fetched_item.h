// One configuration item as the controller answered it.
#pragma once

#include "common/memory_buffer.h"

#include <optional>
#include <string>

namespace kovru {

struct FetchedItem {
    // The tar image exactly as received; empty when the fetch or its check failed.
    MemoryBuffer image;
    // From the image's "status.txt"; absent when it did not name them.
    std::optional<std::string> model_name;
    std::optional<std::string> firmware_version;
    std::optional<std::string> serial_number;
    std::optional<std::string> mac;
};

} // namespace kovru
