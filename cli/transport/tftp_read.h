// Downloads of controller files over TFTP ("flashraw.bin", "flashfs.bin").
#pragma once

#include "common/memory_buffer.h"

#include <cstdint>
#include <string>

namespace kovru {

// The size of "flashraw.bin" and "flashfs.bin"; drives the progress bar of their reads.
inline constexpr std::uint64_t kFlashImageSize = 2097152;

// Reads remote_name into out with up to five attempts. 0 on success; on failure out is empty.
// expected_size drives the progress bar when the server announces no size.
int tftp_read_memory(const std::string& address, const std::string& remote_name,
    std::uint64_t expected_size, MemoryBuffer& out);

} // namespace kovru
