#include "cli/log/log.h"

#include "cli/log/tool_events.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <new>
#include <unistd.h>

namespace kovru {
namespace {

constexpr std::size_t kMessageLimit = 1023;
constexpr std::size_t kWindowMessageLimit = 511;
constexpr std::size_t kWindowBreakLimit = 509;

LogSink* current_sink = nullptr;
bool capturing = false;
std::string captured;
bool verbose_flag = false;

KOVRU_PRINTF(1, 0) std::string format_message(const char* format, va_list args)
{
    va_list measure;
    va_copy(measure, args);
    int needed = std::vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (needed < 0)
        return {};
    std::string text(static_cast<std::size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<std::size_t>(needed));
    text.resize(cut_utf8(text, kMessageLimit).size());
    return text;
}

long long now_millis()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// A line that does not fit in memory any more is left out of the capture, not the run.
void collect(const std::string& message)
{
    try {
        captured.reserve(captured.size() + message.size() + 1);
    } catch (const std::bad_alloc&) {
        return;
    }
    captured += message;
    captured += '\n';
}

// The window and the capture, without standard output.
void show(LogKind kind, const std::string& message)
{
    if (current_sink)
        current_sink->add_line(kind, window_line(message, now_millis()));
    event_log_line(kind, message);
    if (capturing)
        collect(message);
}

void emit(LogKind kind, const std::string& message)
{
    if (current_sink)
        current_sink->before_console_line();
    std::fwrite(message.data(), 1, message.size(), stdout);
    std::fputs("\r\n", stdout);
    std::fflush(stdout);
    show(kind, message);
}

KOVRU_PRINTF(2, 0) void emit_formatted(LogKind kind, const char* format, va_list args)
{
    emit(kind, format_message(format, args));
}

const char* colour_code(ConsoleColour colour)
{
    return colour == ConsoleColour::red ? "\033[31m" : "\033[32m";
}

} // namespace

void print_to_v(std::FILE* stream, const char* format, va_list args)
{
    if (!stream)
        return;
    if (current_sink)
        current_sink->before_console_line();
    std::vfprintf(stream, format, args);
    std::fflush(stream);
}

void print_to(std::FILE* stream, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print_to_v(stream, format, args);
    va_end(args);
}

void print_out(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print_to_v(stdout, format, args);
    va_end(args);
}

void print_error(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    print_to_v(stderr, format, args);
    va_end(args);
}

void print_out_in(ConsoleColour colour, const char* format, ...)
{
    const bool coloured = isatty(STDOUT_FILENO) != 0;
    if (coloured)
        print_out("%s", colour_code(colour));
    va_list args;
    va_start(args, format);
    print_to_v(stdout, format, args);
    va_end(args);
    if (coloured)
        print_out("\033[0m");
}

std::string_view cut_utf8(std::string_view text, std::size_t max_bytes)
{
    if (text.size() <= max_bytes)
        return text;
    std::size_t end = max_bytes;
    // Step back over continuation bytes so a multi-byte sequence is never split.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

std::string window_line(std::string_view message, long long unix_millis)
{
    std::time_t seconds = static_cast<std::time_t>(unix_millis / 1000);
    std::tm local {};
    localtime_r(&seconds, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d ", local.tm_year + 1900,
        local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
        static_cast<int>(unix_millis % 1000));
    std::string line(stamp);
    std::string_view body = cut_utf8(message, kWindowMessageLimit);
    line += body;
    bool ends_line = !body.empty() && (body.back() == '\r' || body.back() == '\n');
    if (body.empty() || (!ends_line && body.size() <= kWindowBreakLimit))
        line += "\r\n";
    return line;
}

void set_log_sink(LogSink* sink)
{
    current_sink = sink;
}

void log_line(LogKind kind, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    emit_formatted(kind, format, args);
    va_end(args);
}

#define KOVRU_DEFINE_LOG_KIND(name, kind)                                                          \
    void name(const char* format, ...)                                                             \
    {                                                                                              \
        va_list args;                                                                              \
        va_start(args, format);                                                                    \
        emit_formatted(kind, format, args);                                                        \
        va_end(args);                                                                              \
    }

KOVRU_DEFINE_LOG_KIND(log_plain, LogKind::plain)
KOVRU_DEFINE_LOG_KIND(log_success, LogKind::success)
KOVRU_DEFINE_LOG_KIND(log_warning, LogKind::warning)
KOVRU_DEFINE_LOG_KIND(log_error, LogKind::error)

#undef KOVRU_DEFINE_LOG_KIND

void report_missing_arguments(const char* action)
{
    const std::string message = std::string("Missing arguments for action ") + action + ".";
    print_out("%s\n", message.c_str());
    show(LogKind::error, message);
}

void set_progress(int percent)
{
    const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    event_progress(clamped);
    if (current_sink)
        current_sink->set_progress(clamped);
}

void capture_on()
{
    captured.clear();
    capturing = true;
}

void capture_off()
{
    capturing = false;
    std::string().swap(captured);
}

std::string_view capture_text()
{
    return captured;
}

void set_verbose(bool on)
{
    verbose_flag = on;
}
bool verbose()
{
    return verbose_flag;
}

} // namespace kovru
