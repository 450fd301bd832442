// The get_backup action: a complete backup of one controller into a zip archive or a folder.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kovru {

struct BackupRequest {
    std::optional<std::string> address;
    std::optional<std::string> output_folder;
    // "zip" or "directory"; absent means "directory".
    std::optional<std::string> output_type;
    // Item names to fetch; empty for every item in the default order.
    std::vector<std::string> items;
};

// 0 when every requested item, the flash snapshot and the marker were stored and the output
// was written; 1 when anything was left out; 2 for missing or refused arguments.
int get_backup(const BackupRequest& request);

} // namespace kovru
