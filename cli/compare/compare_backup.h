// compare_backup: a backup archive against a second archive or against the controller's live
// configuration items; and the dry run of put_backup, the same comparison with nothing pushed.
#pragma once

#include <optional>
#include <string>

namespace kovru {

struct CompareRequest {
    std::optional<std::string> archive_path; // --backupfilein: the older side
    std::optional<std::string> compare_with; // --comparewith: a second archive, or
    std::optional<std::string> address; // --ip: the controller
};

// As diff(1): 0 equal, 1 different, 2 trouble (missing arguments, an unreadable archive, no
// controller, an item the controller did not answer for).
int compare_backup(const CompareRequest& request);

// put_backup --dryrun: the archive against the controller, as compare_backup shows it; no
// safety backup, nothing pushed. Same statuses.
int preview_restore(
    const std::optional<std::string>& address, const std::optional<std::string>& archive_path);

} // namespace kovru
