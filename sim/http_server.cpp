#include "sim/http_server.h"

#include "sim/http_routes.h"
#include "sim/sockets.h"

#include <sys/socket.h>

#include <chrono>
#include <string>

namespace kovru::sim {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kHeadLimit = 16 * 1024;
constexpr auto kPollInterval = 200ms;
constexpr auto kReceiveTimeout = 10s;

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

// The request head up to the blank line; empty when the client sent none in time.
std::string read_request_head(int fd)
{
    std::string head;
    char chunk[4096];
    auto deadline = std::chrono::steady_clock::now() + kReceiveTimeout;
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < kHeadLimit) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms || !wait_readable(fd, left))
            return {};
        ssize_t received = ::recv(fd, chunk, sizeof chunk, 0);
        if (received <= 0)
            return {};
        head.append(chunk, static_cast<std::size_t>(received));
    }
    return head;
}

void send_answer(int fd, const HttpAnswer& answer, const FaultSettings& faults, bool head_only)
{
    std::string body = faults.empty ? std::string() : answer.body;
    std::string head = "HTTP/1.1 " + std::to_string(answer.status) + " "
        + http_reason(answer.status) + "\r\nContent-Type: " + answer.content_type
        + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    if (head_only)
        body.clear();
    else if (faults.truncated)
        body.resize(body.size() / 2);
    if (send_all(fd, head))
        send_all(fd, body);
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

void HttpServer::serve_connection(UniqueFd connection)
{
    std::string head = read_request_head(connection.get());
    if (head.empty())
        return;
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
    send_answer(connection.get(), answer, faults, request && request->method == "HEAD");
    ::shutdown(connection.get(), SHUT_WR);
}

} // namespace kovru::sim
