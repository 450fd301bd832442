// A staged firmware rollout against one-by-one upgrades, in one run: the job engine with the
// real kovru-cli and GLib child processes upgrades every controller of a fresh kovru-sim, first
// as a rollout (one canary, then groups of N), then one controller at a time. Each upgrade is
// what the window runs: the file check, the status reads, the tool's safety backup, the upload
// and the verification. Prints the wall time of each and the load average around them.
//   KOVRU_BINARY_DIR=build build/bench/rollout_bench [CONTROLLERS=64] [LATENCY_MS=2] [N=8]
#include "fakes/fake_dialogs.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/firmware_files.h"
#include "fakes/sim_process.h"
#include "host/jobs/job_command_table.h"
#include "host/jobs/job_device_runner.h"
#include "host/jobs/job_engine.h"
#include "host/jobs/status_device_runner.h"
#include "host/jobs/tool_device_runner.h"
#include "host/platform/glib/glib_child_processes.h"
#include "host/platform/glib/glib_main_loop_poster.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kovrkit;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Notes each device's end on standard error as it comes, so a long run shows its pace.
struct Replies final : UiReplySink {
    void sendToUi(std::string text) override
    {
        json message = json::parse(text);
        if (message["command"] == "jobDeviceResult") {
            double elapsed
                = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
            std::fprintf(stderr, "%8.1f s  %s %s\n", elapsed,
                message["payload"]["deviceIp"].get<std::string>().c_str(),
                message["payload"]["success"] == true ? "upgraded" : "failed");
        }
        if (message["command"] == "jobFinished")
            finished = message["payload"];
    }
    std::chrono::steady_clock::time_point began = std::chrono::steady_clock::now();
    json finished;
};

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

struct Outcome {
    double seconds = 0;
    json finished;
    std::string loadBefore, loadAfter;
};

// Upgrades every controller of a fresh simulator through the engine, N at once.
Outcome upgradeAll(const fs::path& image, int controllers, int latency, int concurrency)
{
    std::vector<std::string> settings(
        controllers, "model=VELDIR-2,firmware=1.5.0,latency_ms=" + std::to_string(latency));
    kovru::testing::SimProcess sim(settings);
    if (!sim.ready()) {
        std::fprintf(stderr, "kovru-sim did not start\n");
        std::exit(1);
    }
    GLibChildProcesses processes;
    GLibMainLoopPoster poster;
    ToolDeviceRunner tools(processes, kovru::testing::built_program("cli/main/kovru-cli"));
    StatusDeviceRunner statuses(poster);
    JobDeviceRunner runner(tools, statuses);
    Replies replies;
    JobEngine engine(runner, replies);
    testing::FakeDialogs dialogs;
    CommandTable commands = jobCommands(engine, dialogs, replies, {});
    json devices = json::array();
    for (int unit = 0; unit < controllers; ++unit)
        devices.push_back({ { "ip", sim.address(static_cast<size_t>(unit)) } });
    json start = { { "action", "upgrade" }, { "devices", devices }, { "concurrency", concurrency },
        { "options",
            { { "firmwareFile", image.string() },
                { "rollout", { { "canary", 1 }, { "stopAfterFailures", 1 } } } } } };
    Outcome outcome;
    outcome.loadBefore = loadAverage();
    auto began = std::chrono::steady_clock::now();
    replies.began = began;
    for (Command& command : commands) {
        if (command.name == "jobs_start")
            command.run(start);
    }
    while (replies.finished.is_null())
        g_main_context_iteration(nullptr, TRUE);
    outcome.seconds
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    outcome.loadAfter = loadAverage();
    outcome.finished = replies.finished;
    return outcome;
}

void report(const char* what, const Outcome& outcome)
{
    std::printf("%-28s %8.1f s  succeeded %d of %d  load average %s -> %s\n", what, outcome.seconds,
        outcome.finished["succeeded"].get<int>(), outcome.finished["total"].get<int>(),
        outcome.loadBefore.c_str(), outcome.loadAfter.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    int controllers = argc > 1 ? std::atoi(argv[1]) : 64;
    int latency = argc > 2 ? std::atoi(argv[2]) : 2;
    int concurrency = argc > 3 ? std::atoi(argv[3]) : 8;
    kovrkit::testing::TempFolder folder;
    // The tool's safety backups go to $HOME/Downloads.
    fs::create_directories(folder.path() / "home/Downloads");
    ::setenv("HOME", folder.file("home").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", folder.file("home/.config").c_str(), 1);
    auto bytes = kovru::testing::controller_image(1'900'000, "VELDIR-2", "1.6.2");
    fs::path image = kovru::testing::make_package(
        folder.path(), "veldir-2-1.6.2.bin", bytes, kovru::testing::sha256_text(bytes));

    std::printf("%d controllers, %d ms latency, 1,900,000-byte image\n", controllers, latency);
    std::fflush(stdout);
    Outcome rollout = upgradeAll(image, controllers, latency, concurrency);
    std::string label = "rollout, canary 1, N = " + std::to_string(concurrency);
    report(label.c_str(), rollout);
    std::fflush(stdout);
    Outcome sequential = upgradeAll(image, controllers, latency, 1);
    report("one at a time (N = 1)", sequential);
    std::printf("speed-up %.2fx\n", sequential.seconds / rollout.seconds);
    return 0;
}
