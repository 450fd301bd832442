// One TFTP read or upload to a controller address over the platform's datagram socket, with
// the run's block and window size.
#pragma once

#include "cli/transport/tftp_client.h"

#include <functional>
#include <string>

namespace kovru {

TftpOutcome run_tftp_read(const std::string& address, const std::string& remote_name,
    const TftpLimits& limits, const TftpHooks& hooks);

TftpOutcome run_tftp_upload(const std::string& address, const std::string& remote_name,
    std::span<const std::uint8_t> image, const TftpLimits& limits, const TftpHooks& hooks);

} // namespace kovru
