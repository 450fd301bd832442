// What the two firmware push actions are given. They return the exit status: 0 when the
// file was valid, uploaded and the controller accepted it (and, when asked, reported the new
// version); 1 when a transfer, request or verification failed; 2 for missing arguments or a
// file refused before anything was uploaded.
#pragma once

#include "common/exit_status.h"

#include <functional>
#include <optional>
#include <string>

namespace kovru {

struct FirmwarePushRequest {
    std::optional<std::string> address;
    std::optional<std::string> file_path;
    // --verifyupgrade as typed: whole seconds to wait for the controller to report the
    // image's version after the upgrade (push_firmware only).
    std::optional<std::string> verify_seconds;
    // --dryrun (push_firmware only): the file checked and the controller's model and version
    // compared with the image's; nothing is uploaded.
    bool dry_run = false;
    // Runs once the file and the options are checked, before anything is uploaded: the
    // safety backup of an upgrade.
    std::function<void()> before_changes;
};

} // namespace kovru
