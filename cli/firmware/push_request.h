// What the two firmware push actions are given, and what they return.
#pragma once

#include <optional>
#include <string>

namespace kovru {

struct FirmwarePushRequest {
    std::optional<std::string> address;
    std::optional<std::string> file_path;
    // --verifyupgrade as typed: whole seconds to wait for the controller to report the
    // image's version after the upgrade (push_firmware only).
    std::optional<std::string> verify_seconds;
};

// 0: the file was valid, uploaded and the controller accepted it (and, when asked, reported
// the new version); 1: a transfer, request or verification failed; 2: missing arguments or
// a file refused before anything was uploaded.
enum FirmwarePushResult { push_complete = 0, push_failed = 1, push_refused = 2 };

} // namespace kovru
