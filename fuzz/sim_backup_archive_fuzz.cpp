// Any bytes as the backup archive a simulated controller is started from (`from_backup`):
// the zip, each item's tar image and its "status.txt". Whatever is read stays inside the
// input, and an archive that is taken holds at least one item, each under its own device path.
#include "sim/backup_archive.h"
#include "sim/controller_items.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string error;
    auto archive = kovru::sim::read_backup_archive(std::span(data, size), error);
    if (!archive) {
        if (error.empty())
            std::abort();
        return 0;
    }
    if (archive->files.empty())
        std::abort();
    for (const auto& [path, file] : archive->files)
        if (!kovru::sim::find_controller_item_by_path(path))
            std::abort();
    return 0;
}
