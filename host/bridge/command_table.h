#pragma once

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace kovrkit {

// One UI command: its exact name and what runs for it. The payload is always an object.
struct Command {
    std::string name;
    std::function<void(const nlohmann::json& payload)> run;
};

// The commands of one feature, handed to the bridge at start-up.
using CommandTable = std::vector<Command>;

} // namespace kovrkit
