// How kovru-cli talks to a controller beyond the plain defaults: the TFTP block size of
// flash reads and uploads, their window size, whether item fetches keep one HTTP connection
// open and how many of them run at once.
#pragma once

#include <curl/curl.h>

#include <optional>
#include <string_view>

namespace kovru {

// The block size every TFTP transfer asks for unless --tftpblocksize says otherwise.
inline constexpr long kDefaultTftpBlockSize = 128;
inline constexpr long kSmallestTftpBlockSize = 8;
inline constexpr long kLargestTftpBlockSize = 65464;
inline constexpr int kLargestTftpWindowSize = 64;
inline constexpr int kLargestFetchConnections = 8;

struct TransferSettings {
    long tftp_block_size = kDefaultTftpBlockSize;
    bool reuse_connection = false;
    int tftp_window_size = 1; // blocks per acknowledgement (RFC 7440); 1: the option is not sent
    int fetch_connections = 1; // item fetches at once
};

// The --tftpblocksize value: a whole number from 8 to 65464; nullopt otherwise.
std::optional<long> parse_tftp_block_size(std::string_view text);

// --tftpwindowsize (1 to 64) and --fetchconnections (1 to 8): a whole number in range.
std::optional<int> parse_tftp_window_size(std::string_view text);
std::optional<int> parse_fetch_connections(std::string_view text);

// Set once from the command line, before the first transfer.
void set_transfer_settings(const TransferSettings& settings);
const TransferSettings& transfer_settings();

// The block size the next TFTP transfer asks for.
long tftp_block_size();

// Whether a failed TFTP transfer was the controller refusing the block-size option (an
// error packet with code 8, reported as an unknown TFTP error) while a size
// other than the default was asked for. Then the rest of the run uses the default size, a
// warning is logged, and the caller repeats the transfer once.
bool fall_back_after_block_size_refusal(CURLcode result);

} // namespace kovru
