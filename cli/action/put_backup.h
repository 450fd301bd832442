// The put_backup action: writes a backup archive (or a plain configuration tar image) back
// to a controller, converting older configuration layouts on the way.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace kovru {

struct RestoreRequest {
    std::optional<std::string> address;
    std::optional<std::string> archive_path;
    // How long the refusal of a backup from a newer tool stays on screen.
    std::chrono::milliseconds refusal_pause { 5000 };
};

// 0 when every configuration entry of the archive was pushed and the controller asked to
// restore it; 1 when the status fetch failed or any entry was not restored; 2 for missing
// arguments, a backup from a newer tool, or a file that is neither a zip nor a tar image.
int put_backup(const RestoreRequest& request);

} // namespace kovru
