#pragma once

#include <string>
#include <vector>

namespace kovrkit {

// Starts a program from an argument vector (no shell, the program looked up in PATH) with the
// host's environment and working folder, and neither waits for it nor watches it.
class ProcessStarter {
public:
    virtual ~ProcessStarter() = default;
    virtual bool startDetached(const std::vector<std::string>& arguments) = 0;
};

} // namespace kovrkit
