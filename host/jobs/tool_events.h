#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kovrkit {

// One JSON line of `kovru-cli --eventsfd=N`.
struct ToolEvent {
    enum class Kind { progress, log, cause, change, lineResult };
    Kind kind = Kind::log;
    int percent = 0; // progress: 0..100
    std::string logKind; // log: "plain", "success", "warning" or "error"
    std::string text; // log: the line; cause: its name; lineResult: the reason
    int line = 0; // change, lineResult: the DALI line
    std::string record; // change: "device 3", "group 0", "input device 2", "line value", ...
    std::string field; // change
    std::string oldValue; // change
    std::string newValue; // change
    bool done = false; // lineResult: pushed (in a dry run: would be pushed)
};

// The causes a tool may name; anything else is read as "other".
bool isToolCause(std::string_view cause);

// One line without its line feed; nothing for a line that is no event (bad JSON, an unknown
// member, a value of the wrong type or range).
std::optional<ToolEvent> parseToolEvent(std::string_view line);

// Cuts the byte stream of the events pipe into lines. A line longer than the limit is
// dropped whole, so a runaway writer cannot make the host hold unbounded text.
class ToolEventReader {
public:
    static constexpr size_t kMaxLineBytes = 64 * 1024;

    // The events of every line the bytes complete.
    std::vector<ToolEvent> feed(std::string_view bytes);

private:
    std::string partial_;
    bool skipping_ = false;
};

} // namespace kovrkit
