// Throughput of the controller transport against kovru-sim on loopback: a 2 MiB TFTP read
// with block size 128 and the 612 item fetches of a backup, with and without added latency,
// set against the floor that round trips impose (blocks x RTT, requests x RTT).
#include "cli/backup/config_items.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "sim/simulator.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The transfers print a line per request; the figures go to standard error.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }

private:
    int saved_ = -1;
};

// Mean round trip of a 132-byte UDP datagram over loopback, in seconds.
double loopback_udp_rtt()
{
    int a = ::socket(AF_INET, SOCK_DGRAM, 0);
    int b = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(b, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(b, reinterpret_cast<sockaddr*>(&address), &length);
    ::connect(a, reinterpret_cast<sockaddr*>(&address), sizeof address);
    char packet[132] = {};
    constexpr int rounds = 5000;
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) {
        ::send(a, packet, sizeof packet, 0);
        sockaddr_in from {};
        socklen_t from_length = sizeof from;
        ::recvfrom(b, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &from_length);
        ::sendto(b, packet, 4, 0, reinterpret_cast<sockaddr*>(&from), from_length);
        ::recv(a, packet, sizeof packet, 0);
    }
    double rtt = seconds_since(start) / rounds;
    ::close(a);
    ::close(b);
    return rtt;
}

struct Result {
    std::string name;
    int latency_ms;
    double seconds;
    double exchanges;
    double floor_seconds;
    double bytes;
};

void print(const Result& result)
{
    std::fprintf(stderr,
        "%-28s latency %3d ms  %8.3f s  floor %8.3f s  (%6.1f%% of time)  %7.1f us/exchange  %8.1f "
        "KiB/s\n",
        result.name.c_str(), result.latency_ms, result.seconds, result.floor_seconds,
        100.0 * result.floor_seconds / result.seconds, 1e6 * result.seconds / result.exchanges,
        result.bytes / 1024 / result.seconds);
}

kovru::sim::Simulator start_simulator(int latency_ms)
{
    kovru::sim::SimConfig config;
    config.controllers.emplace_back();
    config.controllers.back().faults.latency_ms = latency_ms;
    kovru::sim::Simulator simulator;
    std::string error;
    if (!simulator.start(config, error))
        std::fprintf(stderr, "kovru-sim: %s\n", error.c_str());
    return simulator;
}

Result time_flash_read(int latency_ms, double rtt)
{
    kovru::sim::Simulator simulator = start_simulator(latency_ms);
    std::string address
        = "127.0.0.1:" + std::to_string(simulator.controllers().at(0).controller->port());
    kovru::MemoryBuffer flash;
    auto start = Clock::now();
    {
        QuietStdout quiet;
        kovru::tftp_read_memory(address, "flashfs.bin", kovru::kFlashImageSize, flash);
    }
    double seconds = seconds_since(start);
    simulator.stop();
    double blocks = static_cast<double>(kovru::kFlashImageSize / 128 + 1);
    return { "2 MiB TFTP read, block 128", latency_ms, seconds, blocks,
        blocks * (rtt + latency_ms / 1000.0), static_cast<double>(flash.size()) };
}

Result time_item_fetches(int latency_ms, double rtt)
{
    kovru::sim::Simulator simulator = start_simulator(latency_ms);
    std::string base = kovru::base_url(
        "127.0.0.1:" + std::to_string(simulator.controllers().at(0).controller->port()));
    double bytes = 0;
    auto start = Clock::now();
    {
        QuietStdout quiet;
        for (unsigned kind : kovru::default_fetch_order()) {
            kovru::MemoryBuffer image;
            kovru::fetch_item_bytes(base, kovru::config_items()[kind].item_name, image);
            bytes += static_cast<double>(image.size());
        }
    }
    double seconds = seconds_since(start);
    simulator.stop();
    double requests = kovru::kConfigItemCount;
    // Each request is a fresh connection: the handshake and the request, two round trips.
    return { "612 item fetches (HTTP)", latency_ms, seconds, requests,
        requests * (2 * rtt + latency_ms / 1000.0), bytes };
}

// The same read from tftpd-hpa, when installed: the reference that shows whether the
// simulator's server costs more than a real one.
std::optional<Result> time_flash_read_from_tftpd(double rtt)
{
    const char* program = "/usr/sbin/in.tftpd";
    if (::access(program, X_OK) != 0)
        return std::nullopt;
    std::filesystem::path folder
        = std::filesystem::temp_directory_path() / ("kovru-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream file(folder / "flashfs.bin", std::ios::binary);
        std::string bytes(kovru::kFlashImageSize, 'f');
        file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    std::string address = "127.0.0.1:" + std::to_string(45000 + ::getpid() % 10000);
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl(program, program, "-L", "-p", "-u", ::getuid() == 0 ? "root" : "nobody", "-a",
            address.c_str(), "-s", folder.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kovru::MemoryBuffer flash;
    auto start = Clock::now();
    {
        QuietStdout quiet;
        kovru::tftp_read_memory(address, "flashfs.bin", kovru::kFlashImageSize, flash);
    }
    double seconds = seconds_since(start);
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::filesystem::remove_all(folder);
    double blocks = static_cast<double>(kovru::kFlashImageSize / 128 + 1);
    return Result { "same read from tftpd-hpa", 0, seconds, blocks, blocks * rtt,
        static_cast<double>(flash.size()) };
}

} // namespace

int main()
{
    curl_global_init(CURL_GLOBAL_DEFAULT);
    double rtt = loopback_udp_rtt();
    std::fprintf(stderr, "loopback UDP round trip: %.1f us\n", rtt * 1e6);
    print(time_flash_read(0, rtt));
    if (auto reference = time_flash_read_from_tftpd(rtt))
        print(*reference);
    print(time_flash_read(1, rtt));
    print(time_item_fetches(0, rtt));
    print(time_item_fetches(5, rtt));
    curl_global_cleanup();
    return 0;
}
