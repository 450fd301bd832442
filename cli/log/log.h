// Log lines and progress of kovru-cli. Every handler reports through these calls: each
// line goes to standard output, to the progress window (when one is attached) and, while
// capture is on, into the text a backup stores as its own log.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

#define KOVRU_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

namespace kovru {

enum class LogKind { plain, success, warning, error };

// Where window lines and progress go: the GTK window, a console progress bar, or a test fake.
// Calls come from the worker thread and return only once the line is shown.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void add_line(LogKind kind, const std::string& stamped_line) = 0;
    virtual void set_progress(int percent) = 0;
    // Called just before a line goes to standard output, so a console bar can step aside.
    virtual void before_console_line() { }
};

// Attaches the sink (or detaches with nullptr). Not thread-safe: set it before the worker starts.
void set_log_sink(LogSink* sink);

void log_line(LogKind kind, const char* format, ...) KOVRU_PRINTF(2, 3);
void log_plain(const char* format, ...) KOVRU_PRINTF(1, 2);
void log_success(const char* format, ...) KOVRU_PRINTF(1, 2);
void log_warning(const char* format, ...) KOVRU_PRINTF(1, 2);
void log_error(const char* format, ...) KOVRU_PRINTF(1, 2);

// Prints "Missing arguments for action <action>.\n" on standard output, once, and shows it
// as an error line in the window and the capture.
void report_missing_arguments(const char* action);

// Text outside the log lines: the echo of the command line, trace lines and the transfer
// library's failures. Written as formatted (no stamp, no "\r\n"), not shown in the window,
// not captured; a console progress bar steps aside first.
void print_out(const char* format, ...) KOVRU_PRINTF(1, 2);
void print_error(const char* format, ...) KOVRU_PRINTF(1, 2);
void print_to(std::FILE* stream, const char* format, ...) KOVRU_PRINTF(2, 3);
void print_to_v(std::FILE* stream, const char* format, va_list args) KOVRU_PRINTF(2, 0);

enum class ConsoleColour { red, green };

// print_out in a colour, which is left out when standard output is not a terminal.
void print_out_in(ConsoleColour colour, const char* format, ...) KOVRU_PRINTF(2, 3);

// Clamps to 0..100; does nothing while no sink is attached.
void set_progress(int percent);

// The collected log of a get_backup run.
void capture_on();
void capture_off();
std::string_view capture_text();

// The line the window shows for a message: "YYYY-MM-DD hh:mm:ss.mmm " followed by the
// message cut to 511 bytes, with "\r\n" added unless it already ends a line.
std::string window_line(std::string_view message, long long unix_millis);

// Cuts text to at most max_bytes without splitting a UTF-8 sequence.
std::string_view cut_utf8(std::string_view text, std::size_t max_bytes);

// --verbose: switches on the transfer library's tracing of HTTP requests.
void set_verbose(bool on);
bool verbose();

} // namespace kovru
