#include "host/bridge/payload.h"

namespace kovrkit {

std::string getPayloadString(const nlohmann::json& payload, const char* key)
{
    if (!payload.is_object())
        return {};
    auto member = payload.find(key);
    if (member == payload.end() || !member->is_string())
        return {};
    return member->get<std::string>();
}

std::string_view trimWhiteSpace(std::string_view text)
{
    constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";
    auto first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos)
        return {};
    auto last = text.find_last_not_of(kWhiteSpace);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> parseIpList(std::string_view ipsCsv)
{
    std::vector<std::string> addresses;
    while (true) {
        auto comma = ipsCsv.find(',');
        std::string_view piece = trimWhiteSpace(ipsCsv.substr(0, comma));
        if (!piece.empty())
            addresses.emplace_back(piece);
        if (comma == std::string_view::npos)
            break;
        ipsCsv.remove_prefix(comma + 1);
    }
    return addresses;
}

} // namespace kovrkit
