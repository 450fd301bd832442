// What the library keeps of a backup archive: the controller's identity from the items'
// "status.txt" and one digest per configuration item.
#pragma once

#include <map>
#include <optional>
#include <string>

namespace kovrkit {

struct ArchiveContents {
    std::string model;
    std::string firmware;
    std::string serial;
    // Item name -> SHA-256 of the item's configuration file (of the whole image when it holds
    // none), 64 lower-case digits. The "status.txt" beside it carries the time and is left
    // out, as are the flash image, the marker and the log.
    std::map<std::string, std::string> items;
};

// Nothing, with error set, when the file is no backup archive or an item cannot be read.
std::optional<ArchiveContents> readArchiveContents(const std::string& path, std::string& error);

} // namespace kovrkit
