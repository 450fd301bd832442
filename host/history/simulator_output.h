// What kovru-sim prints when it starts: "listening ip=A port=P model=M firmware=F" per
// controller, then "ready".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kovrkit {

struct SimulatorListening {
    std::string ip;
    int port = 0;
};

// Reads the output up to "ready": the first controller's address once the simulator is
// ready, nothing before. A line that is neither form is passed over.
class SimulatorOutput {
public:
    static constexpr size_t kMaxOutputBytes = 64 * 1024;

    // True once "ready" has been read; more bytes after that are ignored.
    bool feed(std::string_view bytes);
    const std::optional<SimulatorListening>& listening() const { return listening_; }
    bool ready() const { return ready_; }

private:
    void readLine(std::string_view line);

    std::string partial_;
    std::optional<SimulatorListening> listening_;
    bool ready_ = false;
};

} // namespace kovrkit
