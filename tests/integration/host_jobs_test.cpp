// Device jobs through the real host with the real kovru-cli against kovru-sim: a page (the
// packaged UI, or a small page of the test) starts jobs, the test counts the tools the host
// runs, and the page reports every message it received.
#include "fakes/host_harness.h"
#include "fakes/page_messages.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

using namespace kovrkit::testing;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Starts each job of STEPS after the previous one finished; a step with "cancelAfter" cancels
// its job once that many devices reported progress. One report at the end holds every message
// with the page's clock.
const char* kJobsPage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview;
var steps = STEPS;
var step = 0, jobId = null, busy = {}, cancelled = false, log = [];
function now() { return performance.now(); }
function startStep() {
  busy = {}; cancelled = false;
  webview.postMessage({ command: 'jobs_start', payload: steps[step].start });
}
webview.addEventListener('message', function (event) {
  var message = event.data;
  log.push({ t: now(), message: message });
  if (message.command === 'jobStarted') jobId = message.payload.jobId;
  if (message.command === 'jobDeviceProgress' && steps[step].cancelAfter && !cancelled) {
    busy[message.payload.deviceIp] = true;
    if (Object.keys(busy).length >= steps[step].cancelAfter) {
      cancelled = true;
      log.push({ t: now(), cancel: jobId });
      webview.postMessage({ command: 'jobs_cancel', payload: { jobId: jobId } });
    }
  }
  if (message.command === 'jobFinished' || message.command === 'jobRefused') {
    step += 1;
    if (step < steps.length) startStep();
    else fetch('/report', { method: 'POST', body: JSON.stringify(log) });
  }
});
webview.postMessage({ command: 'ui_ready' });
startStep();
</script></body></html>)HTML";

// Watches the host's tools on a thread of its own: the most that ran at once.
class ToolCounter {
public:
    explicit ToolCounter(pid_t host)
        : thread_([this, host] {
            while (!stop_) {
                size_t running = childrenNamed(host, "kovru-cli").size();
                most_ = std::max(most_.load(), running);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        })
    {
    }
    ~ToolCounter()
    {
        stop_ = true;
        thread_.join();
    }
    size_t most() const { return most_; }

private:
    std::atomic<bool> stop_ = false;
    std::atomic<size_t> most_ = 0;
    std::thread thread_;
};

// Runs the jobs page in the host; returns what the page logged.
json runJobs(const HostFolder& host, const json& steps)
{
    return runPage(host, filledIn(kJobsPage, "STEPS", steps.dump()));
}

std::vector<json> payloadsOf(const json& log, const std::string& command)
{
    std::vector<json> found;
    for (const json& entry : log) {
        if (entry.contains("message") && entry["message"]["command"] == command)
            found.push_back(entry["message"]["payload"]);
    }
    return found;
}

std::vector<std::string> partialsUnder(const HostFolder& host)
{
    std::vector<std::string> partial;
    for (const char* place : { "backups", "tmp" }) {
        for (const fs::path& file : host.filesUnder(place)) {
            std::string name = file.filename().string();
            if (place == std::string("tmp") || name.find(".partial") != std::string::npos)
                partial.push_back(file.string());
        }
    }
    return partial;
}

} // namespace

// The packaged UI: the technician ticks the site, presses Backup and chooses a folder in its
// dialog; eight controllers, four at a time. While the job runs, a search in the tree is
// answered.
const char* kBackupDriver = R"JS(
(function () {
  var messages = [];
  window.chrome.webview.addEventListener('message', function (event) { messages.push(event.data); });
  function $(id) { return document.getElementById(id); }
  function until(condition) {
    return new Promise(function (resolve) {
      (function poll() { if (condition()) resolve(); else setTimeout(poll, 20); })();
    });
  }
  function names() {
    return Array.prototype.map.call(document.querySelectorAll('#tree [role=treeitem]'),
      function (row) { return row.getAttribute('aria-label'); });
  }
  function folderBox() { return document.querySelector('#tree input.check[aria-label="Plant"]'); }
  var shown = {};
  window.addEventListener('load', function () {
    until(function () { return $('status').textContent.indexOf('Sites loaded') === 0 && folderBox(); })
      .then(function () {
        folderBox().click();
        document.querySelector('[data-action=backup]').click();
        return until(function () { return $('backup-dialog').open; });
      })
      .then(function () {
        $('backup-choose').click();
        return until(function () { return $('backup-folder').value && $('backup-to-folder').checked; });
      })
      .then(function () {
        $('backup-ok').click();
        return until(function () { return document.querySelector('#results-body progress'); });
      })
      .then(function () {
        var search = $('search');
        search.value = 'Gate 7';
        search.dispatchEvent(new Event('input'));
        shown.searchWhileRunning = names();
        shown.finishedBeforeSearch = messages.some(function (m) { return m.command === 'jobFinished'; });
        search.value = '';
        search.dispatchEvent(new Event('input'));
        return until(function () { return $('results-summary').textContent.indexOf('finished') >= 0; });
      })
      .then(function () {
        shown.summary = $('results-summary').textContent;
        shown.messages = messages;
        window.chrome.webview.postMessage(
          { command: 'sites_exportCsv', payload: { csvContent: JSON.stringify(shown) } });
      });
  });
})();
)JS";

TEST(HostJobs, BackupOfEightControllersFourAtATimeWhileThePageAnswers)
{
    std::vector<std::string> settings(8, "model=VELDIR-2,firmware=1.5.0,latency_ms=4");
    SimProcess sim(settings);
    ASSERT_TRUE(sim.ready());
    HostFolder host({ "backups" });
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    TempFolder& folder = host.folder;
    fs::copy(fs::path(source) / "ui", folder.path() / "ui", fs::copy_options::recursive);
    folder.write("ui/driver.js", kBackupDriver);
    std::string index = folder.read("ui/index.html");
    index.replace(index.find("</head>"), 7, "<script src=\"driver.js\"></script></head>");
    folder.write("ui/index.html", index);
    json devices = json::array();
    for (size_t unit = 0; unit < 8; ++unit)
        devices.push_back(
            { { "name", "Gate " + std::to_string(unit + 1) }, { "ip", sim.address(unit) },
                { "description", "" }, { "username", "" }, { "password", "" } });
    folder.write("settings.json",
        json { { "sitesData",
                   { { "schemaVersion", 1 }, { "name", "Plant" }, { "description", "" },
                       { "folders", json::array() }, { "devices", devices } } } }
            .dump());
    folder.write(
        "answers.json", json::array({ folder.file("backups"), folder.file("shown.json") }).dump());

    HostProcess process(folder.path().string(), {}, host.environment());
    ASSERT_TRUE(process.started());
    size_t most = 0;
    {
        ToolCounter counter(process.pid());
        for (int tenth = 0; tenth < 2400 && !fs::exists(folder.path() / "shown.json"); ++tenth)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        most = counter.most();
    }
    EXPECT_EQ(process.stop(), 0);
    ASSERT_TRUE(fs::exists(folder.path() / "shown.json"));
    json shown = json::parse(folder.read("shown.json"));

    EXPECT_LE(most, 4u) << "never more than four tools at once";
    EXPECT_GE(most, 2u) << "the devices ran side by side";
    EXPECT_EQ(shown["searchWhileRunning"], json({ "Plant", "Gate 7" }));
    EXPECT_EQ(shown["finishedBeforeSearch"], false) << "the search was answered during the job";
    EXPECT_EQ(shown["summary"], "Backup finished: 8 of 8 succeeded, 0 failed");

    json log = json::array();
    for (const json& message : shown["messages"])
        log.push_back({ { "message", message } });
    std::vector<json> started = payloadsOf(log, "jobStarted");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0]["action"], "backup");
    EXPECT_EQ(started[0]["total"], 8);
    std::set<std::string> progressed;
    for (const json& progress : payloadsOf(log, "jobDeviceProgress"))
        progressed.insert(progress["deviceIp"].get<std::string>());
    EXPECT_EQ(progressed.size(), 8u) << "progress of every device";
    std::set<std::string> succeeded;
    for (const json& result : payloadsOf(log, "jobDeviceResult")) {
        EXPECT_EQ(result["success"], true) << result.dump();
        EXPECT_EQ(result["cause"], "");
        EXPECT_GT(result["seconds"].get<double>(), 0.0);
        succeeded.insert(result["deviceIp"].get<std::string>());
    }
    EXPECT_EQ(succeeded.size(), 8u);
    std::vector<json> finished = payloadsOf(log, "jobFinished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0]["total"], 8);
    EXPECT_EQ(finished[0]["succeeded"], 8);
    EXPECT_EQ(finished[0]["failed"], 0);
    EXPECT_EQ(finished[0]["cancelled"], 0);
    EXPECT_EQ(host.filesUnder("backups").size(), 8u);
    EXPECT_TRUE(partialsUnder(host).empty());
}

TEST(HostJobs, CancelEndsTheRunningToolsAndReportsTheQueuedOnes)
{
    std::vector<std::string> settings(6, "model=VELDIR-2,firmware=1.5.0,latency_ms=40");
    SimProcess sim(settings);
    ASSERT_TRUE(sim.ready());
    HostFolder host({ "backups" });
    std::vector<std::string> addresses;
    for (size_t unit = 0; unit < 6; ++unit)
        addresses.push_back(sim.address(unit));
    json steps = json::array(
        { { { "start",
                { { "action", "backup" }, { "devices", deviceList(addresses) },
                    { "concurrency", 2 },
                    { "options", { { "backupFolder", host.folder.file("backups") } } } } },
            { "cancelAfter", 2 } } });
    json log = runJobs(host, steps);

    double cancelAt = -1;
    double finishedAt = -1;
    for (const json& entry : log) {
        if (entry.contains("cancel"))
            cancelAt = entry["t"];
        if (entry.contains("message") && entry["message"]["command"] == "jobFinished")
            finishedAt = entry["t"];
    }
    ASSERT_GE(cancelAt, 0);
    ASSERT_GE(finishedAt, cancelAt);
    EXPECT_LT(finishedAt - cancelAt, 2000.0) << "the running tools end within 2 s";

    int queued = 0;
    int cancelledRunning = 0;
    for (const json& result : payloadsOf(log, "jobDeviceResult")) {
        if (result["success"] == true)
            continue;
        EXPECT_EQ(result["cause"], "cancelled") << result.dump();
        if (result["reason"] == "Cancelled before it started")
            ++queued;
        else if (result["exitCode"] == 1)
            ++cancelledRunning;
    }
    EXPECT_EQ(queued, 4) << "the queued devices";
    EXPECT_EQ(cancelledRunning, 2);
    std::vector<json> finished = payloadsOf(log, "jobFinished");
    ASSERT_EQ(finished.size(), 1u);
    EXPECT_EQ(finished[0]["total"], 6);
    EXPECT_EQ(finished[0]["cancelled"], 6);
    EXPECT_EQ(finished[0]["succeeded"].get<int>() + finished[0]["failed"].get<int>()
            + finished[0]["cancelled"].get<int>(),
        6);
    EXPECT_TRUE(host.filesUnder("backups").empty());
    EXPECT_TRUE(partialsUnder(host).empty()) << "no partial archive, no spool";
}

TEST(HostJobs, EachCauseComesFromARealFault)
{
    SimProcess sim(
        { "model=VELDIR-2,firmware=1.5.0", "model=VELDIR-2,firmware=1.5.0,http_error=500" });
    ASSERT_TRUE(sim.ready());
    HostFolder host({ "backups" });
    host.folder.write("junk-firmware.zip", "this is no firmware package");
    std::string backups = host.folder.file("backups");
    json steps = json::array({
        { { "start",
            { { "action", "backup" }, { "devices", deviceList({ "127.0.0.1:1", sim.address(1) }) },
                { "options", { { "backupFolder", backups } } } } } },
        { { "start",
            { { "action", "upgrade" }, { "devices", deviceList({ sim.address(0) }) },
                { "options", { { "firmwareFile", host.folder.file("junk-firmware.zip") } } } } } },
    });
    json log = runJobs(host, steps);
    std::map<std::string, json> results;
    for (const json& result : payloadsOf(log, "jobDeviceResult"))
        results[result["deviceIp"]] = result;
    ASSERT_EQ(results.size(), 3u) << log.dump();
    EXPECT_EQ(results["127.0.0.1:1"]["cause"], "unreachable") << results["127.0.0.1:1"].dump();
    EXPECT_NE(results["127.0.0.1:1"]["reason"], "");
    EXPECT_EQ(results[sim.address(1)]["cause"], "controller-refused")
        << results[sim.address(1)].dump();
    EXPECT_EQ(results[sim.address(0)]["cause"], "refused-input") << results[sim.address(0)].dump();
    EXPECT_EQ(results[sim.address(0)]["exitCode"], 2);

    HostFolder withoutTool({ "backups" }, false);
    json missing = runJobs(withoutTool,
        json::array({ { { "start",
            { { "action", "backup" }, { "devices", deviceList({ sim.address(0) }) },
                { "options", { { "backupFolder", backups } } } } } } }));
    std::vector<json> missingResults = payloadsOf(missing, "jobDeviceResult");
    ASSERT_EQ(missingResults.size(), 1u);
    EXPECT_EQ(missingResults[0]["cause"], "tool-missing");
    EXPECT_EQ(missingResults[0]["message"], "CLI executable not found");
}

// Closing the window while a job runs asks once; yes cancels the job, and the host ends only
// after its tools have ended, leaving nothing partial.
TEST(HostJobs, ClosingTheWindowDuringAJobCancelsItAfterAsking)
{
    SimProcess sim({ "model=VELDIR-2,firmware=1.5.0,latency_ms=40" });
    ASSERT_TRUE(sim.ready());
    HostFolder host({ "backups" });
    host.folder.write("answers.json", json::array({ "yes" }).dump());
    json steps = json::array({ { { "start",
        { { "action", "backup" }, { "devices", deviceList({ sim.address(0) }) },
            { "options", { { "backupFolder", host.folder.file("backups") } } } } } } });
    HostWithPage process(host, filledIn(kJobsPage, "STEPS", steps.dump()));
    ASSERT_TRUE(process.started());
    std::vector<pid_t> tools;
    for (int tenth = 0; tenth < 600 && tools.empty(); ++tenth) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        tools = childrenNamed(process.pid(), "kovru-cli");
    }
    ASSERT_EQ(tools.size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(process.stop(), 0);
    EXPECT_FALSE(fs::exists("/proc/" + std::to_string(tools[0]))) << "the tool outlived the host";
    EXPECT_TRUE(host.filesUnder("backups").empty());
    EXPECT_TRUE(partialsUnder(host).empty());
}
