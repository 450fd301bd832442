// Device jobs in the real host: a full backup of many simulated controllers run as one job at
// N devices at once, once per N given, through the packaged UI. While the job runs, the page
// measures its keystroke latency (a search typed into the tree: from the input event to the
// next painted frame) and the host's round trip (jobs_getSettings to jobSettings, through the
// host's main loop); this program samples the host's CPU and resident memory and counts its
// tools. Run under a display (xvfb-run):
//   KOVRU_BINARY_DIR=build KOVRU_SOURCE_DIR=. xvfb-run -a build/bench/jobs_host_bench
//       [CONTROLLERS=32] [LATENCY_MS=2] [N...=1 8]
#include "bench/host_bench_support.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

using kovru::bench::HostBench;
using kovru::bench::percentile;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Runs one backup job per entry of RUNS (the devices at once), one after the other; while a
// job runs, types into the search every 150 ms and asks the host for the setting every 150 ms.
const char* kDriver = R"JS(
(function () {
  var runs = RUNS, folders = FOLDERS;
  var pendingTrip = null, trips = [], keys = [], started = 0, finished = [], refused = null, lastEnd = 0;
  window.chrome.webview.addEventListener('message', function (event) {
    var message = event.data;
    if (message.command === 'jobSettings' && pendingTrip !== null) {
      trips.push(performance.now() - pendingTrip);
      pendingTrip = null;
    }
    if (message.command === 'jobStarted') started += 1;
    if (message.command === 'jobDeviceResult') lastEnd = performance.now();
    if (message.command === 'jobFinished') finished.push(message.payload);
    if (message.command === 'jobRefused') refused = message.payload;
  });
  function $(id) { return document.getElementById(id); }
  function folderBox() { return document.querySelector('#tree input.check[aria-label="Plant"]'); }
  var letters = 'Gate 1';
  function keystroke(count) {
    var search = $('search');
    var t0 = performance.now();
    search.value = letters.slice(0, 1 + count % letters.length);
    search.dispatchEvent(new Event('input'));
    requestAnimationFrame(function () { setTimeout(function () { keys.push(performance.now() - t0); }, 0); });
  }
  // A job ends when every device has; one whose devices stop ending has stalled.
  function notRefused(concurrency) {
    if (refused) throw new Error('the job at N = ' + concurrency + ' was refused: ' + JSON.stringify(refused));
  }
  function jobEnded(before, concurrency) {
    notRefused(concurrency);
    if (performance.now() - lastEnd > 300000) throw new Error('no device of the job at N = ' + concurrency + ' ended for 300 s');
    return finished.length > before;
  }
  function runJob(index) {
    var concurrency = $('job-concurrency');
    bench.step('running the backup job at N = ' + runs[index]);
    concurrency.value = String(runs[index]);
    concurrency.dispatchEvent(new Event('change'));
    if (!folderBox().checked) folderBox().click();
    var before = finished.length, startedBefore = started;
    document.querySelector('[data-action=backup]').click();
    // The backup dialog: into a folder of the job's own, as zip archives.
    if (!$('backup-dialog').open) throw new Error('the Backup dialog did not open');
    $('backup-folder').value = folders[index];
    $('backup-folder').dispatchEvent(new Event('input'));
    $('backup-ok').click();
    return bench.until(function () { notRefused(runs[index]); return started > startedBefore; }, 30,
      'the backup job did not start', 50)
      .then(function () { return watchJob(index, before); });
  }
  function watchJob(index, before) {
    var count = 0;
    lastEnd = performance.now();
    var timer = setInterval(function () {
      keystroke(count++);
      if (pendingTrip === null) {
        pendingTrip = performance.now();
        window.chrome.webview.postMessage({ command: 'jobs_getSettings' });
      }
    }, 150);
    return bench.until(function () { return jobEnded(before, runs[index]); }, Infinity, '', 50).then(function () {
      clearInterval(timer);
      var search = $('search');
      search.value = '';
      search.dispatchEvent(new Event('input'));
      var result = { concurrency: runs[index], finished: finished[finished.length - 1], keys: keys, trips: trips };
      bench.progress('N = ' + runs[index] + ': ' + result.finished.succeeded + ' of ' + result.finished.total
        + ' succeeded in ' + result.finished.seconds + ' s');
      keys = []; trips = [];
      return result;
    }, function (error) { clearInterval(timer); throw error; });
  }
  bench.start(folderBox, function () {
    var results = [], chain = Promise.resolve();
    runs.forEach(function (_, index) {
      chain = chain.then(function () { return runJob(index); }).then(function (result) { results.push(result); });
    });
    return chain.then(function () { return results; });
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
    HostBench bench(std::vector<std::string>(static_cast<size_t>(controllers),
        "model=VELDIR-2,firmware=1.5.0,latency_ms=" + std::to_string(latency)));
    if (!bench.ready())
        return 1;
    // Each job backs up into a folder of its own.
    json folders = json::array();
    for (size_t run = 0; run < runs.size(); ++run) {
        std::string name = "backups-" + std::to_string(run);
        fs::create_directories(bench.folder().path() / name);
        folders.push_back(bench.folder().file(name));
    }
    std::string driver = kDriver;
    driver.replace(driver.find("RUNS"), 4, runs.dump());
    driver.replace(driver.find("FOLDERS"), 7, folders.dump());
    if (!bench.start(driver, json::array()))
        return 1;
    // Samples while the most tools run (the host's CPU share and memory).
    const pid_t host = bench.hostPid();
    size_t most = 0;
    Sample last { cpuSecondsOf(host), rssOf(host), 0 };
    auto lastTime = std::chrono::steady_clock::now();
    double busyCpu = 0, busyWall = 0;
    long busyRss = 0;
    std::optional<json> shown = bench.waitForResult([&] {
        auto now = std::chrono::steady_clock::now();
        Sample sample { cpuSecondsOf(host), rssOf(host), toolsOf(host) };
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
    });
    bench.stop();
    if (!shown)
        return 1;
    const json& results = *shown;

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
