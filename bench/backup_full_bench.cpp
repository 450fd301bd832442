// A full backup (612 items and the 2 MiB flash image) of a simulated controller, with and
// without added latency: wall time against the round-trip floor, CPU time and peak memory of
// kovru-cli above its own baseline.
#include "bench/child_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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

constexpr int item_count = 612;
constexpr long flash_size = 2097152;
constexpr long tftp_block_size = 128;

struct ChildRun {
    int exit_status = -1;
    double wall_seconds = 0;
    double cpu_seconds = 0;
    long max_rss_kib = 0;
};

ChildRun run_to_end(const std::vector<std::string>& arguments, const std::string& output_path)
{
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = spawn(arguments, output_path);
    int status = 0;
    rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.wall_seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec
        + usage.ru_stime.tv_usec / 1e6;
    run.max_rss_kib = usage.ru_maxrss;
    return run;
}

// What the link alone costs: every HTTP answer and every TFTP packet the controller sends
// (option acknowledgement, data blocks, the closing short block) waits latency_ms.
double round_trip_floor_seconds(int latency_ms)
{
    const long tftp_packets = 1 + flash_size / tftp_block_size + 1;
    return latency_ms * (item_count + tftp_packets) / 1000.0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s KOVRU_SIM KOVRU_CLI [RUNS]\n", argv[0]);
        return 2;
    }
    const std::string sim = argv[1];
    const std::string cli = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;
    const auto scratch = std::filesystem::temp_directory_path()
        / ("kovru-backup-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);
    const std::string out_folder = (scratch / "out").string();
    std::filesystem::create_directories(out_folder);

    std::printf("latency_ms  run  exit  wall_s  floor_s  over_floor  cpu_s  peak_rss_kib  "
                "baseline_kib  above_baseline_kib\n");
    for (int latency : { 0, 2 }) {
        pid_t sim_pid = -1;
        const std::string address
            = start_sim(sim, "ip=127.0.0.1,port=0,latency_ms=" + std::to_string(latency),
                (scratch / "sim.log").string(), sim_pid);
        if (address.empty()) {
            std::fprintf(stderr, "kovru-sim did not start\n");
            return 1;
        }
        for (int run = 1; run <= runs; ++run) {
            // The baseline: the same program refusing a backup for a missing address.
            ChildRun baseline = run_to_end(
                { cli, "--nowindow", "--action=get_backup", "--backupfileout=" + out_folder },
                (scratch / "baseline.log").string());
            ChildRun backup
                = run_to_end({ cli, "--nowindow", "--action=get_backup", "--ip=" + address,
                                 "--backupfileouttype=zip", "--backupfileout=" + out_folder },
                    (scratch / "backup.log").string());
            const double floor = round_trip_floor_seconds(latency);
            std::printf("%10d  %3d  %4d  %6.2f  %7.2f  %9.1f%%  %5.2f  %12ld  %12ld  %18ld\n",
                latency, run, backup.exit_status, backup.wall_seconds, floor,
                floor > 0 ? (backup.wall_seconds / floor - 1) * 100 : 0.0, backup.cpu_seconds,
                backup.max_rss_kib, baseline.max_rss_kib,
                backup.max_rss_kib - baseline.max_rss_kib);
            std::fflush(stdout);
        }
        ::kill(sim_pid, SIGTERM);
        ::waitpid(sim_pid, nullptr, 0);
    }
    std::filesystem::remove_all(scratch);
    return 0;
}
