#include "cli/log/tool_events.h"

#include "common/utf8_sequence.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace kovru {
namespace {

constexpr std::chrono::milliseconds kLineWriteLimit { 1000 };
// A pipe takes a write of up to this many bytes whole once poll reports room.
constexpr std::size_t kWriteChunk = PIPE_BUF;

int events_fd = -1;
int last_progress = -1;
std::optional<FailureCause> noted_cause;
bool cause_reported = false;
std::string last_error;

// A reader that went away must not end the process: SIGPIPE is held back for the write and
// taken off again if the write raised it.
ssize_t write_without_sigpipe(int fd, const char* bytes, std::size_t count)
{
    sigset_t pipe_signal, previous;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    const bool was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &pipe_signal, &previous);
    const ssize_t written = ::write(fd, bytes, count);
    const int saved = errno;
    if (written < 0 && saved == EPIPE && !was_pending) {
        const timespec no_wait { 0, 0 };
        sigtimedwait(&pipe_signal, nullptr, &no_wait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = saved;
    return written;
}

// False when the line could not be written whole in time; the stream then ends.
bool write_line(const std::string& line)
{
    const auto deadline = std::chrono::steady_clock::now() + kLineWriteLimit;
    std::size_t done = 0;
    while (done < line.size()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd room { events_fd, POLLOUT, 0 };
        const int ready = ::poll(&room, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0 || (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0)
            return false;
        const std::size_t chunk = std::min(kWriteChunk, line.size() - done);
        const ssize_t written = write_without_sigpipe(events_fd, line.data() + done, chunk);
        if (written < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

void write_event(const std::string& object)
{
    if (events_fd < 0)
        return;
    if (!write_line(object + "\n"))
        events_fd = -1;
}

std::string_view kind_name(LogKind kind)
{
    switch (kind) {
    case LogKind::success:
        return "success";
    case LogKind::warning:
        return "warning";
    case LogKind::error:
        return "error";
    case LogKind::plain:
        break;
    }
    return "plain";
}

} // namespace

std::string_view failure_cause_name(FailureCause cause)
{
    switch (cause) {
    case FailureCause::unreachable:
        return "unreachable";
    case FailureCause::refused_input:
        return "refused-input";
    case FailureCause::controller_refused:
        return "controller-refused";
    case FailureCause::transfer_failed:
        return "transfer-failed";
    case FailureCause::cancelled:
        return "cancelled";
    case FailureCause::other:
        break;
    }
    return "other";
}

std::optional<int> parse_events_fd(std::string_view text)
{
    int fd = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), fd);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || fd < 3)
        return std::nullopt;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY)
        return std::nullopt;
    return fd;
}

void start_tool_events(int fd)
{
    events_fd = fd;
    last_progress = -1;
    noted_cause.reset();
    cause_reported = false;
}

void stop_tool_events()
{
    events_fd = -1;
}

void event_log_line(LogKind kind, std::string_view text)
{
    if (kind == LogKind::error)
        last_error = text;
    if (events_fd < 0)
        return;
    write_event(R"({"log":{"kind":")" + std::string(kind_name(kind)) + R"(","text":")"
        + json_string_body(text) + "\"}}");
}

void event_progress(int percent)
{
    if (events_fd < 0 || percent == last_progress)
        return;
    last_progress = percent;
    write_event(R"({"progress":)" + std::to_string(percent) + "}");
}

void event_record_change(unsigned line, std::string_view record, std::string_view field,
    std::string_view old_value, std::string_view new_value)
{
    if (events_fd < 0)
        return;
    write_event(R"({"change":{"line":)" + std::to_string(line) + R"(,"record":")"
        + json_string_body(record) + R"(","field":")" + json_string_body(field) + R"(","old":")"
        + json_string_body(old_value) + R"(","new":")" + json_string_body(new_value) + "\"}}");
}

void event_line_result(int line, bool done, std::string_view reason)
{
    if (events_fd < 0)
        return;
    write_event(R"({"lineResult":{"line":)" + std::to_string(line) + R"(,"done":)"
        + (done ? "true" : "false") + R"(,"reason":")" + json_string_body(reason) + "\"}}");
}

const std::string& last_error_line()
{
    return last_error;
}

void forget_last_error()
{
    last_error.clear();
}

void note_failure_cause(FailureCause cause)
{
    if (!noted_cause || cause == FailureCause::cancelled)
        noted_cause = cause;
}

void forget_failure_cause()
{
    if (noted_cause != FailureCause::cancelled)
        noted_cause.reset();
}

void report_run_end(int exit_status)
{
    if (exit_status == 0 || cause_reported)
        return;
    cause_reported = true;
    FailureCause cause = noted_cause.value_or(FailureCause::other);
    if (exit_status == 2 && cause != FailureCause::cancelled)
        cause = FailureCause::refused_input;
    write_event(R"({"cause":")" + std::string(failure_cause_name(cause)) + "\"}");
}

std::string json_string_body(std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    std::string body;
    body.reserve(text.size() + 8);
    while (!text.empty()) {
        const auto c = static_cast<unsigned char>(text.front());
        std::size_t taken = 1;
        if (c == '"' || c == '\\') {
            body += '\\';
            body += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            body += "\\u00";
            body += hex[c >> 4];
            body += hex[c & 0xF];
        } else if (c < 0x80) {
            body += static_cast<char>(c);
        } else if (const std::size_t length = utf8_sequence_length(text); length > 0) {
            body.append(text.substr(0, length));
            taken = length;
        } else {
            body += "\\ufffd";
        }
        text.remove_prefix(taken);
    }
    return body;
}

} // namespace kovru
