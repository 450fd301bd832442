// Growable byte buffer that downloads append to; owned by the caller of the transfer.
#pragma once

#include <cstdint>
#include <vector>

namespace kovru {

using MemoryBuffer = std::vector<std::uint8_t>;

} // namespace kovru
