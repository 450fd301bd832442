// What every transfer to a controller shares: the easy handle and the retry rhythm.
#pragma once

#include "common/curl_handles.h"
#include "common/memory_buffer.h"

#include <chrono>

namespace kovru {

inline constexpr int kTransferAttempts = 5;
inline constexpr std::chrono::milliseconds kRetryPause { 1000 };

void pause_before_retry();

} // namespace kovru
