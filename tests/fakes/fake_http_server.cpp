#include "fakes/fake_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace kovrkit::testing {

FakeHttpServer::FakeHttpServer(
    const std::string& address, int port, std::map<std::string, std::string> pages)
    : pages_(std::move(pages))
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in socketAddress {};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.c_str(), &socketAddress.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) != 0
        || ::listen(fd, 16) != 0) {
        ::close(fd);
        return;
    }
    listenFd_ = fd;
    thread_ = std::thread([this] { serve(); });
}

FakeHttpServer::~FakeHttpServer()
{
    if (listenFd_ >= 0) {
        ::shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        ::close(listenFd_);
        for (std::thread& connection : connections_)
            connection.join();
    }
}

void FakeHttpServer::serve()
{
    for (;;) {
        int connection = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        // The browser opens spare connections it may never use, so each gets its own thread
        // and a limit on how long it may stay silent.
        timeval limit { 5, 0 };
        ::setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::lock_guard<std::mutex> lock(mutex_);
        connections_.emplace_back([this, connection] {
            answer(connection);
            ::close(connection);
        });
    }
}

static void sendAll(int connection, const std::string& text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        ssize_t count = ::send(connection, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            return;
        sent += static_cast<size_t>(count);
    }
}

void FakeHttpServer::answer(int connection)
{
    std::string request;
    char chunk[4096];
    size_t headerEnd = std::string::npos;
    size_t bodyLength = 0;
    while (headerEnd == std::string::npos || request.size() < headerEnd + 4 + bodyLength) {
        ssize_t count = ::recv(connection, chunk, sizeof chunk, 0);
        if (count <= 0)
            return;
        request.append(chunk, static_cast<size_t>(count));
        if (headerEnd == std::string::npos
            && (headerEnd = request.find("\r\n\r\n")) != std::string::npos) {
            auto lengthAt = request.find("Content-Length: ");
            if (lengthAt == std::string::npos)
                lengthAt = request.find("content-length: ");
            if (lengthAt != std::string::npos && lengthAt < headerEnd)
                bodyLength = std::stoul(request.substr(lengthAt + 16));
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        requestHeads_.push_back(request.substr(0, headerEnd));
    }
    std::string method = request.substr(0, request.find(' '));
    std::string target = request.substr(
        method.size() + 1, request.find(' ', method.size() + 1) - method.size() - 1);
    std::string headers = "Access-Control-Allow-Origin: *\r\nConnection: close\r\n";
    if (method == "POST" && target == "/report") {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back(request.substr(headerEnd + 4, bodyLength));
        }
        arrived_.notify_all();
        sendAll(connection, "HTTP/1.1 204 No Content\r\n" + headers + "\r\n");
        return;
    }
    auto page = pages_.find(target);
    if (method != "GET" || page == pages_.end()) {
        sendAll(connection, "HTTP/1.1 404 Not Found\r\n" + headers + "Content-Length: 0\r\n\r\n");
        return;
    }
    sendAll(connection,
        "HTTP/1.1 200 OK\r\n" + headers
            + "Content-Type: text/html; charset=utf-8\r\nContent-Length: "
            + std::to_string(page->second.size()) + "\r\n\r\n" + page->second);
}

int FakeHttpServer::port() const
{
    sockaddr_in bound {};
    socklen_t length = sizeof bound;
    if (listenFd_ < 0
        || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        return -1;
    return ntohs(bound.sin_port);
}

std::vector<std::string> FakeHttpServer::requestHeads()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requestHeads_;
}

std::vector<std::string> FakeHttpServer::waitForReports(size_t count, int seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(
        lock, std::chrono::seconds(seconds), [&] { return reports_.size() >= count; });
    return reports_;
}

} // namespace kovrkit::testing
