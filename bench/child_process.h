// Child programs of the benchmarks: a program run with its output in a file, and kovru-sim
// started with one controller.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kovru::bench {

// Starts arguments[0] with standard output and error in output_path; returns its pid.
pid_t spawn(const std::vector<std::string>& arguments, const std::string& output_path);

// The whole text of a file; empty when it cannot be read.
std::string read_text(const std::string& path);

// Starts kovru-sim with one controller of the given settings and waits for its "ready";
// returns "127.0.0.1:PORT", or "" when it did not start within 10 s.
std::string start_sim(const std::string& sim, const std::string& controller_settings,
    const std::string& log, pid_t& pid);

} // namespace kovru::bench
