#include "host/discovery/address_ranges.h"

#include <algorithm>
#include <optional>

namespace kovrkit {

namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view trimmed(std::string_view text)
{
    size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos)
        return {};
    size_t end = text.find_last_not_of(kBlanks);
    return text.substr(start, end - start + 1);
}

bool allDigits(std::string_view text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A number of at most `maxDigits` digits.
std::optional<uint32_t> smallNumber(std::string_view text, size_t maxDigits)
{
    if (!allDigits(text) || text.size() > maxDigits)
        return std::nullopt;
    uint32_t value = 0;
    for (char c : text)
        value = value * 10 + static_cast<uint32_t>(c - '0');
    return value;
}

std::string quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

std::string unreadable(std::string_view text)
{
    return "Cannot read " + quoted(text)
        + " as an address range (use 192.168.1.0/24, 192.168.1.10-192.168.1.50 or "
          "192.168.1.7, each with an optional :port)";
}

std::string notIpv4(std::string_view text)
{
    return quoted(text) + " is not an IPv4 address; only IPv4 addresses can be scanned";
}

std::string withThousands(uint64_t value)
{
    std::string digits = std::to_string(value);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

std::string tooLarge(std::string_view text, uint64_t count)
{
    return "The range " + quoted(text) + " holds " + withThousands(count)
        + " addresses; one range may hold at most 65,536 (a /16)";
}

enum class AddressRead { ok, unreadable, outside };

// Four decimal octets. A dotted text of numbers with an octet beyond 255, or one that looks
// like an IPv6 address, is outside IPv4 rather than unreadable.
AddressRead readAddress(std::string_view text, uint32_t& address)
{
    if (text.find(':') != std::string_view::npos || text.find('[') != std::string_view::npos)
        return AddressRead::outside;
    uint32_t value = 0;
    int parts = 0;
    bool beyondOctet = false;
    size_t start = 0;
    while (true) {
        size_t dot = text.find('.', start);
        std::string_view part
            = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
        std::optional<uint32_t> number = smallNumber(part, 10);
        if (!number || ++parts > 4)
            return AddressRead::unreadable;
        beyondOctet = beyondOctet || *number > 255 || part.size() > 3;
        value = (value << 8) | (*number & 0xFF);
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    if (parts != 4)
        return AddressRead::unreadable;
    if (beyondOctet)
        return AddressRead::outside;
    address = value;
    return AddressRead::ok;
}

RangeParse refused(std::string message)
{
    return { false, std::move(message), {} };
}

RangeParse accepted(uint32_t first, uint32_t last, int port)
{
    return { true, {}, { AddressRange { first, last, port } } };
}

RangeParse readPrefixRange(std::string_view whole, std::string_view body, int port)
{
    size_t slash = body.find('/');
    uint32_t address = 0;
    AddressRead read = readAddress(body.substr(0, slash), address);
    if (read == AddressRead::outside)
        return refused(notIpv4(whole));
    std::optional<uint32_t> prefix = smallNumber(body.substr(slash + 1), 2);
    if (read != AddressRead::ok || !prefix || *prefix > 32)
        return refused(unreadable(whole));
    uint64_t count = uint64_t(1) << (32 - *prefix);
    if (count > kMaxRangeAddresses)
        return refused(tooLarge(whole, count));
    uint32_t first = address & ~static_cast<uint32_t>(count - 1);
    return accepted(first, first + static_cast<uint32_t>(count - 1), port);
}

RangeParse readSpanRange(std::string_view whole, std::string_view body, int port)
{
    size_t dash = body.find('-');
    uint32_t first = 0;
    uint32_t last = 0;
    AddressRead fromRead = readAddress(trimmed(body.substr(0, dash)), first);
    std::string_view toText = trimmed(body.substr(dash + 1));
    AddressRead toRead = AddressRead::unreadable;
    if (std::optional<uint32_t> lastOctet = smallNumber(toText, 3)) {
        toRead = *lastOctet > 255 ? AddressRead::outside : AddressRead::ok;
        last = (first & 0xFFFFFF00u) | *lastOctet;
    } else {
        toRead = readAddress(toText, last);
    }
    if (fromRead == AddressRead::outside || toRead == AddressRead::outside)
        return refused(notIpv4(whole));
    if (fromRead != AddressRead::ok || toRead != AddressRead::ok)
        return refused(unreadable(whole));
    if (last < first)
        return refused("The range " + quoted(whole) + " ends before it starts");
    uint64_t count = uint64_t(last) - first + 1;
    if (count > kMaxRangeAddresses)
        return refused(tooLarge(whole, count));
    return accepted(first, last, port);
}

} // namespace

RangeParse parseAddressRange(std::string_view text)
{
    std::string_view whole = trimmed(text);
    if (whole.empty())
        return refused("An empty address range cannot be scanned");
    // A second colon or a bracket is an IPv6 address, never a port.
    size_t colon = whole.find(':');
    if (whole.find('[') != std::string_view::npos
        || (colon != std::string_view::npos
            && whole.find(':', colon + 1) != std::string_view::npos))
        return refused(notIpv4(whole));
    std::string_view body = whole.substr(0, colon);
    int port = kDiscoveryDefaultPort;
    if (colon != std::string_view::npos) {
        std::optional<uint32_t> number = smallNumber(whole.substr(colon + 1), 5);
        if (!number || *number < 1 || *number > 65535)
            return refused(quoted(whole) + " has no valid port (1 to 65535)");
        port = static_cast<int>(*number);
    }
    bool prefix = body.find('/') != std::string_view::npos;
    bool span = body.find('-') != std::string_view::npos;
    if (prefix && span)
        return refused(unreadable(whole));
    if (prefix)
        return readPrefixRange(whole, body, port);
    if (span)
        return readSpanRange(whole, body, port);
    uint32_t address = 0;
    switch (readAddress(body, address)) {
    case AddressRead::ok:
        return accepted(address, address, port);
    case AddressRead::outside:
        return refused(notIpv4(whole));
    case AddressRead::unreadable:
        break;
    }
    return refused(unreadable(whole));
}

RangeParse parseAddressRanges(const std::vector<std::string>& texts)
{
    RangeParse all { true, {}, {} };
    for (const std::string& text : texts) {
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find_first_of(" \t\r\n,", start);
            if (end == std::string::npos)
                end = text.size();
            if (end > start) {
                RangeParse one
                    = parseAddressRange(std::string_view(text).substr(start, end - start));
                if (!one.ok)
                    return one;
                all.ranges.push_back(one.ranges.front());
            }
            start = end + 1;
        }
    }
    if (all.ranges.empty())
        return refused("No address range given");
    uint64_t count = 0;
    for (const AddressRange& range : all.ranges)
        count += uint64_t(range.last) - range.first + 1;
    if (count > kMaxScanTargets)
        return refused("The ranges hold " + withThousands(count)
            + " addresses; one scan may ask at most " + withThousands(kMaxScanTargets));
    return all;
}

std::vector<ScanTarget> scanTargets(const std::vector<AddressRange>& ranges)
{
    uint64_t total = 0;
    for (const AddressRange& range : ranges)
        total += uint64_t(range.last) - range.first + 1;
    std::vector<ScanTarget> targets;
    targets.reserve(total);
    for (const AddressRange& range : ranges) {
        for (uint64_t address = range.first; address <= range.last; ++address)
            targets.push_back({ static_cast<uint32_t>(address), range.port });
    }
    std::sort(targets.begin(), targets.end());
    targets.erase(std::unique(targets.begin(), targets.end()), targets.end());
    return targets;
}

bool rangesHold(const std::vector<AddressRange>& ranges, uint32_t address, int port)
{
    return std::any_of(ranges.begin(), ranges.end(), [&](const AddressRange& range) {
        return range.port == port && address >= range.first && address <= range.last;
    });
}

std::string addressText(uint32_t address)
{
    return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "."
        + std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string targetText(const ScanTarget& target)
{
    std::string text = addressText(target.address);
    if (target.port != kDiscoveryDefaultPort)
        text += ":" + std::to_string(target.port);
    return text;
}

} // namespace kovrkit
