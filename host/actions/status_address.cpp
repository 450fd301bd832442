#include "host/actions/status_address.h"

#include <algorithm>
#include <cctype>

namespace kovrkit {

namespace {

bool isHostCharacter(char c, bool bracketed)
{
    auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '.' || c == '-' || c == '_')
        return true;
    // Inside brackets: IPv6 groups and a zone ("fe80::1%eth0").
    return bracketed && (c == ':' || c == '%');
}

bool isHost(std::string_view host, bool bracketed)
{
    return !host.empty() && std::all_of(host.begin(), host.end(), [&](char c) {
        return isHostCharacter(c, bracketed);
    });
}

std::optional<int> parsePort(std::string_view text)
{
    if (text.empty() || text.size() > 5)
        return std::nullopt;
    int port = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return port;
}

} // namespace

std::optional<StatusEndpoint> parseStatusEndpoint(std::string_view address)
{
    if (address.starts_with('[')) {
        size_t close = address.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        std::string_view host = address.substr(1, close - 1);
        std::string_view rest = address.substr(close + 1);
        if (!isHost(host, true))
            return std::nullopt;
        if (rest.empty())
            return StatusEndpoint { std::string(host), 80 };
        if (!rest.starts_with(':'))
            return std::nullopt;
        std::optional<int> port = parsePort(rest.substr(1));
        if (!port)
            return std::nullopt;
        return StatusEndpoint { std::string(host), *port };
    }
    size_t colons = std::count(address.begin(), address.end(), ':');
    if (colons > 1) // a bare IPv6 address
        return isHost(address, true) ? std::optional(StatusEndpoint { std::string(address), 80 })
                                     : std::nullopt;
    size_t colon = address.find(':');
    std::string_view host = address.substr(0, colon);
    if (!isHost(host, false))
        return std::nullopt;
    if (colon == std::string_view::npos)
        return StatusEndpoint { std::string(host), 80 };
    std::optional<int> port = parsePort(address.substr(colon + 1));
    if (!port)
        return std::nullopt;
    return StatusEndpoint { std::string(host), *port };
}

} // namespace kovrkit
