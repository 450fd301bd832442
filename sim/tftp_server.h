// Serves a controller's TFTP service: the listener takes read and write requests on the
// controller's port and runs each transfer on its own socket (its own transfer id) in a
// worker, with option negotiation (block size, transfer size, time-out), time-outs and
// retransmission.
#pragma once

#include "common/posix/unique_fd.h"
#include "sim/controller.h"
#include "sim/worker_group.h"

#include <netinet/in.h>

#include <atomic>
#include <thread>

namespace kovru::sim {

class TftpServer {
public:
    TftpServer(Controller& controller, UniqueFd socket);
    ~TftpServer();
    TftpServer(const TftpServer&) = delete;
    TftpServer& operator=(const TftpServer&) = delete;

    void stop();

private:
    void listen_loop();

    Controller& controller_;
    UniqueFd socket_;
    std::atomic<bool> stopping_ { false };
    WorkerGroup workers_;
    std::thread listener_;
};

} // namespace kovru::sim
