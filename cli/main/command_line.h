// The command-line worker: parses the options, runs the one action, and reports the exit status.
#pragma once

#include "cli/main/dispatch.h"

#include <string>
#include <vector>

namespace kovru {

// Everything the worker does up to the end of the action, with the echo lines on standard
// output. Returns the process exit status.
int run_command_line(const std::vector<std::string>& arguments, const ActionTable& actions);

} // namespace kovru
