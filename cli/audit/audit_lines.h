// audit_lines: the DALI lines of a controller (its current channel and input-device files) or
// of a backup archive, audited line by line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovru {

struct AuditRequest {
    std::optional<std::string> address; // --ip, or
    std::optional<std::string> archive_path; // --backupfilein
    std::vector<std::int32_t> lines; // --channel; empty: lines 1 to 4
};

// 0 when nothing was found, 1 with findings, 2 for trouble (missing or conflicting arguments,
// an unreadable archive, no controller, a line number outside 1..4).
int audit_lines(const AuditRequest& request);

} // namespace kovru
