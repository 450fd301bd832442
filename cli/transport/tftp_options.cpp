#include "cli/transport/tftp_options.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace kovru {
namespace {

constexpr long kSmallestBlock = 8;

std::optional<std::uint64_t> whole_number(const std::string& text)
{
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
        [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    return text;
}

// Applies one acknowledged option; false when its value was not asked for.
bool take_option(
    const std::string& name, std::uint64_t value, const TftpAsked& asked, TftpAgreed& agreed)
{
    if (name == "blksize") {
        if (value < static_cast<std::uint64_t>(kSmallestBlock)
            || value > static_cast<std::uint64_t>(asked.block_size))
            return false;
        agreed.block_size = static_cast<long>(value);
        return true;
    }
    if (name == "windowsize") {
        if (asked.window_size <= 1 || value < 1
            || value > static_cast<std::uint64_t>(asked.window_size))
            return false;
        agreed.window_size = static_cast<int>(value);
        return true;
    }
    if (name == "timeout")
        return value == static_cast<std::uint64_t>(asked.timeout_s);
    if (name == "tsize") {
        if (!asked.reading)
            return value == asked.transfer_size;
        agreed.transfer_size = value;
        return true;
    }
    return false;
}

} // namespace

TftpOptionList tftp_request_options(const TftpAsked& asked)
{
    TftpOptionList options {
        { "tsize", std::to_string(asked.reading ? 0 : asked.transfer_size) },
        { "blksize", std::to_string(asked.block_size) },
        { "timeout", std::to_string(asked.timeout_s) },
    };
    if (asked.window_size > 1)
        options.emplace_back("windowsize", std::to_string(asked.window_size));
    return options;
}

std::optional<TftpAgreed> accept_tftp_oack(const TftpOptionList& oack, const TftpAsked& asked)
{
    TftpAgreed agreed;
    std::vector<std::string> seen;
    for (const auto& [raw_name, text] : oack) {
        std::string name = lower(raw_name);
        if (std::find(seen.begin(), seen.end(), name) != seen.end())
            return std::nullopt;
        seen.push_back(name);
        std::optional<std::uint64_t> value = whole_number(text);
        if (!value || !take_option(name, *value, asked, agreed))
            return std::nullopt;
    }
    return agreed;
}

} // namespace kovru
