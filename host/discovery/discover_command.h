// `kovru-fleet discover RANGE... [--timeout MS] [--json] [--sites FILE]`.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

// Exit statuses: 0 the scan ran, 1 it could not run, 2 bad arguments or an unreadable tree.
struct DiscoverContext {
    // The host's "settings.json", used when no --sites is given; nothing when none was found.
    std::optional<std::filesystem::path> defaultSettings;
};

std::string discoverUsage();

// The arguments after the word "discover".
int runDiscoverCommand(const std::vector<std::string>& arguments, const DiscoverContext& context,
    std::ostream& out, std::ostream& err);

} // namespace kovrkit
