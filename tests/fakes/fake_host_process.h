#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kovrkit::testing {

// The built kovrkit copied into a folder of the test's own, so that its settings file and
// web view data stay there, run with extra environment variables (a given variable replaces
// the inherited one of that name; WINEPREFIX defaults to an empty prefix in that folder).
class HostProcess {
public:
    HostProcess(const std::string& folder, std::vector<std::string> arguments,
        std::vector<std::string> environment);
    ~HostProcess();
    HostProcess(const HostProcess&) = delete;
    HostProcess& operator=(const HostProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // Asks the program to close its window and returns its exit status (-1 when it was killed
    // or did not end within the grace time).
    int stop();

    static std::string builtProgram();

private:
    pid_t pid_ = -1;
};

// The variable that points the program's --dev origin at http://localhost:PORT, where the
// test serves its page on a port the system picked.
inline std::string devPortVariable(int port)
{
    return "KOVRKIT_TEST_DEV_PORT=" + std::to_string(port);
}

} // namespace kovrkit::testing
