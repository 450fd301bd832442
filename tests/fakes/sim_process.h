// Runs kovru-sim and kovru-cli as child processes for end-to-end tests.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace kovru::testing {

// The built program, found through KOVRU_BINARY_DIR (set by CTest).
std::string built_program(const std::string& relative_path);

// What a child gets besides its arguments.
struct ChildSettings {
    // Set in the child's environment on top of ours.
    std::vector<std::pair<std::string, std::string>> environment;
    // RLIMIT_FSIZE in bytes, with SIGXFSZ ignored so that a write beyond it fails with EFBIG
    // as on a full disk; negative: no limit.
    long long file_size_limit = -1;
    // A descriptor of ours the child gets as its descriptor 3 (kovru-cli --eventsfd=3); -1: none.
    int descriptor_3 = -1;
};

struct ProgramRun {
    int exit_status = -1; // -1 when it did not end normally
    std::string out;
    std::string err;
};

// Runs the program to its end with the arguments, capturing both output streams.
ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments);

ProgramRun run_program(const std::string& program, const std::vector<std::string>& arguments,
    const ChildSettings& settings);

// kovru-cli --nowindow with the arguments.
ProgramRun run_cli(const std::vector<std::string>& arguments);
ProgramRun run_cli(const std::vector<std::string>& arguments, const ChildSettings& settings);

// kovru-cli --nowindow running in the background; standard error joins standard output.
class CliProcess {
public:
    explicit CliProcess(
        const std::vector<std::string>& arguments, const ChildSettings& settings = {});
    // Kills it if it still runs.
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    // Reads its output until needle has appeared in it `times` times; false when it ended or
    // timeout_ms passed first.
    bool wait_for(const std::string& needle, int times, int timeout_ms);
    // SIGKILL, then waits for it.
    void kill_now();
    // Sends the signal; it keeps running unless the signal ends it.
    void send_signal(int signal);
    // Reads the rest of its output and waits for its end.
    ProgramRun finish();

private:
    bool read_some(int timeout_ms);

    pid_t pid_ = -1;
    int out_ = -1;
    ProgramRun run_;
};

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
    // Stops it and returns what it printed after "ready" (the --served lines).
    std::string stop_with_output();

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string after_ready_;
    bool ready_ = false;
    std::vector<int> ports_;
    std::vector<std::string> lines_;
};

// Counts the lines of text that contain needle.
int count_lines_with(const std::string& text, const std::string& needle);

} // namespace kovru::testing
