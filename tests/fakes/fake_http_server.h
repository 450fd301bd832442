#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kovrkit::testing {

// A small HTTP server on a loopback port: GET serves the pages it was given, POST to
// /report keeps the body. Each connection is closed after its answer.
class FakeHttpServer {
public:
    FakeHttpServer(const std::string& address, int port, std::map<std::string, std::string> pages);
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    bool listening() const { return listenFd_ >= 0; }
    // The port it listens on (the one the system picked when 0 was asked for).
    int port() const;
    // The request line and headers of every request so far.
    std::vector<std::string> requestHeads();
    // Waits until `count` reports have arrived or `seconds` have passed; returns the reports.
    std::vector<std::string> waitForReports(size_t count, int seconds);

private:
    void serve();
    void answer(int connection);

    std::map<std::string, std::string> pages_;
    int listenFd_ = -1;
    std::thread thread_;
    std::vector<std::thread> connections_;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> reports_;
    std::vector<std::string> requestHeads_;
};

} // namespace kovrkit::testing
