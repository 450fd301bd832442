#include "cli/transport/tftp_transfer.h"

#include "cli/transport/posix/posix_udp_socket.h"
#include "cli/transport/tftp_address.h"
#include "cli/transport/transfer_settings.h"

namespace kovru {
namespace {

template <typename Transfer>
TftpOutcome with_socket(const std::string& address, Transfer&& transfer)
{
    std::optional<TftpAddress> parsed = parse_tftp_address(address);
    if (!parsed)
        return { CURLE_URL_MALFORMAT, false, {} };
    OpenedUdpSocket opened = open_udp_socket(parsed->host, parsed->port);
    if (!opened.socket)
        return { opened.failure, false, {} };
    return transfer(*opened.socket, opened.server);
}

TftpTransferTerms terms_for(const std::string& remote_name)
{
    return { remote_name, tftp_block_size(), transfer_settings().tftp_window_size };
}

} // namespace

TftpOutcome run_tftp_read(const std::string& address, const std::string& remote_name,
    const TftpLimits& limits, const TftpHooks& hooks)
{
    return with_socket(address, [&](UdpSocket& socket, const UdpEndpoint& server) {
        return tftp_read(socket, server, terms_for(remote_name), limits, hooks);
    });
}

TftpOutcome run_tftp_upload(const std::string& address, const std::string& remote_name,
    std::span<const std::uint8_t> image, const TftpLimits& limits, const TftpHooks& hooks)
{
    return with_socket(address, [&](UdpSocket& socket, const UdpEndpoint& server) {
        return tftp_write(socket, server, terms_for(remote_name), image, limits, hooks);
    });
}

} // namespace kovru
