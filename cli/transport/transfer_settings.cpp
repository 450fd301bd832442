#include "cli/transport/transfer_settings.h"

#include "cli/log/log.h"

#include <charconv>

namespace kovru {
namespace {

TransferSettings current_settings;

std::optional<long> whole_number_in(std::string_view text, long smallest, long largest)
{
    long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    if (value < smallest || value > largest)
        return std::nullopt;
    return value;
}

} // namespace

std::optional<long> parse_tftp_block_size(std::string_view text)
{
    return whole_number_in(text, kSmallestTftpBlockSize, kLargestTftpBlockSize);
}

std::optional<int> parse_tftp_window_size(std::string_view text)
{
    std::optional<long> value = whole_number_in(text, 1, kLargestTftpWindowSize);
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
}

std::optional<int> parse_fetch_connections(std::string_view text)
{
    std::optional<long> value = whole_number_in(text, 1, kLargestFetchConnections);
    return value ? std::optional<int>(static_cast<int>(*value)) : std::nullopt;
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
    // The TFTP client gives this code to an error packet with a code beyond 7, which the
    // controller sends as 8, "option refused".
    if (result != CURLE_ABORTED_BY_CALLBACK
        || current_settings.tftp_block_size == kDefaultTftpBlockSize)
        return false;
    log_warning("The controller refused TFTP block size %ld; using %ld.",
        current_settings.tftp_block_size, kDefaultTftpBlockSize);
    current_settings.tftp_block_size = kDefaultTftpBlockSize;
    return true;
}

} // namespace kovru
