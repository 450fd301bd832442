// A discovery scan of loopback addresses: a /24 with five live controllers and the rest
// closed or silent, and a /16 of closed ports; prints wall time, what was found and the
// process's peak open descriptors.
//   build/bench/discovery_bench build/sim/kovru-sim [closed|silent|wide] [TIMEOUT_MS]
#include "bench/child_process.h"
#include "host/discovery/address_ranges.h"
#include "host/discovery/controller_scan.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>

using namespace kovrkit;

namespace {

int openDescriptors()
{
    std::error_code error;
    int count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

bool waitReady(const std::string& log)
{
    for (int wait = 0; wait < 600; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (kovru::bench::read_text(log).find("\nready") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s KOVRU_SIM [closed|silent|wide] [TIMEOUT_MS]\n", argv[0]);
        return 2;
    }
    const std::string mode = argc > 2 ? argv[2] : "closed";
    const long timeoutMs = argc > 3 ? std::atol(argv[3]) : kDiscoveryDefaultTimeoutMs;
    std::random_device random;
    const std::string net = "127." + std::to_string(1 + random() % 250) + "."
        + std::to_string(1 + random() % 250) + ".";
    const int port = 20000 + static_cast<int>(random() % 30000);
    const auto folder = std::filesystem::temp_directory_path()
        / ("kovru-discovery-bench-" + std::to_string(random()));
    std::filesystem::create_directories(folder);

    pid_t sim = -1;
    if (mode != "wide") {
        std::ofstream config(folder / "site.conf");
        for (int host = 0; host < 256; ++host) {
            bool live = host >= 100 && host < 105;
            if (live || mode == "silent")
                config << "controller ip=" << net << host << ",port=" << port << ",serial=SN"
                       << host << (live ? "" : ",http_silent=1") << "\n";
        }
        config.close();
        const std::string log = (folder / "sim.log").string();
        sim = kovru::bench::spawn({ argv[1], "--config", (folder / "site.conf").string() }, log);
        if (!waitReady(log)) {
            std::fprintf(
                stderr, "the simulator did not start:\n%s\n", kovru::bench::read_text(log).c_str());
            return 1;
        }
    }

    RangeParse parse = parseAddressRanges(
        { (mode == "wide" ? net.substr(0, net.rfind('.', net.size() - 2) + 1) + "0.0/16"
                          : net + "0/24")
            + ":" + std::to_string(port) });
    std::vector<ScanTarget> targets = scanTargets(parse.ranges);
    std::atomic<int> peakDescriptors = openDescriptors();
    std::atomic<bool> sampling = true;
    std::thread sampler([&] {
        while (sampling) {
            peakDescriptors = std::max(peakDescriptors.load(), openDescriptors());
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    auto started = std::chrono::steady_clock::now();
    ScanOutcome scan = scanForControllers(targets, { timeoutMs, kDiscoveryMaxInFlight });
    double seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    sampling = false;
    sampler.join();

    size_t counts[4] = {};
    for (const ProbeResult& result : scan.results)
        ++counts[static_cast<int>(result.outcome)];
    rlimit limit {};
    getrlimit(RLIMIT_NOFILE, &limit);
    std::printf("mode=%s addresses=%zu timeout_ms=%ld wall=%.2f s found=%zu other=%zu "
                "silent=%zu closed=%zu peak_fds=%d fd_limit=%llu\n",
        mode.c_str(), targets.size(), timeoutMs, seconds, counts[0], counts[1], counts[2],
        counts[3], peakDescriptors.load(), static_cast<unsigned long long>(limit.rlim_cur));
    if (sim > 0) {
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
    }
    std::filesystem::remove_all(folder);
    return scan.ok ? 0 : 1;
}
