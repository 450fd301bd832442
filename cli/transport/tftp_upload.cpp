#include "cli/transport/tftp_upload.h"

#include "cli/log/log.h"
#include "cli/log/run_cancel.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/tftp_transfer.h"
#include "cli/transport/transfer_settings.h"
#include "common/time_divisor.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr long kUploadTimeoutS = 1800;
constexpr long kUploadConnectTimeoutS = 60;
constexpr long kUploadLowSpeedBytesPerS = 30;
constexpr long kUploadLowSpeedTimeS = 60;
constexpr const char* kRemoteName = "flashraw.bin";

void report_upload_progress(std::uint64_t total, std::uint64_t sent)
{
    if (total > 0 && total >= sent)
        set_progress(static_cast<int>(sent * 100 / total));
}

TftpLimits upload_limits()
{
    TftpLimits limits;
    limits.connect_timeout = std::chrono::milliseconds(scaled_timeout_ms(kUploadConnectTimeoutS));
    limits.total_timeout = std::chrono::milliseconds(scaled_timeout_ms(kUploadTimeoutS));
    limits.low_speed_limit = kUploadLowSpeedBytesPerS;
    limits.low_speed_window = std::chrono::seconds(scaled_low_speed_seconds(kUploadLowSpeedTimeS));
    return limits;
}

} // namespace

int upload_image(
    const std::string& address, std::span<const std::uint8_t> image, bool report_progress)
{
    if (address.empty() || image.empty())
        return 1;
    std::string url = "tftp://" + address + "/" + kRemoteName;
    print_out("%s\tpushing URL '%s'.\n", "firmware_push_tftp", url.c_str());
    log_plain("Transferring... PLEASE WAIT...");

    TftpHooks hooks;
    std::uint64_t acknowledged = 0;
    hooks.progress = [&acknowledged, report_progress](std::uint64_t total, std::uint64_t sent) {
        acknowledged = sent;
        if (report_progress)
            report_upload_progress(total, sent);
    };
    hooks.stop_requested = [] { return transfer_cancelled(); };
    const TftpLimits limits = upload_limits();
    TftpOutcome outcome = run_tftp_upload(address, kRemoteName, image, limits, hooks);
    if (!outcome.cancelled && !transfer_cancelled() && outcome.result != CURLE_OK
        && fall_back_after_block_size_refusal(outcome.result))
        outcome = run_tftp_upload(address, kRemoteName, image, limits, hooks);
    if (outcome.result != CURLE_OK) {
        print_error("curl_easy_perform() failed: %s\n", curl_easy_strerror(outcome.result));
        log_error("Firmware push failed, %s.", curl_easy_strerror(outcome.result));
        note_failure_cause(cause_of_transfer_error(outcome.result, acknowledged > 0));
        return 1;
    }
    return 0;
}

} // namespace kovru
