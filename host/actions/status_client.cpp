#include "host/actions/status_client.h"

#include "common/curl_handles.h"
#include "common/time_divisor.h"
#include "host/actions/status_address.h"
#include "host/bridge/payload.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace kovrkit {

namespace {

// A body beyond this is not a status document; reading stops instead of filling memory.
constexpr size_t kMaxStatusBody = 16 * 1024 * 1024;

struct SlistCleanup {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistCleanup>;

struct Transfer {
    std::string body;
    const std::atomic<bool>* abandon = nullptr;
};

size_t appendBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    size_t bytes = size * count;
    if (transfer->body.size() + bytes > kMaxStatusBody)
        return 0;
    transfer->body.append(data, bytes);
    return bytes;
}

int checkAbandon(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto* transfer = static_cast<Transfer*>(user);
    return transfer->abandon && transfer->abandon->load() ? 1 : 0;
}

std::string statusUrl(const StatusEndpoint& endpoint)
{
    std::string host;
    if (endpoint.host.find(':') == std::string::npos) {
        host = endpoint.host;
    } else {
        host = "[";
        for (char c : endpoint.host)
            host += c == '%' ? std::string("%25") : std::string(1, c);
        host += "]";
    }
    return "http://" + host + ":" + std::to_string(endpoint.port) + kStatusPath;
}

bool configure(CURL* handle, const std::string& url, curl_slist* headers, Transfer& transfer)
{
    bool ok = curl_easy_setopt(handle, CURLOPT_URL, url.c_str()) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http") == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_PROXY, "") == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_USERAGENT, kStatusUserAgent) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok
        && curl_easy_setopt(
               handle, CURLOPT_CONNECTTIMEOUT_MS, kovru::scaled_timeout_ms(kStatusTimeoutMs / 1000))
            == CURLE_OK;
    // No byte for ten seconds, while sending or waiting for the answer, ends the request.
    ok = ok && curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK;
    ok = ok
        && curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME,
               kovru::scaled_low_speed_seconds(kStatusTimeoutMs / 1000))
            == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, appendBody) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, checkAbandon) == CURLE_OK;
    ok = ok && curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer) == CURLE_OK;
    return ok;
}

StatusReading failure(int32_t code, std::string message)
{
    return { false, code, std::move(message), nlohmann::json() };
}

StatusReading sendFailure(CURLcode result)
{
    return failure(-1, "Failed to send status request (libcurl " + std::to_string(result) + ")");
}

} // namespace

StatusReading readDeviceStatus(const std::string& address, const std::atomic<bool>* abandon)
{
    static std::once_flag curlReady;
    std::call_once(curlReady, [] { curl_global_init(CURL_GLOBAL_ALL); });

    std::string trimmed(trimWhiteSpace(address));
    if (trimmed.empty())
        return failure(-1, "Missing device IP");
    kovru::CurlEasy handle = kovru::make_curl_easy();
    if (!handle)
        return failure(-1, "Failed to initialize HTTP session");
    std::optional<StatusEndpoint> endpoint = parseStatusEndpoint(trimmed);
    if (!endpoint)
        return failure(-1, "Failed to connect to device");
    HeaderList headers(curl_slist_append(nullptr, "Connection: close"));
    Transfer transfer;
    transfer.abandon = abandon;
    if (!headers || !configure(handle.get(), statusUrl(*endpoint), headers.get(), transfer))
        return failure(-1, "Failed to build HTTP request");

    CURLcode result = curl_easy_perform(handle.get());
    // A connection that broke while the request went out is given one more try.
    if (result == CURLE_SEND_ERROR) {
        transfer.body.clear();
        result = curl_easy_perform(handle.get());
    }
    long httpStatus = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_RESPONSE_CODE, &httpStatus);
    long requestBytes = 0;
    curl_easy_getinfo(handle.get(), CURLINFO_REQUEST_SIZE, &requestBytes);
    auto status = static_cast<int32_t>(httpStatus);

    if (result == CURLE_ABORTED_BY_CALLBACK)
        return failure(-1, "Status read abandoned");
    if (result != CURLE_OK) {
        if (status > 0)
            return failure(status, "Failed to read status response body");
        if (requestBytes > 0)
            return failure(-1, "Timed out waiting for status response");
        return sendFailure(result);
    }
    if (status <= 0)
        return failure(-1, "Failed to read HTTP status code");
    if (status < 200 || status > 299)
        return failure(status, "Status request failed with HTTP " + std::to_string(status));
    return readStatusBody(status, transfer.body);
}

} // namespace kovrkit
