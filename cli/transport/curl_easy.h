// One libcurl easy handle per transfer, owned; and the download write callback.
#pragma once

#include "common/memory_buffer.h"

#include "common/curl_handles.h"

#include <chrono>
#include <cstddef>

namespace kovru {

// CURLOPT_WRITEFUNCTION with a MemoryBuffer as its data: appends the chunk. When the buffer
// cannot grow it is emptied and 0 is returned, which makes curl abort with a write error.
std::size_t append_to_memory_buffer(char* data, std::size_t size, std::size_t count, void* buffer);

// Frees the bytes of a buffer, not just its count.
void empty_memory_buffer(MemoryBuffer& buffer);

inline constexpr int transfer_attempts = 5;
inline constexpr std::chrono::milliseconds retry_pause { 1000 };

void pause_before_retry();

} // namespace kovru
