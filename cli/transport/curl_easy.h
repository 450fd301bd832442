// What every transfer to a controller shares: the easy handle and the retry rhythm.
#pragma once

#include "common/curl_handles.h"
#include "common/memory_buffer.h"

#include <chrono>

namespace kovru {

inline constexpr int transfer_attempts = 5;
inline constexpr std::chrono::milliseconds retry_pause { 1000 };

void pause_before_retry();

} // namespace kovru
