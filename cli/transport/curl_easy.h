// What every transfer to a controller shares: the easy handle and the retry rhythm.
#pragma once

#include "cli/log/run_cancel.h"
#include "cli/log/tool_events.h"
#include "common/curl_handles.h"
#include "common/memory_buffer.h"

#include <chrono>

namespace kovru {

inline constexpr int kTransferAttempts = 5;
inline constexpr std::chrono::milliseconds kRetryPause { 1000 };

// Returns early once the run is cancelled.
void pause_before_retry();

// Makes a transfer without a progress function of its own stop at its next progress step once
// the run is cancelled (curl then ends it with CURLE_ABORTED_BY_CALLBACK).
void stop_on_cancel(CURL* handle);

// curl's text for a failed transfer; a write error names its real cause, as the download
// buffers refuse answers beyond kAnswerSizeLimit.
const char* transfer_error_text(CURLcode result);

// Why a transfer that ended with result failed: no connection or no answer in time is an
// unreachable controller, unless data had already arrived; anything else is a failed transfer.
FailureCause cause_of_transfer_error(CURLcode result, bool data_arrived);

} // namespace kovru
