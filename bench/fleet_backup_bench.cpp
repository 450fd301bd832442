// kovru-fleet backup of N simulated controllers (one kovru-sim, added latency) into a fresh
// backup library, P devices at once: devices per hour of one machine, the CPU and memory of
// kovru-fleet itself, of its kovru-cli children and of the simulator, and the load average.
//   fleet_backup_bench SIM FLEET [controllers=64] [latency_ms=2] [parallel=16]
#include "bench/child_process.h"

#include <nlohmann/json.hpp>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kovru::bench::read_text;
using kovru::bench::spawn;

double seconds(const timeval& time)
{
    return time.tv_sec + time.tv_usec / 1e6;
}

// utime + stime of a running process, in seconds; 0 when it is gone.
double processCpu(pid_t pid)
{
    std::string stat = read_text("/proc/" + std::to_string(pid) + "/stat");
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field; ++index) {
        if (index == 14 || index == 15)
            ticks += std::atof(field.c_str());
        if (index == 15)
            break;
    }
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long statusKib(pid_t pid, const char* key)
{
    std::string status = read_text("/proc/" + std::to_string(pid) + "/status");
    std::size_t at = status.find(key);
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + std::string(key).size());
}

std::string loadAverage()
{
    return read_text("/proc/loadavg").substr(0, 14);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(
            stderr, "usage: %s SIM FLEET [controllers] [latency_ms] [parallel]\n", argv[0]);
        return 2;
    }
    const std::string sim = argv[1];
    const std::string fleet = argv[2];
    const int controllers = argc > 3 ? std::atoi(argv[3]) : 64;
    const int latency = argc > 4 ? std::atoi(argv[4]) : 2;
    const int parallel = argc > 5 ? std::atoi(argv[5]) : 16;
    fs::path work = fs::temp_directory_path() / ("kovru-fleet-bench-" + std::to_string(::getpid()));
    fs::create_directories(work);

    std::vector<std::string> simArguments { sim };
    for (int unit = 0; unit < controllers; ++unit) {
        simArguments.push_back("--controller");
        simArguments.push_back("latency_ms=" + std::to_string(latency));
    }
    const std::string simLog = (work / "sim.log").string();
    pid_t simPid = spawn(simArguments, simLog);
    std::vector<std::string> addresses;
    for (int wait = 0; wait < 400 && addresses.empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::string text = read_text(simLog);
        if (text.find("ready") == std::string::npos)
            continue;
        for (std::size_t at = text.find(" port="); at != std::string::npos;
             at = text.find(" port=", at + 1))
            addresses.push_back("127.0.0.1:" + std::to_string(std::atoi(text.c_str() + at + 6)));
    }
    if (static_cast<int>(addresses.size()) != controllers) {
        std::fprintf(stderr, "kovru-sim did not start: %s\n", read_text(simLog).c_str());
        return 1;
    }
    nlohmann::json devices = nlohmann::json::array();
    for (std::size_t unit = 0; unit < addresses.size(); ++unit)
        devices.push_back(
            { { "name", "Unit " + std::to_string(unit) }, { "ip", addresses[unit] } });
    std::ofstream((work / "settings.json").string()) << nlohmann::json {
        { "sitesData",
            { { "name", "Bench" },
                { "folders", { { { "name", "Site" }, { "devices", devices } } } } } }
    }.dump(2);

    const std::string loadBefore = loadAverage();
    ::setenv("XDG_DATA_HOME", (work / "data").c_str(), 1);
    const auto started = std::chrono::steady_clock::now();
    double simCpuBefore = processCpu(simPid);
    pid_t fleetPid
        = spawn({ fleet, "backup", "--sites", (work / "settings.json").string(), "--parallel",
                    std::to_string(parallel), "--report", (work / "report.json").string() },
            (work / "fleet.log").string());
    long fleetPeakKib = 0;
    double fleetCpu = 0;
    int status = 0;
    rusage usage {};
    while (::wait4(fleetPid, &status, WNOHANG, &usage) == 0) {
        fleetPeakKib = std::max(fleetPeakKib, statusKib(fleetPid, "VmHWM:"));
        fleetCpu = std::max(fleetCpu, processCpu(fleetPid));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const double wall
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double simCpu = processCpu(simPid) - simCpuBefore;
    const std::string loadAfter = loadAverage();
    ::kill(simPid, SIGTERM);
    ::waitpid(simPid, nullptr, 0);

    nlohmann::json report
        = nlohmann::json::parse(read_text((work / "report.json").string()), nullptr, false);
    const int succeeded = report.is_object() ? report.value("succeeded", 0) : 0;
    // wait4 counts kovru-fleet with every child it reaped.
    const double allCpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    std::printf("controllers %d, latency %d ms, parallel %d: exit %d, %d of %d succeeded\n",
        controllers, latency, parallel, WIFEXITED(status) ? WEXITSTATUS(status) : -1, succeeded,
        controllers);
    std::printf("wall %.1f s, %.0f devices per hour\n", wall, controllers / wall * 3600.0);
    std::printf("kovru-fleet: %.2f s CPU (%.2f %% of one core), peak RSS %ld KiB\n", fleetCpu,
        100.0 * fleetCpu / wall, fleetPeakKib);
    std::printf(
        "kovru-cli children: %.1f s CPU in all (%.2f s per device), largest peak RSS %ld KiB\n",
        allCpu - fleetCpu, (allCpu - fleetCpu) / controllers, usage.ru_maxrss);
    std::printf("kovru-sim: %.1f s CPU\n", simCpu);
    std::printf("load average before: %s, after: %s\n", loadBefore.c_str(), loadAfter.c_str());
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return succeeded == controllers ? 0 : 1;
}
