// Runs kovru-sim for the backup and restore tests, and kovru-cli against it.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kovru::testing {

// A built program, found through KOVRU_BINARY_DIR (set by CTest).
std::string built_program(const std::string& relative_path);

// One kovru-sim process with the given --controller settings; stopped by the destructor.
class BackupSim {
public:
    explicit BackupSim(const std::vector<std::string>& controllers);
    ~BackupSim();
    BackupSim(const BackupSim&) = delete;
    BackupSim& operator=(const BackupSim&) = delete;

    bool ready() const { return !addresses_.empty(); }
    // "127.0.0.1:PORT" of the controller in the order given.
    const std::string& address(std::size_t controller) const { return addresses_.at(controller); }

private:
    pid_t pid_ = -1;
    std::string log_path_;
    std::vector<std::string> addresses_;
};

struct CliRun {
    int exit_status = -1;
    std::string out;
};

// kovru-cli --nowindow with the arguments; standard error joins standard output.
CliRun run_kovru_cli(const std::vector<std::string>& arguments);

} // namespace kovru::testing
