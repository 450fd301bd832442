// Device jobs in the real host: a full backup of many simulated controllers run as one job at
// N devices at once, once per N given, through the packaged UI. While the job runs, the page
// measures its keystroke latency (a search typed into the tree: from the input event to the
// next painted frame) and the host's round trip (jobs_getSettings to jobSettings, through the
// host's main loop); this program samples the host's CPU and resident memory and counts its
// tools. Run under a display (xvfb-run):
//   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/jobs_host_bench
//       [CONTROLLERS=32] [LATENCY_MS=2] [N...=1 8]
#include "fakes/fake_host_process.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

using kovrkit::testing::HostProcess;
using kovrkit::testing::TempFolder;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Runs one backup job per entry of window.benchRuns (the devices at once), one after the
// other; while a job runs, types into the search every 150 ms and asks the host for the
// setting every 150 ms. The result goes out through the CSV export.
const char* kDriver = R"JS(
(function () {
  var runs = RUNS;
  var pendingTrip = null, trips = [], keys = [], finished = [];
  window.chrome.webview.addEventListener('message', function (event) {
    var message = event.data;
    if (message.command === 'jobSettings' && pendingTrip !== null) {
      trips.push(performance.now() - pendingTrip);
      pendingTrip = null;
    }
    if (message.command === 'jobFinished') finished.push(message.payload);
  });
  function $(id) { return document.getElementById(id); }
  function until(condition) {
    return new Promise(function (resolve) {
      (function poll() { if (condition()) resolve(); else setTimeout(poll, 50); })();
    });
  }
  function folderBox() { return document.querySelector('#tree input.check[aria-label="Plant"]'); }
  var letters = 'Gate 1';
  function keystroke(count) {
    var search = $('search');
    var t0 = performance.now();
    search.value = letters.slice(0, 1 + count % letters.length);
    search.dispatchEvent(new Event('input'));
    requestAnimationFrame(function () { setTimeout(function () { keys.push(performance.now() - t0); }, 0); });
  }
  function runJob(index) {
    var concurrency = $('job-concurrency');
    concurrency.value = String(runs[index]);
    concurrency.dispatchEvent(new Event('change'));
    if (!folderBox().checked) folderBox().click();
    var before = finished.length;
    document.querySelector('[data-action=backup]').click();
    var count = 0;
    var timer = setInterval(function () {
      keystroke(count++);
      if (pendingTrip === null) {
        pendingTrip = performance.now();
        window.chrome.webview.postMessage({ command: 'jobs_getSettings' });
      }
    }, 150);
    return until(function () { return finished.length > before; }).then(function () {
      clearInterval(timer);
      var search = $('search');
      search.value = '';
      search.dispatchEvent(new Event('input'));
      var result = { concurrency: runs[index], finished: finished[finished.length - 1], keys: keys, trips: trips };
      keys = []; trips = [];
      return result;
    });
  }
  window.addEventListener('load', function () {
    var results = [];
    var chain = until(function () { return $('status').textContent.indexOf('Sites loaded') === 0 && folderBox(); });
    runs.forEach(function (_, index) {
      chain = chain.then(function () { return runJob(index); }).then(function (result) { results.push(result); });
    });
    chain.then(function () {
      window.chrome.webview.postMessage({ command: 'sites_exportCsv', payload: { csvContent: JSON.stringify(results) } });
    });
  });
})();
)JS";

struct Sample {
    double cpuSeconds = 0; // host user + system
    long rssKiB = 0;
    size_t tools = 0;
};

double cpuSecondsOf(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream rest(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int index = 3; index <= 15 && rest >> field; ++index) {
        if (index == 14)
            utime = std::stoull(field);
        if (index == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long rssOf(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:"))
            return std::atol(line.c_str() + 6);
    }
    return 0;
}

size_t toolsOf(pid_t parent)
{
    size_t tools = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator("/proc", error)) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find(" (kovru-cli) ") == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        tools += ppid == parent && state != "Z";
    }
    return tools;
}

double percentile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t at = std::min(
        values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
    return values[at];
}

std::vector<double> numbers(const json& array)
{
    std::vector<double> values;
    for (const json& value : array)
        values.push_back(value.get<double>());
    return values;
}

} // namespace

int main(int argc, char** argv)
{
    int controllers = argc > 1 ? std::atoi(argv[1]) : 32;
    int latency = argc > 2 ? std::atoi(argv[2]) : 2;
    json runs = json::array();
    for (int index = 3; index < argc; ++index)
        runs.push_back(std::atoi(argv[index]));
    if (runs.empty())
        runs = { 1, 8 };
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    if (!source || !std::getenv("KOVRU_BINARY_DIR")) {
        std::fprintf(stderr, "set KOVRU_SOURCE_DIR and KOVRU_BINARY_DIR\n");
        return 2;
    }

    std::vector<std::string> settings(static_cast<size_t>(controllers),
        "model=VELDIR-2,firmware=1.5.0,latency_ms=" + std::to_string(latency));
    SimProcess sim(settings);
    if (!sim.ready()) {
        std::fprintf(stderr, "kovru-sim did not start\n");
        return 1;
    }
    TempFolder folder;
    fs::create_directories(folder.path() / "cli");
    fs::create_directories(folder.path() / "home");
    fs::copy_file(
        kovru::testing::built_program("host/app/cli/kovru-cli"), folder.path() / "cli/kovru-cli");
    fs::copy(fs::path(source) / "ui", folder.path() / "ui", fs::copy_options::recursive);
    std::string driver = kDriver;
    driver.replace(driver.find("RUNS"), 4, runs.dump());
    folder.write("ui/driver.js", driver);
    std::string index = folder.read("ui/index.html");
    index.replace(index.find("</head>"), 7, "<script src=\"driver.js\"></script></head>");
    folder.write("ui/index.html", index);
    json devices = json::array();
    for (size_t unit = 0; unit < static_cast<size_t>(controllers); ++unit)
        devices.push_back(
            { { "name", "Gate " + std::to_string(unit + 1) }, { "ip", sim.address(unit) },
                { "description", "" }, { "username", "" }, { "password", "" } });
    folder.write("settings.json",
        json { { "sitesData",
                   { { "schemaVersion", 1 }, { "name", "Plant" }, { "description", "" },
                       { "folders", json::array() }, { "devices", devices } } } }
            .dump());
    json answers = json::array();
    for (size_t run = 0; run < runs.size(); ++run) {
        fs::create_directories(folder.path() / ("backups-" + std::to_string(run)));
        answers.push_back(folder.file("backups-" + std::to_string(run)));
    }
    answers.push_back(folder.file("shown.json"));
    folder.write("answers.json", answers.dump());

    HostProcess host(folder.path().string(), {},
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "HOME=" + folder.file("home") });
    // Samples while the most tools run (the host's CPU share and memory).
    std::vector<Sample> atMost;
    size_t most = 0;
    Sample last { cpuSecondsOf(host.pid()), rssOf(host.pid()), 0 };
    auto lastTime = std::chrono::steady_clock::now();
    double busyCpu = 0, busyWall = 0;
    long busyRss = 0;
    while (!fs::exists(folder.path() / "shown.json")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        auto now = std::chrono::steady_clock::now();
        Sample sample { cpuSecondsOf(host.pid()), rssOf(host.pid()), toolsOf(host.pid()) };
        if (sample.tools > most) {
            most = sample.tools;
            busyCpu = busyWall = 0;
            busyRss = 0;
        }
        if (sample.tools == most && most > 0) {
            busyCpu += sample.cpuSeconds - last.cpuSeconds;
            busyWall += std::chrono::duration<double>(now - lastTime).count();
            busyRss = std::max(busyRss, sample.rssKiB);
        }
        last = sample;
        lastTime = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    host.stop();
    json results = json::parse(folder.read("shown.json"));

    std::printf("%d controllers, %d ms latency, full backup (zip) of each\n", controllers, latency);
    std::printf("| N | job time | succeeded | keystroke median / p95 / max | host round trip "
                "median / p95 / max |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const json& run : results) {
        std::vector<double> keys = numbers(run["keys"]);
        std::vector<double> trips = numbers(run["trips"]);
        std::printf("| %d | %.1f s | %d of %d | %.0f / %.0f / %.0f ms | %.0f / %.0f / %.0f ms |\n",
            run["concurrency"].get<int>(), run["finished"]["seconds"].get<double>(),
            run["finished"]["succeeded"].get<int>(), run["finished"]["total"].get<int>(),
            percentile(keys, 0.5), percentile(keys, 0.95), percentile(keys, 1.0),
            percentile(trips, 0.5), percentile(trips, 0.95), percentile(trips, 1.0));
    }
    if (results.size() >= 2) {
        double first = results[0]["finished"]["seconds"].get<double>();
        double second = results[1]["finished"]["seconds"].get<double>();
        std::printf("speed-up N=%d against N=%d: %.2f x\n", results[1]["concurrency"].get<int>(),
            results[0]["concurrency"].get<int>(), second > 0 ? first / second : 0.0);
    }
    std::printf("host while %zu tools ran: %.1f %% of one core, %ld KiB resident at most\n", most,
        busyWall > 0 ? 100.0 * busyCpu / busyWall : 0.0, busyRss);
    return 0;
}
