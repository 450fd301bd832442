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

void send_answer(
    int fd, const HttpAnswer& answer, const FaultSettings& faults, bool head_only, bool keep_open)
{
    std::string body = faults.empty ? std::string() : answer.body;
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " "
        + http_reason(answer.status) + "\r\nContent-Type: " + answer.content_type
        + "\r\nContent-Length: " + std::to_string(body.size())
        + (keep_open ? "\r\nConnection: keep-alive\r\n\r\n" : "\r\nConnection: close\r\n\r\n");
    if (head_only)
        body.clear();
    else if (faults.truncated)
        body.resize(body.size() / 2);
    // One write: a separate small body would wait for the client's delayed acknowledgement
    // of the head on a connection that stays open.
    send_all(fd, head + body);
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
        auto shared = std::make_shared<UniqueFd>(std::move(connection));
        workers_.start([this, shared] { serve_connection(std::move(*shared)); });
    }
}

// A rebooting controller accepts connections (the network stack is up) and answers nothing;
// the connection is closed when the reboot ends.
void HttpServer::wait_out_reboot()
{
    while (!stopping_ && std::chrono::steady_clock::now() < controller_.reboot_end())
        std::this_thread::sleep_for(kRebootPollInterval);
}

void HttpServer::serve_connection(UniqueFd connection)
{
    std::string received;
    const int answers_per_connection = controller_.config().http_keepalive;
    for (int answered = 1; !stopping_; ++answered) {
        if (controller_.rebooting())
            return wait_out_reboot();
        std::string head = read_request_head(connection.get(), received, stopping_);
        if (head.empty())
            return;
        if (controller_.rebooting())
            return wait_out_reboot();
        const FaultSettings& faults = controller_.config().faults;
        if (faults.latency_ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(faults.latency_ms));
        if (faults.http_drop)
            return;
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
            && (answers_per_connection == 0 || answered < answers_per_connection);
        const bool announce_keep_open
            = keep_open || (request && controller_.config().http_close_unannounced);
        send_answer(connection.get(), answer, faults, request && request->method == "HEAD",
            announce_keep_open);
        if (!keep_open) {
            ::shutdown(connection.get(), SHUT_WR);
            return;
        }
    }
}

} // namespace kovru::sim
