// One TFTP transfer, from the request to the last acknowledgement.
#pragma once

#include "common/posix/unique_fd.h"
#include "sim/controller.h"
#include "sim/tftp_packet.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kovru::sim {

// What the server agrees to of a request's options, and the OACK entries it answers with.
struct TftpNegotiation {
    std::size_t block_size = 512; // the size without the option
    std::chrono::milliseconds timeout { 1000 };
    int window_size = 1; // blocks per ACK (RFC 7440); 1 without the option
    std::optional<std::uint64_t> announced_size; // tsize of a write request
    bool block_size_refused = false; // a larger size than the controller takes, refused
    std::vector<std::pair<std::string, std::string>> accepted;
};

TftpNegotiation negotiate_tftp_options(
    const TftpRequest& request, std::uint64_t file_size, const ControllerConfig& config);

// Runs the transfer over `socket`, already connected to the client's transfer id.
void run_tftp_transfer(Controller& controller, UniqueFd socket, const TftpRequest& request,
    const std::atomic<bool>& stopping);

} // namespace kovru::sim
