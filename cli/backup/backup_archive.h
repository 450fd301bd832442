// The zip archive a backup is stored in. Entries are deflated at level 6 in the order they
// are added. Their bytes wait in a private spool file until the archive is closed, so a
// backup holds only the entry being added in memory. The archive is written under a hidden
// name beside the final one and gets the final name only once it is whole.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kovru {

class BackupArchive {
public:
    // Reserves wanted_path, or, when a file of that name exists, the first free name with
    // "_1", "_2"... before ".zip". An existing file is never overwritten. nullptr with error
    // set when no archive could be created.
    static std::unique_ptr<BackupArchive> create(
        const std::string& wanted_path, std::string& error);
    ~BackupArchive();
    BackupArchive(const BackupArchive&) = delete;
    BackupArchive& operator=(const BackupArchive&) = delete;

    // False when the entry is not in the archive. When its bytes could not be stored (a full
    // disk) the archive is not written at all: close then fails.
    bool add(std::string_view entry_name, std::span<const std::uint8_t> bytes);
    // False once an entry could not be stored: the archive will not be written.
    bool can_store() const;
    // Writes the archive and gives it its name. On failure nothing is left under a final name
    // and error says why.
    bool close(std::string& error);

    // The name reserved; after close, the name the archive has (another number when a file
    // took the reserved name meanwhile).
    const std::string& path() const { return path_; }

private:
    struct State;
    explicit BackupArchive(std::unique_ptr<State> state, std::string path);
    bool publish(std::string& error);

    std::unique_ptr<State> state_;
    std::string path_;
};

} // namespace kovru
