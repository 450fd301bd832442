// The push_firmware action: upgrades the controller from a firmware package (".bin") or a
// raw image (".binary").
#pragma once

#include "cli/firmware/push_request.h"

namespace kovru {

// Checks the file locally (nothing is uploaded when it is refused), uploads the image as
// "flashraw.bin" and asks the controller to apply it with its SHA-256 digest and size; with
// verify_seconds, then waits for the controller to report the image's version. A dry run
// makes the same checks of the file, reads the controller's status and says what the upgrade
// would do, uploading nothing.
int push_firmware(const FirmwarePushRequest& request);

// The check_firmware action: the same checks of the file and its information block, logged,
// without any controller; 0 for a valid file, 2 for a refused one.
int check_firmware(const std::optional<std::string>& file_path);

} // namespace kovru
