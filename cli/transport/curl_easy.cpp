#include "cli/transport/curl_easy.h"

#include "common/time_divisor.h"

#include <thread>

namespace kovru {

void pause_before_retry()
{
    constexpr std::chrono::milliseconds kSlice { 50 };
    const auto end = std::chrono::steady_clock::now() + scaled_pause(kRetryPause);
    while (!transfer_cancelled() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(kSlice);
}

namespace {

int abort_when_cancelled(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return transfer_cancelled() ? 1 : 0;
}

} // namespace

void stop_on_cancel(CURL* handle)
{
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, abort_when_cancelled);
}

const char* transfer_error_text(CURLcode result)
{
    if (result == CURLE_WRITE_ERROR)
        return "Answer larger than 16 MiB, or out of memory";
    return curl_easy_strerror(result);
}

FailureCause cause_of_transfer_error(CURLcode result, bool data_arrived)
{
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
        return FailureCause::unreachable;
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        return data_arrived ? FailureCause::transfer_failed : FailureCause::unreachable;
    case CURLE_ABORTED_BY_CALLBACK:
        return transfer_cancelled() ? FailureCause::cancelled : FailureCause::transfer_failed;
    default:
        return FailureCause::transfer_failed;
    }
}

} // namespace kovru
