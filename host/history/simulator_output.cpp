#include "host/history/simulator_output.h"

#include <charconv>

namespace kovrkit {
namespace {

std::string_view wordValue(std::string_view line, std::string_view key)
{
    const std::string pattern = " " + std::string(key) + "=";
    size_t at = line.find(pattern);
    if (at == std::string_view::npos)
        return {};
    std::string_view rest = line.substr(at + pattern.size());
    return rest.substr(0, rest.find(' '));
}

} // namespace

bool SimulatorOutput::feed(std::string_view bytes)
{
    while (!ready_ && !bytes.empty()) {
        size_t end = bytes.find('\n');
        partial_.append(bytes.substr(0, end));
        if (partial_.size() > kMaxOutputBytes)
            partial_.clear();
        if (end == std::string_view::npos)
            break;
        readLine(partial_);
        partial_.clear();
        bytes.remove_prefix(end + 1);
    }
    return ready_;
}

void SimulatorOutput::readLine(std::string_view line)
{
    if (line == "ready") {
        ready_ = listening_.has_value();
        return;
    }
    if (!line.starts_with("listening ") || listening_)
        return;
    std::string_view ip = wordValue(line, "ip");
    std::string_view portText = wordValue(line, "port");
    int port = 0;
    auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (ip.empty() || error != std::errc() || end != portText.data() + portText.size() || port < 1
        || port > 65535)
        return;
    listening_ = SimulatorListening { std::string(ip), port };
}

} // namespace kovrkit
