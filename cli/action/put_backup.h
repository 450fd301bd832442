// The put_backup action: writes a backup archive (or a plain configuration tar image) back
// to a controller, converting older configuration layouts on the way.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace kovru {

// The largest backup archive or configuration image a restore reads. A full backup is
// about 2.3 MB; a plain image holds one configuration item.
inline constexpr std::uint64_t kBackupArchiveMaxSize = 64ull << 20;

struct RestoreRequest {
    std::optional<std::string> address;
    std::optional<std::string> archive_path;
    // How long the refusal of a backup from a newer tool stays on screen.
    std::chrono::milliseconds refusal_pause { 5000 };
    // Runs once the archive is read and accepted, before the controller is asked anything:
    // the safety backup of a restore.
    std::function<void()> before_changes;
};

// 0 when every configuration entry of the archive was pushed and the controller asked to
// restore it; 1 when the status fetch failed, the archive holds no configuration item or any
// entry was not restored; 2 for missing arguments, a file that cannot be read (missing, not a
// regular file, larger than kBackupArchiveMaxSize), a backup from a newer tool, or a file that
// is neither a zip nor a tar image. Every refusal comes before before_changes.
int put_backup(const RestoreRequest& request);

} // namespace kovru
