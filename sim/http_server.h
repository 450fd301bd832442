// Serves a controller's HTTP interface: one thread accepts, one worker per connection,
// up to http_keepalive requests per connection (one unless set otherwise).
#pragma once

#include "common/posix/unique_fd.h"
#include "sim/controller.h"
#include "sim/worker_group.h"

#include <atomic>
#include <thread>

namespace kovru::sim {

class HttpServer {
public:
    HttpServer(Controller& controller, UniqueFd listener);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    void stop();

private:
    void accept_loop();
    void serve_connection(UniqueFd connection);
    void wait_out_reboot();
    void serve_during_reboot(int fd);
    void hold_silently(int fd);

    Controller& controller_;
    UniqueFd listener_;
    std::atomic<bool> stopping_ { false };
    std::atomic<int> open_connections_ { 0 };
    WorkerGroup workers_;
    std::thread acceptor_;
};

} // namespace kovru::sim
