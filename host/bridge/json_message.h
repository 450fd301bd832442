#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace kovrkit {

// JSON whose object members keep the order they were set in, as the messages document them.
using OrderedJson = nlohmann::ordered_json;

// {"command":COMMAND,"payload":PAYLOAD} as compact JSON. Text that is not UTF-8 (a tool's
// line, a path) becomes U+FFFD instead of failing.
std::string commandMessage(const char* command, OrderedJson payload);

} // namespace kovrkit
