// How kovru-cli talks to a controller beyond the plain defaults: the TFTP block size of
// flash reads and uploads, and whether item fetches keep one HTTP connection open.
#pragma once

#include <curl/curl.h>

#include <optional>
#include <string_view>

namespace kovru {

// The block size every TFTP transfer asks for unless --tftpblocksize says otherwise.
inline constexpr long kDefaultTftpBlockSize = 128;
inline constexpr long kSmallestTftpBlockSize = 8;
inline constexpr long kLargestTftpBlockSize = 65464;

struct TransferSettings {
    long tftp_block_size = kDefaultTftpBlockSize;
    bool reuse_connection = false;
};

// The --tftpblocksize value: a whole number from 8 to 65464; nullopt otherwise.
std::optional<long> parse_tftp_block_size(std::string_view text);

// Set once from the command line, before the first transfer.
void set_transfer_settings(const TransferSettings& settings);
const TransferSettings& transfer_settings();

// The block size the next TFTP transfer asks for.
long tftp_block_size();

// Whether a failed TFTP transfer was the controller refusing the block-size option (an
// error packet with code 8, which libcurl reports as an unknown TFTP error) while a size
// other than the default was asked for. Then the rest of the run uses the default size, a
// warning is logged, and the caller repeats the transfer once.
bool fall_back_after_block_size_refusal(CURLcode result);

} // namespace kovru
