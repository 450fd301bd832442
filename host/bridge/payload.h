#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace kovrkit {

// The member `key` when it is a JSON string; "" for a missing member or any other type.
std::string getPayloadString(const nlohmann::json& payload, const char* key);

// `text` without leading and trailing white space (space, tab, line feed, vertical tab,
// form feed, carriage return).
std::string_view trimWhiteSpace(std::string_view text);

// The addresses of a comma-separated list, each trimmed, blank pieces dropped, order and
// duplicates kept.
std::vector<std::string> parseIpList(std::string_view ipsCsv);

} // namespace kovrkit
