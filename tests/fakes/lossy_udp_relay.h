// A UDP relay on loopback between a TFTP client and a server, which loses the packets a rule
// picks: the client talks to the relay's port, the relay to the server from a port of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <thread>

namespace kovru::testing {

class LossyUdpRelay {
public:
    // Called for every packet with its direction and its number in that direction (from 1);
    // true drops it.
    using LossRule
        = std::function<bool(bool from_client, int index, std::span<const std::uint8_t>)>;

    LossyUdpRelay(int server_port, LossRule rule);
    ~LossyUdpRelay();
    LossyUdpRelay(const LossyUdpRelay&) = delete;
    LossyUdpRelay& operator=(const LossyUdpRelay&) = delete;

    bool running() const { return client_side_ >= 0 && server_side_ >= 0; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int dropped() const { return dropped_; }

private:
    void relay();

    int server_port_;
    LossRule rule_;
    int client_side_ = -1;
    int server_side_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_ { false };
    std::atomic<int> dropped_ { 0 };
    std::thread thread_;
};

} // namespace kovru::testing
