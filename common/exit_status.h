// The process exit status of the command-line tool, which the host reads back:
// 0 the action did all of its work, 1 it failed or did only part of it,
// 2 missing arguments or refused input.
#pragma once

namespace kovru {

enum ExitStatus { exit_complete = 0, exit_failed = 1, exit_refused = 2 };

} // namespace kovru
