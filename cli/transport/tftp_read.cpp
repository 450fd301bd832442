#include "cli/transport/tftp_read.h"

#include "cli/log/log.h"
#include "cli/log/run_cancel.h"
#include "cli/transport/curl_easy.h"
#include "cli/transport/tftp_transfer.h"
#include "cli/transport/transfer_settings.h"
#include "common/time_divisor.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr long kReadConnectTimeoutS = 30;
constexpr long kReadTimeoutS = 300;
constexpr long kLowSpeedBytesPerS = 10;
constexpr long kLowSpeedTimeS = 30;

// The bar follows the announced size, or the caller's expected size when none is announced,
// and stops moving once more than that has arrived.
void report_download_progress(
    std::uint64_t expected_size, std::uint64_t total, std::uint64_t received)
{
    auto expected = static_cast<std::int32_t>(expected_size);
    std::int64_t whole = total != 0 ? static_cast<std::int32_t>(total) : expected;
    auto done = static_cast<std::int64_t>(received);
    if (whole > 0 && done >= 0 && done <= whole)
        set_progress(static_cast<int>(std::min<std::int64_t>(done * 100 / whole, 100)));
}

// TFTP ends a transfer at its first short block; when the controller announced the file's
// size, an earlier end is a cut transfer, not the whole file.
CURLcode whole_file_result(const TftpOutcome& outcome, const MemoryBuffer& out)
{
    if (outcome.result == CURLE_OK && outcome.announced_size
        && *outcome.announced_size != out.size())
        return CURLE_PARTIAL_FILE;
    return outcome.result;
}

TftpLimits read_limits()
{
    TftpLimits limits;
    limits.connect_timeout = std::chrono::milliseconds(scaled_timeout_ms(kReadConnectTimeoutS));
    limits.total_timeout = std::chrono::milliseconds(scaled_timeout_ms(kReadTimeoutS));
    limits.low_speed_limit = kLowSpeedBytesPerS;
    limits.low_speed_window = std::chrono::seconds(scaled_low_speed_seconds(kLowSpeedTimeS));
    return limits;
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
    // The lines of the transfer handle the tool has always printed.
    print_out("[INFO] curl_easy_init succeeded\n");
    TftpHooks hooks;
    hooks.take_data = [&out](std::span<const std::uint8_t> bytes) {
        char* data = reinterpret_cast<char*>(const_cast<std::uint8_t*>(bytes.data()));
        return append_to_memory_buffer(data, 1, bytes.size(), &out) == bytes.size();
    };
    hooks.progress = [expected_size](std::uint64_t total, std::uint64_t received) {
        report_download_progress(expected_size, total, received);
    };
    hooks.stop_requested = [] { return transfer_cancelled(); };
    const TftpLimits limits = read_limits();
    log_success("Downloading %s...", remote_name.c_str());

    for (int attempt = 1; attempt <= kTransferAttempts && !transfer_cancelled(); ++attempt) {
        if (attempt > 1) {
            empty_memory_buffer(out);
            set_progress(0);
        }
        const TftpOutcome outcome = run_tftp_read(address, remote_name, limits, hooks);
        if (!outcome.cancelled && fall_back_after_block_size_refusal(outcome.result)) {
            empty_memory_buffer(out);
            --attempt; // the repeat at the default size is the same attempt
            continue;
        }
        const CURLcode result = whole_file_result(outcome, out);
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
