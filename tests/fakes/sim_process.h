// Runs kovru-sim and kovru-cli as child processes for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kovru::testing {

// The built program, found through KOVRU_BINARY_DIR (set by CTest).
std::string built_program(const std::string& relative_path);

struct ProgramRun {
    int exit_status = -1; // -1 when it did not end normally
    std::string out;
    std::string err;
};

// Runs the program to its end with the arguments, capturing both output streams.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments);

// kovru-cli --nowindow with the arguments.
ProgramRun run_cli(const std::vector<std::string>& arguments);

// One kovru-sim process; the destructor stops it with SIGTERM and waits for it.
class SimProcess {
public:
    // Each entry is one --controller setting list; empty: one default controller.
    explicit SimProcess(const std::vector<std::string>& controllers = {},
        const std::vector<std::string>& extra_arguments = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool ready() const { return ready_; }
    int port(std::size_t controller = 0) const { return ports_.at(controller); }
    // "127.0.0.1:PORT"
    std::string address(std::size_t controller = 0) const;
    const std::vector<std::string>& listening_lines() const { return lines_; }
    // Stops the process and returns its exit status.
    int stop();

private:
    pid_t pid_ = -1;
    bool ready_ = false;
    std::vector<int> ports_;
    std::vector<std::string> lines_;
};

// Counts the lines of text that contain needle.
int count_lines_with(const std::string& text, const std::string& needle);

} // namespace kovru::testing
