// Field speed over a slow link: a full backup (612 items, the 2 MiB flash image) and a 16 MiB
// firmware upload to a simulated controller with added latency, with the default transfers
// and with --tftpblocksize (which brings HTTP connection reuse), each against its own
// round-trip floor. The default runs take minutes at 20 ms; run them on purpose, never in CI.
#include "bench/child_process.h"
#include "cli/transport/tftp_upload.h"
#include "cli/transport/transfer_settings.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <curl/curl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using kovru::bench::read_text;
using kovru::bench::spawn;
using kovru::bench::start_sim;

using Clock = std::chrono::steady_clock;

constexpr long kItemCount = 612;
constexpr long kFlashSize = 2097152;

// flash=BYTES on the command line: a controller with a smaller flash image, to measure the
// default's pace at latencies where its full image would outlast the read's time limit.
long flash_size = kFlashSize;
constexpr long kUploadSize = 16 * 1024 * 1024;
// window=N on the command line: --tftpwindowsize for the runs other than the default's.
int window_size = 1;
// connections=N on the command line: --fetchconnections for the runs other than the default's.
int fetch_connections = 1;
constexpr long kFastBlockSize = 1428;

double seconds_since(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Packets the controller sends for a TFTP transfer of `size` bytes: the option
// acknowledgement and one per data block (an exact multiple ends in an empty block).
long tftp_round_trips(long size, long block_size, int window = 1)
{
    return 1 + (size / block_size + 1 + window - 1) / window;
}

int window_for(long block_size)
{
    return block_size == kovru::kDefaultTftpBlockSize ? 1 : window_size;
}

int connections_for(long block_size)
{
    return block_size == kovru::kDefaultTftpBlockSize ? 1 : fetch_connections;
}

// Round trips of the item fetches: one per item on each connection.
long item_round_trips(long block_size)
{
    return (kItemCount + connections_for(block_size) - 1) / connections_for(block_size);
}

struct Figure {
    const char* what;
    long block_size;
    int status;
    double wall_s;
    double floor_s;
};

void print(const Figure& figure, int latency_ms)
{
    std::printf("%-8s  %10d  %10ld  %4d  %8.1f  %8.1f  %9.1f%%\n", figure.what, latency_ms,
        figure.block_size, figure.status, figure.wall_s, figure.floor_s,
        (figure.wall_s / figure.floor_s - 1) * 100);
    std::fflush(stdout);
}

Figure run_backup(const std::string& cli, const std::string& address, long block_size,
    int latency_ms, const std::filesystem::path& scratch)
{
    const auto out = scratch / ("backup-" + std::to_string(block_size));
    std::filesystem::create_directories(out);
    std::vector<std::string> arguments { cli, "--nowindow", "--action=get_backup",
        "--ip=" + address, "--backupfileouttype=zip", "--backupfileout=" + out.string() };
    if (block_size != kovru::kDefaultTftpBlockSize)
        arguments.push_back("--tftpblocksize=" + std::to_string(block_size));
    if (window_for(block_size) > 1)
        arguments.push_back("--tftpwindowsize=" + std::to_string(window_for(block_size)));
    if (connections_for(block_size) > 1)
        arguments.push_back("--fetchconnections=" + std::to_string(connections_for(block_size)));
    const auto start = Clock::now();
    pid_t pid = spawn(arguments, (scratch / "backup.log").string());
    int status = 0;
    ::waitpid(pid, &status, 0);
    const double floor = latency_ms
        * (item_round_trips(block_size)
            + tftp_round_trips(flash_size, block_size, window_for(block_size)))
        / 1000.0;
    return { "backup", block_size, WIFEXITED(status) ? WEXITSTATUS(status) : -1,
        seconds_since(start), floor };
}

Figure run_upload(const std::string& address, long block_size, int latency_ms)
{
    std::vector<std::uint8_t> image(kUploadSize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 131 + (i >> 12));
    kovru::TransferSettings settings;
    settings.tftp_block_size = block_size;
    settings.tftp_window_size = window_for(block_size);
    kovru::set_transfer_settings(settings);
    const auto start = Clock::now();
    int status = kovru::upload_image(address, image, false);
    const double floor
        = latency_ms * tftp_round_trips(kUploadSize, block_size, window_for(block_size)) / 1000.0;
    return { "upload", block_size, status, seconds_since(start), floor };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr,
            "usage: %s KOVRU_SIM KOVRU_CLI [LATENCY_MS] "
            "[backup|upload|fast|flash=BYTES|window=N|connections=N]...\n"
            "  with no selection: the backup and the upload, each default and fast;\n"
            "  fast: only the --tftpblocksize=%ld runs; flash=BYTES: the controller's flash\n"
            "  image size (default 2097152); window=N: --tftpwindowsize of the fast runs;\n"
            "  connections=N: --fetchconnections of the fast backups\n",
            argv[0], kFastBlockSize);
        return 2;
    }
    const std::string sim = argv[1];
    const std::string cli = argv[2];
    const int latency_ms = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
    bool backups = false;
    bool uploads = false;
    bool fast_only = false;
    for (int k = 4; k < argc; ++k) {
        const std::string word = argv[k];
        if (word.starts_with("window="))
            window_size = std::clamp(std::atoi(word.c_str() + 7), 1, 64);
        if (word.starts_with("connections="))
            fetch_connections = std::clamp(std::atoi(word.c_str() + 12), 1, 8);
        if (word.starts_with("flash="))
            flash_size = std::max(1L, std::atol(word.c_str() + 6));
        backups = backups || word == "backup";
        uploads = uploads || word == "upload";
        fast_only = fast_only || word == "fast";
    }
    if (!backups && !uploads)
        backups = uploads = true;

    const auto scratch = std::filesystem::temp_directory_path()
        / ("kovru-field-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    pid_t sim_pid = -1;
    const std::string address
        = start_sim(sim, "http_keepalive=0,latency_ms=" + std::to_string(latency_ms),
            (scratch / "sim.log").string(), sim_pid);
    if (address.empty()) {
        std::fprintf(stderr, "kovru-sim did not start\n");
        return 1;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    std::vector<long> block_sizes { kFastBlockSize };
    if (!fast_only)
        block_sizes.insert(block_sizes.begin(), kovru::kDefaultTftpBlockSize);

    std::printf("what      latency_ms  block_size  exit    wall_s   floor_s  over_floor\n");
    for (long block_size : block_sizes) {
        if (backups)
            print(run_backup(cli, address, block_size, latency_ms, scratch), latency_ms);
        if (uploads) {
            // The upload prints its own lines and curl's meter; only the figures are shown.
            std::fflush(stdout);
            int saved_out = ::dup(STDOUT_FILENO);
            int saved_err = ::dup(STDERR_FILENO);
            int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            ::close(null);
            Figure figure = run_upload(address, block_size, latency_ms);
            std::fflush(stdout);
            ::dup2(saved_out, STDOUT_FILENO);
            ::dup2(saved_err, STDERR_FILENO);
            ::close(saved_out);
            ::close(saved_err);
            print(figure, latency_ms);
        }
    }
    curl_global_cleanup();
    ::kill(sim_pid, SIGTERM);
    ::waitpid(sim_pid, nullptr, 0);
    std::filesystem::remove_all(scratch);
    return 0;
}
