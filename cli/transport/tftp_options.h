// The options of a TFTP request and the check of the server's acknowledgement of them:
// transfer size and time-out (RFC 2349), block size (RFC 2348), window size (RFC 7440).
#pragma once

#include "cli/transport/tftp_packets.h"

#include <cstdint>
#include <optional>

namespace kovru {

inline constexpr long kTftpPlainBlockSize = 512; // without the option, or when it is ignored

struct TftpAsked {
    bool reading = true;
    std::uint64_t transfer_size = 0; // 0 on a read: "tell me the size"
    long block_size = kTftpPlainBlockSize;
    int timeout_s = 1;
    int window_size = 1; // 1: the option is not sent
};

struct TftpAgreed {
    long block_size = kTftpPlainBlockSize;
    int window_size = 1;
    std::optional<std::uint64_t> transfer_size; // what a read's server announced
};

// In the order "tsize", "blksize", "timeout", then "windowsize" when more than 1 is asked.
TftpOptionList tftp_request_options(const TftpAsked& asked);

// The terms of an OACK, or nullopt when it holds an option that was not asked for, an option
// twice, or a value beyond what was asked (a larger block or window, another time-out or
// upload size, or not a number): the client then refuses it (error 8).
std::optional<TftpAgreed> accept_tftp_oack(const TftpOptionList& oack, const TftpAsked& asked);

} // namespace kovru
