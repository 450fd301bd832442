// The whole road of a device action: a page sends the command, the host asks the dialog
// answer file for the folder or archive, runs the real kovru-cli against kovru-sim, and the
// page receives the results; status reads go from the host straight to the simulator.
#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

using namespace kovrkit::testing;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Sends FIRST; after the batch summary of the first action sends THEN (when given). Every
// message from the host is reported in arrival order.
const char* kPage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview;
var sequence = 0;
var then = THEN;
function report(entry) {
  entry.seq = sequence++;
  fetch('/report', { method: 'POST', body: JSON.stringify(entry) });
}
webview.addEventListener('message', function (event) {
  report({ message: event.data });
  if (then && event.data.command === 'nativeActionBatchSummary') {
    webview.postMessage(then);
    then = null;
  }
});
webview.postMessage({ command: 'ui_ready' });
webview.postMessage(FIRST);
</script></body></html>)HTML";

std::string pageWith(const json& first, const json& then)
{
    std::string page = kPage;
    page.replace(page.find("THEN"), 4, then.dump());
    page.replace(page.find("FIRST"), 5, first.dump());
    return page;
}

// The process id of a child of `parent` named kovru-cli, or 0.
pid_t toolChildOf(pid_t parent)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find(" (kovru-cli) ") == std::string::npos)
            continue;
        // pid (comm) state ppid ...
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent)
            return std::atoi(entry.path().filename().c_str());
    }
    return 0;
}

enum class Closing { AtTheEnd, WhileTheToolRuns };

// Runs the host in `folder` (with kovru-cli beside it) on the page until `count` messages came.
// Closed while the tool runs, the host ends only once the tool has ended.
std::vector<json> runPage(TempFolder& folder, const std::string& page, const json& answers,
    size_t count, Closing closing = Closing::AtTheEnd)
{
    folder.write("answers.json", answers.dump());
    FakeHttpServer devServer("127.0.0.1", 0, { { "/", page } });
    EXPECT_TRUE(devServer.listening());
    HostProcess host(folder.path().string(), { "--dev" },
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "HOME=" + folder.file("home"),
            "XDG_CONFIG_HOME=" + folder.file("home/.config"), devPortVariable(devServer.port()) });
    EXPECT_TRUE(host.started());
    if (closing == Closing::WhileTheToolRuns) {
        pid_t tool = 0;
        for (int tenth = 0; tenth < 1200 && !tool; ++tenth) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            tool = toolChildOf(host.pid());
        }
        EXPECT_NE(tool, 0);
        EXPECT_EQ(host.stop(), 0);
        EXPECT_FALSE(fs::exists("/proc/" + std::to_string(tool))) << "the tool outlived the host";
        return {};
    }
    std::vector<std::string> reports = devServer.waitForReports(count, 240);
    EXPECT_EQ(host.stop(), 0);
    std::vector<json> entries;
    for (const std::string& report : reports)
        entries.push_back(json::parse(report));
    std::sort(entries.begin(), entries.end(),
        [](const json& a, const json& b) { return a["seq"] < b["seq"]; });
    std::vector<json> messages;
    for (const json& entry : entries)
        messages.push_back(entry["message"]);
    return messages;
}

std::vector<fs::path> archivesIn(const fs::path& folder)
{
    std::vector<fs::path> archives;
    for (const auto& entry : fs::directory_iterator(folder))
        archives.push_back(entry.path());
    std::sort(archives.begin(), archives.end());
    return archives;
}

} // namespace

TEST(HostDeviceActions, BackupStatusAndRestoreOfSimulatedControllers)
{
    SimProcess sim({ "model=VELDIR-2,firmware=1.5.0", "model=VELDIR-4,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    std::string first = sim.address(0);
    std::string second = sim.address(1);
    TempFolder folder;
    fs::create_directories(folder.path() / "cli");
    fs::create_directories(folder.path() / "home");
    fs::create_directories(folder.path() / "backups");
    fs::copy_file(
        kovru::testing::built_program("host/app/cli/kovru-cli"), folder.path() / "cli/kovru-cli");

    json backup = { { "command", "native_actionBackup" },
        { "payload", { { "ipsCsv", " " + first + ", ," + second + "," + first } } } };
    json status = { { "command", "native_actionGetStatus" },
        { "payload", { { "ipsCsv", "127.0.0.1:1," + first + "," + second } } } };
    std::vector<json> messages
        = runPage(folder, pageWith(backup, status), json::array({ folder.file("backups") }), 7);
    ASSERT_EQ(messages.size(), 7u);

    for (int device = 0; device < 2; ++device) {
        json result = messages[device]["payload"];
        EXPECT_EQ(result["action"], "native_actionBackup");
        EXPECT_EQ(result["deviceIp"], device == 0 ? first : second);
        EXPECT_EQ(result["message"], "Action completed successfully");
        EXPECT_EQ(result["exitCode"], 0);
    }
    EXPECT_EQ(messages[2]["payload"],
        json::parse(R"({"action":"native_actionBackup","total":2,"succeeded":2,"failed":0})"));
    std::vector<fs::path> archives = archivesIn(folder.path() / "backups");
    ASSERT_EQ(archives.size(), 2u);

    EXPECT_EQ(messages[3]["payload"]["deviceIp"], "127.0.0.1:1");
    EXPECT_EQ(messages[3]["payload"]["message"], "Failed to send status request (libcurl 7)");
    EXPECT_EQ(messages[4]["payload"]["deviceIp"], first);
    EXPECT_EQ(messages[4]["payload"]["data"]["model_name"], "VELDIR-2");
    EXPECT_EQ(messages[4]["payload"]["data"]["firmware_version"], "1.5.0");
    EXPECT_EQ(messages[5]["payload"]["data"]["model_name"], "VELDIR-4");
    EXPECT_EQ(messages[5]["payload"]["message"], "Status retrieved successfully");
    EXPECT_EQ(messages[6]["payload"]["succeeded"], 2);
    EXPECT_EQ(messages[6]["payload"]["failed"], 1);

    // The first controller's archive goes back to it.
    std::string mark = "backup_127.0.0.1_" + std::to_string(sim.port(0)) + "_";
    auto ofFirst = std::find_if(archives.begin(), archives.end(),
        [&](const fs::path& path) { return path.filename().string().starts_with(mark); });
    ASSERT_NE(ofFirst, archives.end());
    std::string archive = ofFirst->string();
    json restore = { { "command", "native_actionRestore" }, { "payload", { { "ip", first } } } };
    std::vector<json> restored
        = runPage(folder, pageWith(restore, nullptr), json::array({ archive }), 1);
    ASSERT_EQ(restored.size(), 1u);
    EXPECT_EQ(restored[0]["payload"]["deviceIp"], first);
    EXPECT_EQ(restored[0]["payload"]["message"], "Action completed successfully");

    // A close request while the tool runs: the tool ends its work and then the host ends.
    fs::remove_all(folder.path() / "home" / "Downloads");
    fs::create_directories(folder.path() / "home" / "Downloads");
    runPage(
        folder, pageWith(restore, nullptr), json::array({ archive }), 1, Closing::WhileTheToolRuns);
    EXPECT_EQ(archivesIn(folder.path() / "home" / "Downloads").size(), 1u) << "the safety backup";
}

// The packaged UI in the real host: the technician ticks the site's folder and presses
// Status; the results panel and the tree show what the simulated controllers answered. The
// page's own export channel carries what the window shows back to the test.
const char* kStatusDriver = R"JS(
(function () {
  function $(id) { return document.getElementById(id); }
  function until(condition) {
    return new Promise(function (resolve) {
      (function poll() { if (condition()) resolve(); else setTimeout(poll, 50); })();
    });
  }
  function folderBox() { return document.querySelector('#tree input.check[aria-label="Plant"]'); }
  window.addEventListener('load', function () {
    until(function () { return $('status').textContent.indexOf('Sites loaded') === 0 && folderBox(); })
      .then(function () {
        folderBox().click();
        document.querySelector('[data-action=getStatus]').click();
        return until(function () { return $('results-summary').textContent.indexOf('finished') >= 0; });
      })
      .then(function () {
        var rows = Array.prototype.map.call($('results-body').querySelectorAll('tr'),
          function (row) { return row.textContent; });
        var shown = { summary: $('results-summary').textContent, rows: rows, tree: $('tree').textContent };
        window.chrome.webview.postMessage(
          { command: 'sites_exportCsv', payload: { csvContent: JSON.stringify(shown) } });
      });
  });
})();
)JS";

TEST(HostDeviceActions, PackagedUiReadsStatusOfSimulatedControllers)
{
    SimProcess sim({ "model=VELDIR-2,firmware=1.5.0", "model=VELDIR-4,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    TempFolder folder;
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::copy(fs::path(source) / "ui", folder.path() / "ui", fs::copy_options::recursive);
    folder.write("ui/driver.js", kStatusDriver);
    std::string page = folder.read("ui/index.html");
    page.replace(page.find("</head>"), 7, "<script src=\"driver.js\"></script></head>");
    folder.write("ui/index.html", page);
    json device = { { "description", "" }, { "username", "admin" }, { "password", "x" } };
    json devices = json::array();
    for (auto [name, ip] : { std::pair { "Gate A", sim.address(0) }, { "Gate B", sim.address(1) },
             { "Gate dead", std::string("127.0.0.1:1") } }) {
        device["name"] = name;
        device["ip"] = ip;
        devices.push_back(device);
    }
    folder.write("settings.json",
        json { { "sitesData",
                   { { "schemaVersion", 1 }, { "name", "Plant" }, { "description", "" },
                       { "folders", json::array() }, { "devices", devices } } } }
            .dump());
    folder.write("answers.json", json::array({ folder.file("shown.json") }).dump());
    fs::create_directories(folder.path() / "home");

    HostProcess host(folder.path().string(), {},
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "HOME=" + folder.file("home") });
    ASSERT_TRUE(host.started());
    for (int tenth = 0; tenth < 1800 && !fs::exists(folder.path() / "shown.json"); ++tenth)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(host.stop(), 0);
    ASSERT_TRUE(fs::exists(folder.path() / "shown.json"));

    json shown = json::parse(folder.read("shown.json"));
    EXPECT_EQ(shown["summary"], "Status finished: 2 of 3 succeeded, 1 failed");
    ASSERT_EQ(shown["rows"].size(), 3u);
    std::string rows = shown["rows"].dump();
    EXPECT_NE(rows.find("Failed to send status request (libcurl 7)"), std::string::npos) << rows;
    std::string tree = shown["tree"];
    EXPECT_NE(tree.find("VELDIR-2"), std::string::npos) << tree;
    EXPECT_NE(tree.find("1.5.0"), std::string::npos) << tree;
    EXPECT_NE(tree.find("VELDIR-4"), std::string::npos) << tree;
    EXPECT_NE(tree.find("2.2.4"), std::string::npos) << tree;
}
