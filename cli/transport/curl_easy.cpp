#include "cli/transport/curl_easy.h"

#include "common/time_divisor.h"

#include <thread>

namespace kovru {

void pause_before_retry()
{
    std::this_thread::sleep_for(scaled_pause(kRetryPause));
}

const char* transfer_error_text(CURLcode result)
{
    if (result == CURLE_WRITE_ERROR)
        return "Answer larger than 16 MiB, or out of memory";
    return curl_easy_strerror(result);
}

} // namespace kovru
