#include "cli/transport/transfer_settings.h"

#include "cli/log/log.h"

#include <charconv>

namespace kovru {
namespace {

TransferSettings current_settings;

} // namespace

std::optional<long> parse_tftp_block_size(std::string_view text)
{
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (value < kSmallestTftpBlockSize || value > kLargestTftpBlockSize)
        return std::nullopt;
    return value;
}

void set_transfer_settings(const TransferSettings& settings)
{
    current_settings = settings;
}

const TransferSettings& transfer_settings()
{
    return current_settings;
}

long tftp_block_size()
{
    return current_settings.tftp_block_size;
}

bool fall_back_after_block_size_refusal(CURLcode result)
{
    // Our TFTP callbacks never abort a transfer, so this code only comes from an error
    // packet whose code libcurl does not know: 8, "option refused".
    if (result != CURLE_ABORTED_BY_CALLBACK
        || current_settings.tftp_block_size == kDefaultTftpBlockSize)
        return false;
    log_warning("The controller refused TFTP block size %ld; using %ld.",
        current_settings.tftp_block_size, kDefaultTftpBlockSize);
    current_settings.tftp_block_size = kDefaultTftpBlockSize;
    return true;
}

} // namespace kovru
