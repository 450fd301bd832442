// setup_channel: channel, group and input CSV files turned into a controller's channel and
// input-device files, one DALI line after the other, and pushed back (or, as a dry run,
// only compared with what the controller holds).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovru {

// Entry i of each file list belongs to line i.
struct ChannelSetupRequest {
    std::optional<std::string> address;
    std::vector<std::int32_t> lines;
    std::vector<std::string> channel_files;
    std::vector<std::string> group_files;
    std::vector<std::string> input_files;
    bool dry_run = false;
};

// 0 when every line was fetched, imported and pushed (or compared, in a dry run); 1 when any
// line failed; 2 for missing arguments. A CSV syntax error stops the run: that line and the
// lines after it push nothing.
int setup_channel(const ChannelSetupRequest& request);

// The controller has lines 1 to 4.
bool valid_line_number(std::int32_t line);

} // namespace kovru
