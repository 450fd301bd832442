// Where get_backup stores what it collected: a zip archive or loose files in a folder.
#pragma once

#include "cli/backup/backup_archive.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

class BackupOutput {
public:
    virtual ~BackupOutput() = default;
    // False when the file could not be stored; error then says why when the disk refused it.
    virtual bool store(
        std::string_view name, std::span<const std::uint8_t> bytes, std::string& error)
        = 0;
    // Ends the output; false with error set when what was stored is not safely written.
    virtual bool finish(std::string& error) = 0;
    // False when nothing can be stored (the archive could not be created, or the disk is full).
    virtual bool ready() const = 0;
    // False once a file could not be written: the backup is not complete.
    virtual bool all_stored() const = 0;
    // What the completion line names: the archive, or the folder.
    virtual const std::string& location() const = 0;
};

// archive may be null when it could not be created: then nothing is stored.
std::unique_ptr<BackupOutput> make_archive_output(
    std::unique_ptr<BackupArchive> archive, std::string path);
std::unique_ptr<BackupOutput> make_directory_output(std::string folder);

} // namespace kovru
