// Firmware upgrade costs: the check of a 16 MiB package made by 7z (wall time and peak
// memory of a child process that does only that, against the same child doing nothing), and
// the TFTP upload of a 16 MiB image to kovru-sim with 0 and 1 ms added latency, set against
// the floor that round trips impose (blocks x (loopback UDP round trip + latency)).
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/firmware/firmware_file.h"
#include "cli/firmware/firmware_package.h"
#include "cli/transport/tftp_upload.h"
#include "sim/firmware_image.h"
#include "sim/sha256.h"
#include "sim/simulator.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t image_size = kovru::kFirmwareImageMaxSize;
// libcurl's TFTP client cannot finish an upload whose last block number is 65535 or 0 (mod
// 65536); at block size 128 that is every image from 16,776,960 bytes up. The upload uses the
// largest size below that range.
constexpr std::size_t upload_size = 131'070 * 128 - 1;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void quiet_stdout()
{
    std::fflush(stdout);
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
}

// Child modes: the work alone, so the child's peak resident size is the check's.
int run_child(const std::string& mode, const char* path)
{
    quiet_stdout();
    if (mode == "--baseline")
        return 0;
    kovru::FirmwarePackage package;
    int result = kovru::check_package(path, package);
    bool valid = result == kovru::package_valid && package.expected_digest
        && package.expected_digest == package.image_digest && package.image.size() == image_size;
    return valid ? 0 : 1;
}

struct ChildRun {
    double seconds = 0;
    double cpu_seconds = 0;
    long peak_kib = 0;
    int status = -1;
};

ChildRun run_self(const std::string& mode, const std::string& path)
{
    ChildRun run;
    auto start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::execl("/proc/self/exe", "firmware_bench", mode.c_str(), path.c_str(), nullptr);
        ::_exit(127);
    }
    int status = 0;
    rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.seconds = seconds_since(start);
    run.peak_kib = usage.ru_maxrss;
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

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

void bench_package_check(
    const std::filesystem::path& folder, const std::vector<std::uint8_t>& image)
{
    {
        std::ofstream(folder / "kovru.binary", std::ios::binary)
            .write(reinterpret_cast<const char*>(image.data()),
                static_cast<std::streamsize>(image.size()));
        std::ofstream(folder / "kovru.bh") << kovru::sim::sha256_hex(image);
    }
    std::string command = "cd '" + folder.string() + "' && 7z a -tzip -bd -y -mem=AES256 -p"
        + kovru::kFirmwarePackagePassword + " package.bin kovru.bh kovru.binary > /dev/null";
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "7z failed; is p7zip-full installed?\n");
        return;
    }
    std::string package = (folder / "package.bin").string();
    ChildRun baseline = run_self("--baseline", package);
    std::fprintf(stderr, "package check, %zu-byte image, %ju-byte package; baseline peak %ld KiB\n",
        image.size(), static_cast<std::uintmax_t>(std::filesystem::file_size(package)),
        baseline.peak_kib);
    for (int round = 1; round <= 3; ++round) {
        ChildRun run = run_self("--check", package);
        std::fprintf(stderr,
            "  run %d: %s  wall %.3f s  cpu %.3f s  peak %ld KiB, %ld KiB above baseline (%.2f x "
            "image)\n",
            round, run.status == 0 ? "valid" : "FAILED", run.seconds, run.cpu_seconds, run.peak_kib,
            run.peak_kib - baseline.peak_kib,
            (run.peak_kib - baseline.peak_kib) * 1024.0 / static_cast<double>(image.size()));
    }
}

void bench_upload(const std::vector<std::uint8_t>& image, int latency_ms, double rtt)
{
    kovru::sim::SimConfig config;
    config.controllers.emplace_back();
    config.controllers.back().faults.latency_ms = latency_ms;
    kovru::sim::Simulator simulator;
    std::string error;
    if (!simulator.start(config, error)) {
        std::fprintf(stderr, "kovru-sim: %s\n", error.c_str());
        return;
    }
    std::string address
        = "127.0.0.1:" + std::to_string(simulator.controllers().at(0).controller->port());
    int saved = ::dup(STDOUT_FILENO);
    quiet_stdout();
    auto start = Clock::now();
    int result = kovru::upload_image(address, image, false);
    double seconds = seconds_since(start);
    std::fflush(stdout);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    simulator.stop();
    double blocks = static_cast<double>(image.size() / 128 + 1);
    double floor = blocks * (rtt + latency_ms / 1000.0);
    std::fprintf(stderr,
        "%zu-byte TFTP upload, block 128, latency %d ms: %s  %.2f s  floor %.2f s  (%.1f%% over)  "
        "%.1f us/block  %.0f KiB/s\n",
        image.size(), latency_ms, result == 0 ? "ok" : "FAILED", seconds, floor,
        100.0 * (seconds - floor) / floor, 1e6 * seconds / blocks,
        static_cast<double>(image.size()) / 1024 / seconds);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && argv[1][0] == '-')
        return run_child(argv[1], argv[2]);
    bool with_latency = !(argc == 2 && std::strcmp(argv[1], "--no-latency") == 0);
    std::vector<std::uint8_t> image
        = kovru::sim::make_flash_raw(image_size, "VELDIR-2", "1.9.0", "bench");
    std::filesystem::path folder = std::filesystem::temp_directory_path()
        / ("kovru-firmware-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    bench_package_check(folder, image);
    std::filesystem::remove_all(folder);
    image.resize(upload_size);

    curl_global_init(CURL_GLOBAL_ALL);
    double rtt = loopback_udp_rtt();
    std::fprintf(stderr, "loopback UDP round trip %.1f us\n", rtt * 1e6);
    bench_upload(image, 0, rtt);
    if (with_latency)
        bench_upload(image, 1, rtt);
    curl_global_cleanup();
    return 0;
}
