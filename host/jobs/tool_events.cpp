#include "host/jobs/tool_events.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>

namespace kovrkit {

using nlohmann::json;

namespace {

bool isLogKind(const std::string& kind)
{
    return kind == "plain" || kind == "success" || kind == "warning" || kind == "error";
}

const std::string* textMember(const json& object, const char* name)
{
    auto member = object.find(name);
    return member != object.end() && member->is_string() ? &member->get_ref<const std::string&>()
                                                         : nullptr;
}

// The DALI line of a change or a line result: an integer; a line result may name any number
// the tool was given, a change only lines 1..4.
std::optional<int> lineOf(const json& object, bool anyNumber)
{
    auto member = object.find("line");
    if (member == object.end() || !member->is_number_integer())
        return std::nullopt;
    const int64_t line = member->get<int64_t>();
    if (anyNumber ? (line < INT32_MIN || line > INT32_MAX) : (line < 1 || line > 4))
        return std::nullopt;
    return static_cast<int>(line);
}

std::optional<ToolEvent> changeOf(const json& value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto line = lineOf(value, false);
    const std::string* record = textMember(value, "record");
    const std::string* field = textMember(value, "field");
    const std::string* oldValue = textMember(value, "old");
    const std::string* newValue = textMember(value, "new");
    if (!line || !record || !field || !oldValue || !newValue)
        return std::nullopt;
    ToolEvent event;
    event.kind = ToolEvent::Kind::change;
    event.line = *line;
    event.record = *record;
    event.field = *field;
    event.oldValue = *oldValue;
    event.newValue = *newValue;
    return event;
}

std::optional<ToolEvent> lineResultOf(const json& value)
{
    if (!value.is_object())
        return std::nullopt;
    const auto line = lineOf(value, true);
    auto done = value.find("done");
    const std::string* reason = textMember(value, "reason");
    if (!line || done == value.end() || !done->is_boolean() || !reason)
        return std::nullopt;
    ToolEvent event;
    event.kind = ToolEvent::Kind::lineResult;
    event.line = *line;
    event.done = done->get<bool>();
    event.text = *reason;
    return event;
}

std::optional<ToolEvent> eventOf(const json& object)
{
    if (!object.is_object() || object.size() != 1)
        return std::nullopt;
    auto member = object.begin();
    const std::string& name = member.key();
    const json& value = member.value();
    ToolEvent event;
    if (name == "progress") {
        if (!value.is_number() || !(value >= 0 && value <= 100))
            return std::nullopt;
        event.kind = ToolEvent::Kind::progress;
        event.percent = static_cast<int>(value.get<double>());
        return event;
    }
    if (name == "log") {
        auto kind = value.find("kind");
        auto text = value.find("text");
        if (!value.is_object() || kind == value.end() || text == value.end() || !kind->is_string()
            || !text->is_string() || !isLogKind(kind->get_ref<const std::string&>()))
            return std::nullopt;
        event.kind = ToolEvent::Kind::log;
        event.logKind = kind->get<std::string>();
        event.text = text->get<std::string>();
        return event;
    }
    if (name == "cause") {
        if (!value.is_string())
            return std::nullopt;
        event.kind = ToolEvent::Kind::cause;
        event.text = isToolCause(value.get_ref<const std::string&>()) ? value.get<std::string>()
                                                                      : std::string("other");
        return event;
    }
    if (name == "change")
        return changeOf(value);
    if (name == "lineResult")
        return lineResultOf(value);
    return std::nullopt;
}

} // namespace

bool isToolCause(std::string_view cause)
{
    static constexpr std::array<std::string_view, 6> causes { "unreachable", "refused-input",
        "controller-refused", "transfer-failed", "cancelled", "other" };
    for (std::string_view known : causes) {
        if (cause == known)
            return true;
    }
    return false;
}

std::optional<ToolEvent> parseToolEvent(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    json object = json::parse(line, nullptr, false);
    if (object.is_discarded())
        return std::nullopt;
    return eventOf(object);
}

std::vector<ToolEvent> ToolEventReader::feed(std::string_view bytes)
{
    std::vector<ToolEvent> events;
    while (!bytes.empty()) {
        size_t end = bytes.find('\n');
        std::string_view piece = bytes.substr(0, end);
        if (!skipping_) {
            if (partial_.size() + piece.size() > kMaxLineBytes) {
                partial_.clear();
                skipping_ = true;
            } else {
                partial_.append(piece);
            }
        }
        if (end == std::string_view::npos)
            break;
        if (!skipping_) {
            if (std::optional<ToolEvent> event = parseToolEvent(partial_))
                events.push_back(std::move(*event));
        }
        partial_.clear();
        skipping_ = false;
        bytes.remove_prefix(end + 1);
    }
    return events;
}

} // namespace kovrkit
