#include "cli/firmware/verify_upgrade.h"

#include "cli/controller_api/controller_status.h"
#include "cli/controller_api/status_document.h"
#include "cli/firmware/firmware_info.h"
#include "cli/log/log.h"
#include "cli/transport/curl_easy.h"
#include "common/curl_handles.h"
#include "common/memory_buffer.h"
#include "common/time_divisor.h"

#include <charconv>
#include <thread>

namespace kovru {
namespace {

// How soon a wait between polls notices a cancel.
constexpr std::chrono::milliseconds kCancelSlice { 50 };

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPollInterval { 1000 };
// A restarting controller may take a request and never answer it; the next poll, on a new
// connection, is answered once it is up again. So no poll may wait longer than this.
constexpr long kPollTimeoutSeconds = 3;

// The reported "firmware_version", or nullopt when the controller did not answer in time
// or sent no status document.
std::optional<std::string> poll_firmware_version(const std::string& url, milliseconds budget)
{
    CurlEasy curl = make_curl_easy();
    if (!curl)
        return std::nullopt;
    MemoryBuffer body;
    CURL* handle = curl.get();
    long budget_ms = std::max<long>(1, static_cast<long>(budget.count()));
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, verbose() ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, budget_ms);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, budget_ms);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, append_to_memory_buffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &body);
    stop_on_cancel(handle);
    if (curl_easy_perform(handle) != CURLE_OK)
        return std::nullopt;
    ControllerStatus status;
    std::string_view text(reinterpret_cast<const char*>(body.data()), body.size());
    read_status_document(text, status);
    return status.firmware_version();
}

} // namespace

std::optional<std::chrono::seconds> parse_verify_seconds(std::string_view text)
{
    long long seconds = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (error != std::errc() || end != text.data() + text.size() || seconds < 1
        || seconds > kVerifyUpgradeMax.count())
        return std::nullopt;
    return std::chrono::seconds(seconds);
}

bool verify_upgrade(
    const std::string& base, const std::string& expected_version, std::chrono::seconds limit)
{
    const std::string url = base + "/api/v100/status.ssi";
    print_out("%s\tverifying URL '%s'.\n", "firmware", url.c_str());
    const Clock::time_point deadline = Clock::now() + limit;
    std::optional<std::string> last_reported;
    for (;;) {
        const Clock::time_point poll_start = Clock::now();
        if (poll_start >= deadline || transfer_cancelled())
            break;
        const milliseconds left = std::chrono::duration_cast<milliseconds>(deadline - poll_start);
        const milliseconds budget
            = std::min(left, milliseconds(scaled_timeout_ms(kPollTimeoutSeconds)));
        std::optional<std::string> reported = poll_firmware_version(url, budget);
        if (reported == expected_version) {
            log_success("Controller reports firmware %s", printable_text(*reported).c_str());
            return true;
        }
        if (reported && reported != last_reported)
            log_plain("Controller reports firmware %s", printable_text(*reported).c_str());
        if (reported)
            last_reported = reported;
        const Clock::time_point next = std::min(poll_start + scaled_pause(kPollInterval), deadline);
        while (Clock::now() < next && !transfer_cancelled())
            std::this_thread::sleep_for(
                std::min<Clock::duration>(next - Clock::now(), kCancelSlice));
    }
    log_error("Controller did not report firmware %s within %lld s",
        printable_text(expected_version).c_str(), static_cast<long long>(limit.count()));
    return false;
}

} // namespace kovru
