#include "sim/http_server.h"

#include "sim/http_routes.h"
#include "sim/sockets.h"

#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <string>
#include <utility>

namespace kovru::sim {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kHeadLimit = 16 * 1024;
constexpr auto kPollInterval = 200ms;
constexpr auto kReceiveTimeout = 10s;
constexpr auto kRebootPollInterval = 20ms;
constexpr auto kStallPollInterval = 20ms;

bool send_all(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// The next request head up to the blank line, taken from the front of `received`, which
// keeps what follows it; empty when the client sent none in time or the server stops.
std::string read_request_head(int fd, std::string& received, const std::atomic<bool>& stopping)
{
    auto deadline = std::chrono::steady_clock::now() + kReceiveTimeout;
    std::size_t end = received.find("\r\n\r\n");
    while (end == std::string::npos && received.size() < kHeadLimit) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms || stopping)
            return {};
        if (!wait_readable(fd, std::min<std::chrono::milliseconds>(left, kPollInterval)))
            continue;
        char chunk[4096];
        ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
        if (got <= 0)
            return {};
        received.append(chunk, static_cast<std::size_t>(got));
        end = received.find("\r\n\r\n");
    }
    if (end == std::string::npos)
        return std::exchange(received, {});
    std::string head = received.substr(0, end + 4);
    received.erase(0, end + 4);
    return head;
}

std::string lower_case(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Requests with a body, or that ask for the close, end their connection: the controller
// reads no request bodies.
bool allows_keep_alive(const std::string& head)
{
    std::string text = lower_case(head);
    bool has_body = text.find("\r\ntransfer-encoding:") != std::string::npos
        || (text.find("\r\ncontent-length:") != std::string::npos
            && text.find("\r\ncontent-length: 0\r\n") == std::string::npos);
    return !has_body && text.find("\r\nconnection: close") == std::string::npos
        && text.find(" http/1.0\r\n") == std::string::npos;
}

// SO_LINGER with a zero time makes close() send a reset instead of an orderly end.
void reset_connection(int fd)
{
    linger abort_on_close { 1, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
}

std::string answer_body(const HttpAnswer& answer, const FaultSettings& faults)
{
    std::string body = faults.empty ? std::string() : answer.body;
    if (body.size() < faults.oversized_bytes)
        body.resize(faults.oversized_bytes, ' ');
    return body;
}

// How much of the body goes out before a cut, reset or stall.
std::size_t bytes_before_fault(const FaultSettings& faults, std::size_t body_size)
{
    if (faults.truncated || faults.http_reset)
        return body_size / 2;
    // One byte: the transfer has begun, and a client's low-speed watch sees it stop at once.
    if (faults.http_stall_ms > 0)
        return std::min<std::size_t>(body_size, 1);
    return body_size;
}

void send_answer(int fd, const HttpAnswer& answer, const FaultSettings& faults, bool head_only,
    bool keep_open, const std::atomic<bool>& stopping)
{
    std::string body = answer_body(answer, faults);
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " "
        + http_reason(answer.status) + "\r\nContent-Type: " + answer.content_type
        + "\r\nContent-Length: " + std::to_string(body.size())
        + (keep_open ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
    if (head_only)
        body.clear();
    std::string_view rest(body);
    std::string_view first = rest.substr(0, bytes_before_fault(faults, rest.size()));
    rest.remove_prefix(first.size());
    // One write: a separate small body would wait for the client's delayed acknowledgement
    // of the head on a connection that stays open.
    if (!send_all(fd, head + std::string(first)))
        return;
    if (faults.http_reset)
        return reset_connection(fd);
    if (faults.truncated)
        return;
    auto stall_end
        = std::chrono::steady_clock::now() + std::chrono::milliseconds(faults.http_stall_ms);
    while (!stopping && std::chrono::steady_clock::now() < stall_end)
        std::this_thread::sleep_for(kStallPollInterval);
    send_all(fd, rest);
}

} // namespace

HttpServer::HttpServer(Controller& controller, UniqueFd listener)
    : controller_(controller)
    , listener_(std::move(listener))
    , acceptor_([this] { accept_loop(); })
{
}

HttpServer::~HttpServer()
{
    stop();
}

void HttpServer::stop()
{
    stopping_ = true;
    if (acceptor_.joinable())
        acceptor_.join();
    workers_.wait_all();
}

void HttpServer::accept_loop()
{
    while (!stopping_) {
        if (!wait_readable(listener_.get(), kPollInterval))
            continue;
        UniqueFd connection(::accept4(listener_.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!connection.valid())
            continue;
        controller_.count_http_connection();
        // A controller that serves one connection at a time resets any further one at once.
        if (controller_.config().http_one_connection && open_connections_ > 0) {
            reset_connection(connection.get());
            continue;
        }
        ++open_connections_;
        auto shared = std::make_shared<UniqueFd>(std::move(connection));
        workers_.start([this, shared] {
            serve_connection(std::move(*shared));
            --open_connections_;
        });
    }
}

// A rebooting controller accepts connections (the network stack is up) and answers nothing;
// the connection is closed when the reboot ends.
void HttpServer::wait_out_reboot()
{
    while (!stopping_ && std::chrono::steady_clock::now() < controller_.reboot_end())
        std::this_thread::sleep_for(kRebootPollInterval);
}

// A connection made while the controller restarts, as its reboot mode says.
void HttpServer::serve_during_reboot(int fd)
{
    switch (controller_.config().reboot_mode) {
    case RebootMode::hold:
        return wait_out_reboot();
    case RebootMode::refuse:
        return;
    case RebootMode::silent:
        return hold_silently(fd);
    }
}

// A hung controller: the connection stays open, unanswered, until the client gives up.
void HttpServer::hold_silently(int fd)
{
    char chunk[4096];
    while (!stopping_) {
        if (!wait_readable(fd, kStallPollInterval))
            continue;
        if (::recv(fd, chunk, sizeof chunk, 0) <= 0)
            return;
    }
}

void HttpServer::serve_connection(UniqueFd connection)
{
    std::string received;
    const int answers_per_connection = controller_.config().http_keepalive;
    for (int answered = 1; !stopping_; ++answered) {
        // A silent restart reads the request first, as a half-started network stack would.
        if (controller_.rebooting() && controller_.config().reboot_mode != RebootMode::silent)
            return serve_during_reboot(connection.get());
        std::string head = read_request_head(connection.get(), received, stopping_);
        if (head.empty())
            return;
        controller_.count_http_request();
        if (controller_.rebooting())
            return serve_during_reboot(connection.get());
        const FaultSettings& faults = controller_.config().faults;
        if (faults.latency_ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults.latency_ms));
        if (faults.http_drop)
            return;
        if (faults.http_silent)
            return hold_silently(connection.get());
        std::optional<HttpRequest> request = parse_request_head(head);
        HttpAnswer answer;
        if (!request)
            answer = { 400, "text/plain", "bad request\n", false };
        else if (faults.http_error != 0)
            answer = { faults.http_error, "text/plain", "simulated error\n", false };
        else
            answer = answer_request(controller_, *request);
        if (answer.drop_connection)
            return;
        const bool keep_open = request && allows_keep_alive(head) && !faults.truncated
            && !faults.http_reset
            && (answers_per_connection == 0 || answered < answers_per_connection);
        const bool announce_keep_open
            = keep_open || (request && controller_.config().http_close_unannounced);
        send_answer(connection.get(), answer, faults, request && request->method == "HEAD",
            announce_keep_open, stopping_);
        if (!keep_open) {
            if (!faults.http_reset)
                ::shutdown(connection.get(), SHUT_WR);
            return;
        }
    }
}

} // namespace kovru::sim
