// kovru-sim: simulated controllers for tests, training and demos.
#include "sim/controller_config.h"
#include "sim/simulator.h"

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    using namespace kovru::sim;
    SimConfig config;
    std::string error;
    switch (parse_command_line(argc, argv, config, error)) {
    case ParseOutcome::help:
        std::fputs(usage_text().c_str(), stdout);
        return 0;
    case ParseOutcome::error:
        std::fprintf(stderr, "kovru-sim: %s\n%s", error.c_str(), usage_text().c_str());
        return 2;
    case ParseOutcome::run:
        break;
    }

    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    // Blocked before any server thread starts, so only sigwait below sees them.
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);

    Simulator simulator;
    if (!simulator.start(config, error)) {
        std::fprintf(stderr, "kovru-sim: %s\n", error.c_str());
        simulator.stop();
        return 1;
    }
    for (const auto& running : simulator.controllers())
        std::printf("%s\n", listening_line(*running.controller).c_str());
    std::printf("ready\n");
    std::fflush(stdout);

    int signal_number = 0;
    sigwait(&stop_signals, &signal_number);
    simulator.stop_servers();
    if (config.report_served) {
        for (const auto& running : simulator.controllers())
            std::printf("%s\n", served_line(*running.controller).c_str());
        std::fflush(stdout);
    }
    simulator.stop();
    return 0;
}
