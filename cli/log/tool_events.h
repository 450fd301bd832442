// The event stream a caller asks for with --eventsfd=N: one JSON object per line on descriptor
// N, besides the normal output, which stays as it is. {"progress":P} when the progress changes,
// {"log":{"kind":K,"text":T}} for every log line, and {"cause":C} once before a failing end
// (docs/tool_events.md). A reader that is gone or stops reading never stops the action: a line
// that cannot be written within a second ends the stream.
#pragma once

#include "cli/log/log.h"

#include <optional>
#include <string>
#include <string_view>

namespace kovru {

// Why a run failed, named where the failure happens.
enum class FailureCause {
    unreachable, // no connection, or no answer in time
    refused_input, // exit status 2: missing arguments, refused files or values
    controller_refused, // an HTTP error answer, a refused request
    transfer_failed, // a transfer that broke off or delivered a bad answer
    cancelled,
    other,
};

std::string_view failure_cause_name(FailureCause cause);

// The descriptor --eventsfd names: a whole number of at least 3, open for writing.
std::optional<int> parse_events_fd(std::string_view text);

// Starts writing events to fd (from parse_events_fd); stop_tool_events ends it.
void start_tool_events(int fd);
void stop_tool_events();

// Called by the log module for each line and progress change.
void event_log_line(LogKind kind, std::string_view text);
void event_progress(int percent);

// A channel set-up's result: each field a dry run would change, and each line's end (pushed,
// or in a dry run checked, or not, with the reason), for a caller that shows them as a table.
void event_record_change(unsigned line, std::string_view record, std::string_view field,
    std::string_view old_value, std::string_view new_value);
void event_line_result(int line, bool done, std::string_view reason);
// The text of the last error line logged since the last call of forget_last_error (kept with
// or without an event stream).
const std::string& last_error_line();
void forget_last_error();

// Notes why the action fails. The first cause noted stands, except that a cancel always wins.
void note_failure_cause(FailureCause cause);
// Forgets what a step whose failure never stops the action (the safety backup) noted.
void forget_failure_cause();
// Writes the cause event for a run that ends with this exit status, once, when it is a failure:
// status 2 is refused input, status 1 the cause noted (or "other").
void report_run_end(int exit_status);

// JSON string body of text: quotes, backslashes and control characters escaped, every byte
// that is not part of a valid UTF-8 sequence replaced by U+FFFD.
std::string json_string_body(std::string_view text);

} // namespace kovru
