#include "sim/tftp_server.h"

#include "sim/sockets.h"
#include "sim/tftp_packet.h"
#include "sim/tftp_transfer.h"

#include <sys/socket.h>

#include <chrono>
#include <memory>
#include <vector>

namespace kovru::sim {
namespace {

using namespace std::chrono_literals;

constexpr auto kPollInterval = 200ms;
constexpr std::size_t kRequestLimit = 1024;

} // namespace

TftpServer::TftpServer(Controller& controller, UniqueFd socket)
    : controller_(controller)
    , socket_(std::move(socket))
    , listener_([this] { listen_loop(); })
{
}

TftpServer::~TftpServer()
{
    stop();
}

void TftpServer::stop()
{
    stopping_ = true;
    if (listener_.joinable())
        listener_.join();
    workers_.wait_all();
}

void TftpServer::listen_loop()
{
    std::vector<std::uint8_t> packet(kRequestLimit);
    while (!stopping_) {
        if (!wait_readable(socket_.get(), kPollInterval))
            continue;
        sockaddr_in peer {};
        socklen_t peer_length = sizeof peer;
        ssize_t received = ::recvfrom(socket_.get(), packet.data(), packet.size(), 0,
            reinterpret_cast<sockaddr*>(&peer), &peer_length);
        if (received <= 0 || controller_.config().faults.tftp_silent)
            continue;
        std::optional<TftpRequest> request
            = parse_tftp_request(std::span(packet.data(), static_cast<std::size_t>(received)));
        UniqueFd transfer = open_transfer_socket(controller_.config().ip, peer);
        if (!transfer.valid())
            continue;
        if (!request) {
            auto error = tftp_error(TftpErrorCode::illegal_operation, "Illegal TFTP operation");
            ::send(transfer.get(), error.data(), error.size(), 0);
            continue;
        }
        auto shared = std::make_shared<UniqueFd>(std::move(transfer));
        workers_.start([this, shared, request = std::move(*request)] {
            run_tftp_transfer(controller_, std::move(*shared), request, stopping_);
        });
    }
}

} // namespace kovru::sim
