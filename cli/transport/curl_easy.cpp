#include "cli/transport/curl_easy.h"

#include <thread>

namespace kovru {

void pause_before_retry()
{
    std::this_thread::sleep_for(kRetryPause);
}

} // namespace kovru
