#include "cli/transport/tftp_read.h"

#include "cli/log/log.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/transfer_settings.h"
#include "common/time_divisor.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr long kReadConnectTimeoutS = 30;
constexpr long kReadTimeoutS = 300;
constexpr long kLowSpeedBytesPerS = 10;
constexpr long kLowSpeedTimeS = 30;

struct DownloadProgress {
    std::uint64_t expected_size = 0;
};

// The bar follows the announced size, or the caller's expected size when none is announced,
// and stops moving once more than that has arrived.
int report_download_progress(
    void* data, curl_off_t total, curl_off_t received, curl_off_t, curl_off_t)
{
    if (transfer_cancelled())
        return 1;
    const auto& progress = *static_cast<const DownloadProgress*>(data);
    auto expected = static_cast<std::int32_t>(progress.expected_size);
    std::int64_t whole = total != 0 ? static_cast<std::int32_t>(total) : expected;
    if (whole > 0 && received >= 0 && received <= whole)
        set_progress(static_cast<int>(std::min<std::int64_t>(received * 100 / whole, 100)));
    return 0;
}

// TFTP ends a transfer at its first short block; when the controller announced the file's
// size, an earlier end is a cut transfer, not the whole file.
CURLcode whole_file_result(CURL* handle, CURLcode result, const MemoryBuffer& out)
{
    curl_off_t announced = -1;
    if (result == CURLE_OK
        && curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK
        && announced >= 0 && static_cast<std::uint64_t>(announced) != out.size())
        return CURLE_PARTIAL_FILE;
    return result;
}

} // namespace

int tftp_read_memory(const std::string& address, const std::string& remote_name,
    std::uint64_t expected_size, MemoryBuffer& out)
{
    empty_memory_buffer(out);
    set_progress(0);
    if (address.empty() || remote_name.empty()) {
        log_error("[ERROR] Invalid arguments to action_read_file_memory\n");
        return 1;
    }
    std::string url = "tftp://" + address + "/" + remote_name;
    print_out("[INFO] TFTP URL: %s\n", url.c_str());
    CurlEasy curl = make_curl_easy();
    if (!curl) {
        log_error("[ERROR] curl_easy_init failed\n");
        return 1;
    }
    print_out("[INFO] curl_easy_init succeeded\n");
    DownloadProgress progress { expected_size };
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, append_to_memory_buffer);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &out);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, scaled_timeout_ms(kReadConnectTimeoutS));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, scaled_timeout_ms(kReadTimeoutS));
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytesPerS);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, scaled_low_speed_seconds(kLowSpeedTimeS));
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, report_download_progress);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &progress);
    log_success("Downloading %s...", remote_name.c_str());

    for (int attempt = 1; attempt <= kTransferAttempts && !transfer_cancelled(); ++attempt) {
        if (attempt > 1) {
            empty_memory_buffer(out);
            set_progress(0);
        }
        curl_easy_setopt(handle, CURLOPT_TFTP_BLKSIZE, tftp_block_size());
        CURLcode result = curl_easy_perform(handle);
        if (fall_back_after_block_size_refusal(result)) {
            empty_memory_buffer(out);
            --attempt; // the repeat at the default size is the same attempt
            continue;
        }
        result = whole_file_result(handle, result, out);
        if (result == CURLE_OK) {
            log_success("Download of %s completed (%lu bytes).", remote_name.c_str(),
                static_cast<unsigned long>(out.size()));
            if (expected_size == 0)
                set_progress(100);
            return 0;
        }
        log_error("Failed: %s (%d) (attempt %d/%d)", transfer_error_text(result),
            static_cast<int>(result), attempt, kTransferAttempts);
        if (attempt == kTransferAttempts || transfer_cancelled())
            note_failure_cause(cause_of_transfer_error(result, !out.empty()));
        if (attempt < kTransferAttempts && !transfer_cancelled()) {
            log_warning("Retrying download of %s (retry %d of %d)...", remote_name.c_str(), attempt,
                kTransferAttempts);
            pause_before_retry();
        }
    }
    empty_memory_buffer(out);
    return 1;
}

} // namespace kovru
