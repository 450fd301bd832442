// The tool's TFTP client: one read or one upload over a datagram socket (RFC 1350 with the
// options of RFC 2347, 2348, 2349 and 7440). Every lost, late, repeated or reordered packet
// either is recovered from or fails the transfer; an upload succeeds only once the server has
// acknowledged its last block, and a read only once the last block has arrived in order.
#pragma once

#include "cli/transport/udp_socket.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace kovru {

struct TftpTransferTerms {
    std::string filename;
    long block_size = 512; // asked for with "blksize"
    int window_size = 1; // asked for with "windowsize" when above 1
};

struct TftpLimits {
    std::chrono::milliseconds connect_timeout { 30000 }; // until the server's first answer
    std::chrono::milliseconds total_timeout { 300000 };
    long low_speed_limit = 10; // bytes per second ...
    std::chrono::milliseconds low_speed_window { 30000 }; // ... for this long fails it
};

struct TftpHooks {
    // A read's data, block by block; false stops it with CURLE_WRITE_ERROR.
    std::function<bool(std::span<const std::uint8_t>)> take_data;
    // The size announced (a read's "tsize", 0 when none; an upload's size) and the bytes so far.
    std::function<void(std::uint64_t total, std::uint64_t done)> progress;
    // Polled while the transfer waits; true stops it.
    std::function<bool()> stop_requested;
};

struct TftpOutcome {
    CURLcode result = CURLE_OK;
    bool cancelled = false; // stop_requested ended it
    std::optional<std::uint64_t> announced_size; // a read's "tsize"
};

TftpOutcome tftp_read(UdpSocket& socket, const UdpEndpoint& server, const TftpTransferTerms& terms,
    const TftpLimits& limits, const TftpHooks& hooks);

TftpOutcome tftp_write(UdpSocket& socket, const UdpEndpoint& server, const TftpTransferTerms& terms,
    std::span<const std::uint8_t> image, const TftpLimits& limits, const TftpHooks& hooks);

} // namespace kovru
