#include "cli/controller_api/http_request.h"

#include "common/time_divisor.h"

namespace kovru {
namespace {

constexpr long kConnectTimeoutS = 60;
constexpr long kStallBytesPerS = 1;
constexpr long kStallTimeS = 60;

} // namespace

void set_controller_request_options(CURL* handle, const std::string& url, bool trace)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, trace ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, scaled_timeout_ms(kConnectTimeoutS));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kStallBytesPerS);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, scaled_low_speed_seconds(kStallTimeS));
}

long http_status_of(CURL* handle)
{
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    return status;
}

std::size_t discard_body(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

} // namespace kovru
