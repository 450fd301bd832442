#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kovrkit {

// Runs a program to its end: `arguments[0]` is the program's path, no shell and no quoting
// are involved. The UI keeps painting meanwhile. Nothing when the program could not be
// started or waited for; otherwise its exit status.
class ProcessLauncher {
public:
    virtual ~ProcessLauncher() = default;
    virtual std::optional<int> runToEnd(const std::vector<std::string>& arguments) = 0;
};

} // namespace kovrkit
