// Growable byte buffer that downloads append to; owned by the caller of the transfer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kovru {

using MemoryBuffer = std::vector<std::uint8_t>;

// No controller answer is this large (its flash images are 2 MiB): a longer one is not what
// was asked, and reading on would only fill memory.
inline constexpr std::size_t kAnswerSizeLimit = 16 * 1024 * 1024;

// A transfer library's write callback (libcurl's CURLOPT_WRITEFUNCTION) with a MemoryBuffer
// as its data: appends the chunk. When the buffer cannot grow, or would hold more than
// kAnswerSizeLimit bytes, it is emptied and 0 is returned, which makes the transfer stop with
// a write error.
std::size_t append_to_memory_buffer(char* data, std::size_t size, std::size_t count, void* buffer);

// Frees the bytes of a buffer, not just its count.
void empty_memory_buffer(MemoryBuffer& buffer);

} // namespace kovru
