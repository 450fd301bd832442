// export_channel: a controller's channel and input-device files written out as channel,
// group and input CSV files in the form setup_channel reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovru {

// Entry i of each file list is where line i's CSV file of that kind goes; a kind without a
// list is not written.
struct ChannelExportRequest {
    std::optional<std::string> address;
    std::vector<std::int32_t> lines;
    std::vector<std::string> channel_files;
    std::vector<std::string> group_files;
    std::vector<std::string> input_files;
};

// 0 when every requested file was written; 1 when any was not; 2 for missing arguments.
int export_channel(const ChannelExportRequest& request);

} // namespace kovru
