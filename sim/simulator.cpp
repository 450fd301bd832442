#include "sim/simulator.h"

#include "sim/sockets.h"

#include <sys/prctl.h>

namespace kovru::sim {

bool Simulator::start(const SimConfig& config, std::string& error)
{
    // Server threads inherit this: added latency then sleeps for what was asked, not up to
    // 50 us more per packet.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    if (config.log_file && !log_->open(*config.log_file)) {
        error = "cannot open the log file " + *config.log_file;
        return false;
    }
    std::uint64_t index = 0;
    for (const ControllerConfig& controller_config : config.controllers) {
        std::optional<ControllerSockets> sockets
            = bind_controller_sockets(controller_config.ip, controller_config.port, error);
        if (!sockets)
            return false;
        std::optional<std::filesystem::path> state_dir;
        if (config.state_dir)
            state_dir = *config.state_dir;
        Running running;
        running.controller = std::make_unique<Controller>(
            controller_config, config.seed * 1000003 + index++, state_dir);
        running.controller->set_port(sockets->port);
        running.controller->set_event_log(log_.get());
        running.http = std::make_unique<HttpServer>(*running.controller, std::move(sockets->tcp));
        running.tftp = std::make_unique<TftpServer>(*running.controller, std::move(sockets->udp));
        running_.push_back(std::move(running));
    }
    return true;
}

void Simulator::stop_servers()
{
    for (Running& running : running_) {
        running.http->stop();
        running.tftp->stop();
    }
}

void Simulator::stop()
{
    stop_servers();
    running_.clear();
}

std::string listening_line(const Controller& controller)
{
    return "listening ip=" + controller.config().ip + " port=" + std::to_string(controller.port())
        + " model=" + controller.model() + " firmware=" + controller.firmware();
}

std::string served_line(const Controller& controller)
{
    return "served ip=" + controller.config().ip + " port=" + std::to_string(controller.port())
        + " connections=" + std::to_string(controller.http_connections())
        + " requests=" + std::to_string(controller.http_requests());
}

} // namespace kovru::sim
