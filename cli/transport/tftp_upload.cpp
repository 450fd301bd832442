#include "cli/transport/tftp_upload.h"

#include "cli/log/log.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/transfer_settings.h"
#include "common/time_divisor.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kovru {
namespace {

constexpr long kUploadTimeoutS = 1800;
constexpr long kUploadConnectTimeoutS = 60;
constexpr long kUploadLowSpeedBytesPerS = 30;
constexpr long kUploadLowSpeedTimeS = 60;

// The part of the image not yet handed to curl; the caller's image itself is never touched.
struct ImageSource {
    std::span<const std::uint8_t> remaining;
    bool end_handed_out = false;
    bool last_block_acknowledged = false;
};

// libcurl asks for data only once the previous block is acknowledged. When the last block's
// number ends in 0xFFFF or 0x0000, its end-of-transfer check sees the wrapped number and
// asks for yet another block that no server acknowledges. A request after the end of the
// image has been handed out therefore means the controller has acknowledged every byte:
// the transfer is stopped here and counted as done.
std::size_t read_image(char* buffer, std::size_t size, std::size_t count, void* data)
{
    auto& source = *static_cast<ImageSource*>(data);
    if (source.remaining.empty()) {
        if (source.end_handed_out) {
            source.last_block_acknowledged = true;
            return CURL_READFUNC_ABORT;
        }
        source.end_handed_out = true;
        return 0;
    }
    std::size_t length = std::min(size * count, source.remaining.size());
    std::memcpy(buffer, source.remaining.data(), length);
    source.remaining = source.remaining.subspan(length);
    return length;
}

int report_upload_progress(void*, curl_off_t, curl_off_t, curl_off_t total, curl_off_t sent)
{
    if (transfer_cancelled())
        return 1;
    if (total > 0 && total >= sent)
        set_progress(static_cast<int>(sent * 100 / total));
    return 0;
}

CURLcode send_image(CURL* handle, std::span<const std::uint8_t> image)
{
    ImageSource source { image };
    curl_easy_setopt(handle, CURLOPT_READDATA, &source);
    curl_easy_setopt(handle, CURLOPT_TFTP_BLKSIZE, tftp_block_size());
    CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_ABORTED_BY_CALLBACK && source.last_block_acknowledged)
        return CURLE_OK;
    return result;
}

} // namespace

int upload_image(
    const std::string& address, std::span<const std::uint8_t> image, bool report_progress)
{
    if (address.empty() || image.empty())
        return 1;
    CurlEasy curl = make_curl_easy();
    if (!curl)
        return 1;
    std::string url = "tftp://" + address + "/flashraw.bin";
    print_out("%s\tpushing URL '%s'.\n", "firmware_push_tftp", url.c_str());
    log_plain("Transferring... PLEASE WAIT...");

    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_VERBOSE, verbose() ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    if (report_progress)
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, report_upload_progress);
    else
        stop_on_cancel(handle);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, scaled_timeout_ms(kUploadTimeoutS));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, scaled_timeout_ms(kUploadConnectTimeoutS));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kUploadLowSpeedBytesPerS);
    curl_easy_setopt(
        handle, CURLOPT_LOW_SPEED_TIME, scaled_low_speed_seconds(kUploadLowSpeedTimeS));
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, read_image);
    curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(image.size()));
    CURLcode result = send_image(handle, image);
    if (result != CURLE_OK && !transfer_cancelled() && fall_back_after_block_size_refusal(result))
        result = send_image(handle, image);
    if (result != CURLE_OK) {
        print_error("curl_easy_perform() failed: %s\n", curl_easy_strerror(result));
        log_error("Firmware push failed, %s.", curl_easy_strerror(result));
        curl_off_t sent = 0;
        curl_easy_getinfo(handle, CURLINFO_SIZE_UPLOAD_T, &sent);
        note_failure_cause(cause_of_transfer_error(result, sent > 0));
        return 1;
    }
    return 0;
}

} // namespace kovru
