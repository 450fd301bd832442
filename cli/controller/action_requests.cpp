#include "cli/controller/action_requests.h"

#include "cli/controller_api/http_request.h"
#include "cli/log/log.h"
#include "cli/transport/curl_easy.h"
#include "common/curl_handles.h"

#include <cstdio>

namespace kovru {
namespace {

// Why a request did not reach its end, or empty when the controller accepted it. A refusal
// (HTTP status 400 and above) counts as a failure: the controller did not act.
std::string perform_action_request(const std::string& url)
{
    CurlEasy curl = make_curl_easy();
    if (!curl)
        return "curl_easy_init failed";
    set_controller_request_options(curl.get(), url, verbose());
    curl_easy_setopt(curl.get(), CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl.get(), CURLOPT_WRITEFUNCTION, discard_body);
    CURLcode result = curl_easy_perform(curl.get());
    if (result != CURLE_OK) {
        print_error("curl_easy_perform() failed: %s\n", curl_easy_strerror(result));
        note_failure_cause(cause_of_transfer_error(result, false));
        return curl_easy_strerror(result);
    }
    long status = http_status_of(curl.get());
    if (status >= 400) {
        std::string reason
            = "the controller refused it (HTTP status " + std::to_string(status) + ")";
        print_error("%s\n", reason.c_str());
        note_failure_cause(FailureCause::controller_refused);
        return reason;
    }
    return {};
}

struct UpgradeTexts {
    const char* tag;
    const char* action;
    const char* before;
    const char* failure;
    const char* after;
};

int request_upgrade(const std::string& base, std::span<const std::uint8_t, 32> sha256,
    std::size_t size, const UpgradeTexts& texts)
{
    if (base.empty())
        return 1;
    std::string url = base + "/api/v100/status.ssi?action=" + texts.action
        + "&hash=" + digest_hex(sha256) + "&size=" + std::to_string(size);
    print_out("%s\tpushing URL '%s'.\n", texts.tag, url.c_str());
    log_plain("%s", texts.before);
    std::string failure = perform_action_request(url);
    if (!failure.empty())
        log_error("%s, %s.", texts.failure, failure.c_str());
    log_plain("%s", texts.after);
    return failure.empty() ? 0 : 2;
}

} // namespace

std::string digest_hex(std::span<const std::uint8_t, 32> sha256)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (std::uint8_t byte : sha256) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

int request_restore(const std::string& base)
{
    if (base.empty())
        return 1;
    std::string url = base + "/api/v100/status.ssi?action=restoreconfig";
    print_out("%s\tpushing URL '%s'.\n", "backup_put", url.c_str());
    return perform_action_request(url).empty() ? 0 : 1;
}

int request_firmware_upgrade(
    const std::string& base, std::span<const std::uint8_t, 32> sha256, std::size_t size)
{
    return request_upgrade(base, sha256, size,
        { "firmware", "firmwareupgrade", "Applying firmware upgrade... PLEASE WAIT...",
            "Firmware push failed", "Verifying firmware upgrade... PLEASE WAIT..." });
}

int request_d2fw_upgrade(
    const std::string& base, std::span<const std::uint8_t, 32> sha256, std::size_t size)
{
    return request_upgrade(base, sha256, size,
        { "d2fw", "deviced2fwupgrade", "Confirming the device firmware upgrade file....",
            "Device firmware file push failed", "Verifying the device firmware upgrade file..." });
}

} // namespace kovru
