// compare_backup of two full backups (612 items and the 2 MiB flash image each) of simulated
// controllers: two backups of one controller (equal), and backups of controllers whose
// channel and input-device files have different layouts (every one converted and rendered).
// Wall time, CPU time and peak memory of kovru-cli, also above its own baseline, against the
// size of the larger archive.
#include "bench/child_process.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using kovru::bench::spawn;
using kovru::bench::start_sim;

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

// A full zip backup of the controller into its own folder; the archive's path.
std::string full_backup(
    const std::string& cli, const std::string& address, const std::filesystem::path& folder)
{
    std::filesystem::create_directories(folder);
    ChildRun run = run_to_end({ cli, "--nowindow", "--action=get_backup", "--ip=" + address,
                                  "--backupfileouttype=zip", "--backupfileout=" + folder.string() },
        (folder / "backup.log").string());
    if (run.exit_status != 0)
        return {};
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".zip")
            return entry.path().string();
    return {};
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
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    const auto scratch = std::filesystem::temp_directory_path()
        / ("kovru-compare-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(scratch);

    pid_t new_pid = -1;
    pid_t old_pid = -1;
    const std::string newer
        = start_sim(sim, "firmware=2.2.4", (scratch / "sim1.log").string(), new_pid);
    const std::string older
        = start_sim(sim, "firmware=1.3.1", (scratch / "sim2.log").string(), old_pid);
    const std::string a = newer.empty() ? "" : full_backup(cli, newer, scratch / "a");
    const std::string b = newer.empty() ? "" : full_backup(cli, newer, scratch / "b");
    const std::string c = older.empty() ? "" : full_backup(cli, older, scratch / "c");
    for (pid_t pid : { new_pid, old_pid })
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    if (a.empty() || b.empty() || c.empty()) {
        std::fprintf(stderr, "the backups could not be made (see %s)\n", scratch.c_str());
        return 1;
    }
    const std::string log = (scratch / "compare.log").string();
    const ChildRun baseline
        = run_to_end({ cli, "--nowindow", "--action=compare_backup", "--backupfilein=" + a }, log);

    std::printf("pair       run  exit  wall_s  cpu_s  peak_rss_kib  above_baseline_kib  "
                "larger_archive_kib  3x_archive_kib\n");
    struct Pair {
        const char* name;
        std::string first;
        std::string second;
    };
    for (const Pair& pair : { Pair { "equal", a, b }, Pair { "layouts", a, c } }) {
        const long larger_kib = static_cast<long>(std::max(std::filesystem::file_size(pair.first),
                                    std::filesystem::file_size(pair.second)))
            / 1024;
        for (int run = 1; run <= runs; ++run) {
            ChildRun result
                = run_to_end({ cli, "--nowindow", "--action=compare_backup",
                                 "--backupfilein=" + pair.first, "--comparewith=" + pair.second },
                    log);
            std::printf("%-9s  %3d  %4d  %6.3f  %5.3f  %12ld  %18ld  %18ld  %14ld\n", pair.name,
                run, result.exit_status, result.wall_seconds, result.cpu_seconds,
                result.max_rss_kib, result.max_rss_kib - baseline.max_rss_kib, larger_kib,
                3 * larger_kib);
        }
    }
    std::printf("baseline (missing arguments): peak_rss_kib %ld\n", baseline.max_rss_kib);
    std::filesystem::remove_all(scratch);
    return 0;
}
