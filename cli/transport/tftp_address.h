// The controller address of a TFTP transfer, as typed for --ip: a host name or IPv4 address,
// or an IPv6 address in brackets, each with an optional ":port" (69 without one).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kovru {

inline constexpr std::uint16_t kTftpPort = 69;

struct TftpAddress {
    std::string host; // without brackets
    std::uint16_t port = kTftpPort;
};

// nullopt for an address that does not make a valid "tftp://" URL (the transfer then fails
// as a malformed URL).
std::optional<TftpAddress> parse_tftp_address(std::string_view address);

} // namespace kovru
