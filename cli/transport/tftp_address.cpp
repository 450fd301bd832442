#include "cli/transport/tftp_address.h"

#include <algorithm>
#include <charconv>

namespace kovru {
namespace {

bool host_character(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
        || c == '-' || c == '_';
}

bool ipv6_character(char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':'
        || c == '.';
}

std::optional<std::uint16_t> port_of(std::string_view text)
{
    unsigned value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0
        || value > 65535)
        return std::nullopt;
    return static_cast<std::uint16_t>(value);
}

} // namespace

std::optional<TftpAddress> parse_tftp_address(std::string_view address)
{
    TftpAddress parsed;
    std::string_view rest;
    if (address.starts_with('[')) {
        const std::size_t close = address.find(']');
        if (close == std::string_view::npos)
            return std::nullopt;
        std::string_view host = address.substr(1, close - 1);
        if (host.empty() || !std::all_of(host.begin(), host.end(), ipv6_character))
            return std::nullopt;
        parsed.host = std::string(host);
        rest = address.substr(close + 1);
    } else {
        const std::size_t colon = address.find(':');
        std::string_view host = address.substr(0, colon);
        if (host.empty() || !std::all_of(host.begin(), host.end(), host_character))
            return std::nullopt;
        parsed.host = std::string(host);
        rest = colon == std::string_view::npos ? std::string_view {} : address.substr(colon);
    }
    if (!rest.empty()) {
        if (rest.front() != ':')
            return std::nullopt;
        std::optional<std::uint16_t> port = port_of(rest.substr(1));
        if (!port)
            return std::nullopt;
        parsed.port = *port;
    }
    return parsed;
}

} // namespace kovru
