// One TFTP transfer, from the request to the last acknowledgement.
#pragma once

#include "common/posix/unique_fd.h"
#include "sim/controller.h"
#include "sim/tftp_packet.h"

#include <atomic>

namespace kovru::sim {

// Runs the transfer over `socket`, already connected to the client's transfer id.
void run_tftp_transfer(Controller& controller, UniqueFd socket, const TftpRequest& request,
    const std::atomic<bool>& stopping);

} // namespace kovru::sim
