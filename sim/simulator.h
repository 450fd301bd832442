// All controllers of one kovru-sim run, each with its HTTP and TFTP server.
#pragma once

#include "sim/controller.h"
#include "sim/controller_config.h"
#include "sim/event_log.h"
#include "sim/http_server.h"
#include "sim/tftp_server.h"

#include <memory>
#include <string>
#include <vector>

namespace kovru::sim {

class Simulator {
public:
    // Binds every controller; false with a message when one cannot be bound.
    bool start(const SimConfig& config, std::string& error);
    void stop();
    // Stops serving; the controllers stay for a last look until stop().
    void stop_servers();

    struct Running {
        std::unique_ptr<Controller> controller;
        std::unique_ptr<HttpServer> http;
        std::unique_ptr<TftpServer> tftp;
    };
    const std::vector<Running>& controllers() const { return running_; }

private:
    // Before the controllers, which write to it; on the heap, so a moved simulator's
    // controllers still find it.
    std::unique_ptr<EventLog> log_ = std::make_unique<EventLog>();
    std::vector<Running> running_;
};

// "listening ip=127.0.0.1 port=PORT model=MODEL firmware=VERSION"
std::string listening_line(const Controller& controller);

// "served ip=127.0.0.1 port=PORT connections=N requests=M": the HTTP connections the
// controller accepted and the request heads it read, printed for each controller at the end.
std::string served_line(const Controller& controller);

} // namespace kovru::sim
