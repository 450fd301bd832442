// The zip archive a backup is stored in. Entries are deflated at level 6 in the order they
// are added. Their bytes wait in a private spool file until the archive is closed, so a
// backup holds only the entry being added in memory.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

class BackupArchive {
public:
    // Creates the archive at wanted_path, or, when a file of that name exists, at the first
    // free name with "_1", "_2"... before ".zip". An existing file is never overwritten.
    // nullptr with error set when no archive could be created.
    static std::unique_ptr<BackupArchive> create(
        const std::string& wanted_path, std::string& error);
    ~BackupArchive();
    BackupArchive(const BackupArchive&) = delete;
    BackupArchive& operator=(const BackupArchive&) = delete;

    bool add(std::string_view entry_name, std::span<const std::uint8_t> bytes);
    // Writes the archive. On failure the partial archive is removed and error says why.
    bool close(std::string& error);

    const std::string& path() const { return path_; }

private:
    struct State;
    explicit BackupArchive(std::unique_ptr<State> state, std::string path);

    std::unique_ptr<State> state_;
    std::string path_;
};

} // namespace kovru
