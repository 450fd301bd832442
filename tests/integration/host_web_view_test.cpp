// The real program under a private X server: a development page on localhost speaks the
// whole protocol through window.chrome.webview, a page of another origin inside it is ignored,
// and the UI folder is served under kovrkit://app and nothing outside it.
#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

#include <nlohmann/json.hpp>

extern char** environ;

using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Sends each command in turn, numbering every message the host posts back and reporting it to
// the test's server. The frame of another origin tries the channel itself before the last
// command goes out.
const char* kDevPage = R"HTML(<!doctype html><html><body><h1>development page</h1>
<script>
var webview = window.chrome && window.chrome.webview;
var sequence = 0;
function report(entry) {
  entry.seq = sequence++;
  fetch('/report', { method: 'POST', body: JSON.stringify(entry) });
}
webview.addEventListener('message', function (event) { report({ message: event.data }); });
var tree = { version: 1, rootId: 'r', nodes: {
  r: { id: 'r', type: 'folder', name: 'Plant', description: '', children: ['d0', 'A'] },
  A: { id: 'A', type: 'folder', name: 'Hall "1"', description: 'ä', children: ['d1'] },
  d0: { id: 'd0', type: 'device', name: 'Gate 0', description: '', ip: '10.0.0.5', username: 'u', password: 'p' },
  d1: { id: 'd1', type: 'device', name: 'Gate 1', description: '', ip: '10.0.0.6', username: 'u', password: 'p' } } };
function send(command, payload) { webview.postMessage(payload ? { command: command, payload: payload } : { command: command }); }
send('ui_ready');
send('getAppInfo');
send('setSitesData', { sitesData: tree });
send('getSitesData');
send('sites_exportCsv', { csvContent: 'name,ip\r\nGate ü,10.0.0.5\r\n' });
send('sites_importCsv');
send('openExternalUrl', { url: ' ftp://files.example/x ' });
send('native_actionBackup', { ipsCsv: ' 10.0.0.5 ' });
send('native_actionGetStatus', { ipsCsv: '127.0.0.1:1,[::1]:1' });
// Without the token the channel of the page itself is ignored as well.
window.webkit.messageHandlers.kovrkit.postMessage(JSON.stringify({ command: 'sites_exportCsv' }));
window.addEventListener('message', function (event) {
  if (event.data !== 'frame done') return;
  report({ frame: 'done' });
  send('legacy_uninstall');
});
var frame = document.createElement('iframe');
frame.src = 'http://127.0.0.1:FRAME_PORT/frame.html';
document.body.appendChild(frame);
</script></body></html>)HTML";

const char* kFramePage = R"HTML(<!doctype html><html><body><script>
var handlers = window.webkit && window.webkit.messageHandlers;
if (handlers && handlers.kovrkit) {
  var guess = '00000000000000000000000000000000';
  handlers.kovrkit.postMessage(guess + JSON.stringify({ command: 'sites_exportCsv' }));
  handlers.kovrkit.postMessage(JSON.stringify({ command: 'sites_exportCsv' }));
}
if (window.chrome && window.chrome.webview)
  window.chrome.webview.postMessage({ command: 'sites_exportCsv' });
fetch('/report', { method: 'POST', body: JSON.stringify({ frameHasWebview: !!(window.chrome && window.chrome.webview) }) })
  .then(function () { setTimeout(function () { parent.postMessage('frame done', '*'); }, 300); });
</script></body></html>)HTML";

std::vector<json> messagesInOrder(const std::vector<std::string>& reports)
{
    std::vector<json> entries;
    for (const std::string& report : reports)
        entries.push_back(json::parse(report));
    std::sort(entries.begin(), entries.end(),
        [](const json& a, const json& b) { return a["seq"] < b["seq"]; });
    std::vector<json> messages;
    for (const json& entry : entries) {
        if (entry.contains("message"))
            messages.push_back(entry["message"]);
    }
    return messages;
}

std::vector<std::string> commandsOf(const std::vector<json>& messages)
{
    std::vector<std::string> commands;
    for (const json& message : messages)
        commands.push_back(message["command"]);
    return commands;
}

TEST(HostWebView, DevelopmentPageSpeaksTheWholeProtocol)
{
    TempFolder folder;
    folder.write(
        "answers.json", json({ folder.file("exported"), folder.file("exported.csv") }).dump());
    FakeHttpServer frameServer("127.0.0.1", 0, { { "/frame.html", kFramePage } });
    std::string devPage = kDevPage;
    devPage.replace(devPage.find("FRAME_PORT"), 10, std::to_string(frameServer.port()));
    FakeHttpServer devServer("127.0.0.1", 0, { { "/", devPage } });
    ASSERT_TRUE(devServer.listening());
    ASSERT_TRUE(frameServer.listening());

    HostProcess host(folder.path().string(), { "--dev" },
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"),
            devPortVariable(devServer.port()) });
    ASSERT_TRUE(host.started());

    // Twelve replies and the frame's mark; the last reply answers the command sent after the
    // frame's attempts, so anything they caused would be in by then. A little more waiting
    // collects reports still in flight.
    devServer.waitForReports(13, 120);
    std::vector<std::string> reports = devServer.waitForReports(14, 2);
    std::vector<std::string> frameReports = frameServer.waitForReports(1, 10);
    EXPECT_EQ(host.stop(), 0);

    std::vector<json> messages = messagesInOrder(reports);
    ASSERT_EQ(commandsOf(messages),
        std::vector<std::string>({ "appInfoLoaded", "legacyMigrationStatus", "sitesDataSaved",
            "sitesDataLoaded", "sitesCsvExported", "sitesCsvImported", "openExternalUrlResult",
            "nativeActionResult", "nativeActionResult", "nativeActionResult",
            "nativeActionBatchSummary", "legacyUninstallLaunchResult" }));
    EXPECT_EQ(reports.size(), 13u) << "the frame's mark and twelve replies, nothing from the frame";

    EXPECT_EQ(messages[0]["payload"]["version"], "2.0.2.0");
    EXPECT_EQ(messages[0]["payload"]["productName"], "TORVANE VELDIR Tool");
    EXPECT_EQ(messages[2]["payload"], json::parse(R"({"success":true})"));
    json nodes = messages[3]["payload"]["sitesData"]["nodes"];
    EXPECT_EQ(nodes["root"]["children"], json({ "folder-1", "device-2" }));
    EXPECT_EQ(nodes["folder-1"]["name"], "Hall \"1\"");
    EXPECT_EQ(nodes["folder-1"]["description"], "ä");
    EXPECT_EQ(nodes["device-1"]["name"], "Gate 1");
    EXPECT_EQ(messages[4]["payload"],
        json({ { "success", true }, { "message", "CSV exported" },
            { "path", folder.file("exported.csv") } }));
    EXPECT_EQ(folder.read("exported.csv"), "name,ip\r\nGate ü,10.0.0.5\r\n");
    EXPECT_EQ(messages[5]["payload"]["csvContent"], "name,ip\r\nGate ü,10.0.0.5\r\n");
    EXPECT_EQ(messages[6]["payload"]["message"], "Only HTTP and HTTPS URLs are supported");
    EXPECT_EQ(messages[7]["payload"]["deviceIp"], "10.0.0.5");
    EXPECT_EQ(messages[8]["payload"]["action"], "native_actionGetStatus");
    EXPECT_EQ(messages[10]["payload"]["total"], 2);
    EXPECT_EQ(messages[11]["payload"]["success"], false);

    ASSERT_EQ(frameReports.size(), 1u);
    EXPECT_EQ(json::parse(frameReports[0])["frameHasWebview"], false);

    json settings = json::parse(folder.read("settings.json"));
    EXPECT_EQ(settings["sitesData"]["name"], "Plant");
    EXPECT_TRUE(fs::is_directory(folder.path() / "webview2_userdata"));
}

// The packaged page reports what it could fetch by exporting it as the CSV text.
const char* kProbePage = R"HTML(<!doctype html><html><body><script>
var probes = ['probe.txt', '../settings.json', '%2e%2e/settings.json', 'kovrkit://app/..%2fsettings.json',
              'outside.txt', 'kovrkit://other/probe.txt', 'missing.txt'];
var results = {};
var webview = window.chrome.webview;
webview.addEventListener('message', function (event) {
  if (event.data.command === 'sitesDataLoaded') results.sitesRoot = event.data.payload.sitesData.rootId;
  if (event.data.command !== 'sitesDataLoaded') return;
  webview.postMessage({ command: 'sites_exportCsv', payload: { csvContent: JSON.stringify(results) } });
});
Promise.all(probes.map(function (probe) {
  return fetch(probe).then(function (response) { return response.ok ? response.text() : 'status ' + response.status; },
                           function () { return 'refused'; })
    .then(function (outcome) { results[probe] = outcome; });
})).then(function () {
  results.origin = location.origin;
  results.href = location.href;
  webview.postMessage({ command: 'getSitesData' });
});
</script></body></html>)HTML";

bool waitForFile(const std::string& path, int seconds)
{
    for (int tenth = 0; tenth < seconds * 10; ++tenth) {
        if (fs::exists(path) && fs::file_size(path) > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

TEST(HostWebView, PackagedFolderIsServedUnderItsSchemeAndNothingOutside)
{
    TempFolder folder;
    fs::create_directories(folder.path() / "ui");
    folder.write("ui/index.html", kProbePage);
    folder.write("ui/probe.txt", "inside");
    folder.write("settings.json", R"({"secret":"outside the folder"})");
    fs::create_symlink(folder.file("settings.json"), folder.path() / "ui" / "outside.txt");
    folder.write("answers.json", json({ folder.file("report.csv") }).dump());

    HostProcess host(
        folder.path().string(), {}, { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json") });
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(waitForFile(folder.file("report.csv"), 120));
    EXPECT_EQ(host.stop(), 0);

    json results = json::parse(folder.read("report.csv"));
    EXPECT_EQ(results["probe.txt"], "inside");
    for (const char* refused :
        { "../settings.json", "%2e%2e/settings.json", "kovrkit://app/..%2fsettings.json",
            "outside.txt", "kovrkit://other/probe.txt", "missing.txt" }) {
        EXPECT_EQ(results[refused].get<std::string>().find("secret"), std::string::npos) << refused;
    }
    EXPECT_EQ(results["href"], "kovrkit://app/index.html");
    EXPECT_EQ(results["sitesRoot"], "root");
}

// Drives the real page through its own buttons and fields, the way a technician would, and
// leaves the result on disk: the saved tree in "settings.json" and the exported CSV.
const char* kPageDriver = R"JS(
(function () {
  function $(id) { return document.getElementById(id); }
  function statusIs(text) { return function () { return $('status').textContent.indexOf(text) === 0; }; }
  function until(condition) {
    return new Promise(function (resolve) {
      (function poll() { if (condition()) resolve(); else setTimeout(poll, 50); })();
    });
  }
  function edit(fields) {
    Object.keys(fields).forEach(function (name) { $('field-' + name).value = fields[name]; });
    $('details').requestSubmit();
  }
  var steps = [
    [function () {}, statusIs('Sites loaded')],
    [function () { $('add-folder').click(); }, statusIs('Folder added')],
    [function () { edit({ name: 'Hall B', description: 'second floor' }); }, statusIs('Changes saved')],
    [function () { $('add-device').click(); }, statusIs('Device added')],
    [function () { edit({ name: 'Gate B1', ip: '127.0.0.1:1', username: 'admin', password: 'pw' }); }, statusIs('Changes saved')],
    [function () { $('add-device').click(); }, statusIs('Device added')],
    [function () { $('delete').click(); }, function () { return $('confirm-dialog').open; }],
    [function () { $('confirm-ok').click(); }, statusIs('Device deleted')],
    [function () { edit({ name: ' \t ' }); }, statusIs('A name cannot be blank')],
    [function () { document.querySelector('[data-action=getStatus]').click(); },
     statusIs('Status 127.0.0.1:1: Failed to send status request (libcurl 7)')],
    [function () { $('export-csv').click(); }, statusIs('CSV exported')]
  ];
  window.addEventListener('load', function () {
    steps.reduce(function (done, step) {
      return done.then(function () { step[0](); return until(step[1]); });
    }, Promise.resolve());
  });
})();
)JS";

void copyFolder(const fs::path& from, const fs::path& to)
{
    fs::copy(from, to, fs::copy_options::recursive);
}

TEST(HostWebView, RealUiEditsAndSavesTheTree)
{
    TempFolder folder;
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    copyFolder(fs::path(source) / "ui", folder.path() / "ui");
    folder.write("ui/driver.js", kPageDriver);
    std::string page = folder.read("ui/index.html");
    page.replace(page.find("</head>"), 7, "<script src=\"driver.js\"></script></head>");
    folder.write("ui/index.html", page);
    folder.write("answers.json", json({ folder.file("plant") }).dump());

    HostProcess host(
        folder.path().string(), {}, { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json") });
    ASSERT_TRUE(host.started());
    ASSERT_TRUE(waitForFile(folder.file("plant.csv"), 120));
    EXPECT_EQ(host.stop(), 0);

    json stored = json::parse(folder.read("settings.json"))["sitesData"];
    EXPECT_EQ(stored["name"], "Sites");
    ASSERT_EQ(stored["folders"].size(), 1u);
    json hall = stored["folders"][0];
    EXPECT_EQ(hall["name"], "Hall B");
    EXPECT_EQ(hall["description"], "second floor");
    ASSERT_EQ(hall["devices"].size(), 1u);
    EXPECT_EQ(hall["devices"][0],
        json::parse(
            R"({"description":"","ip":"127.0.0.1:1","name":"Gate B1","password":"pw","username":"admin"})"));
    EXPECT_EQ(folder.read("plant.csv"),
        "folder,name,description,ip,username,password\r\nHall B,Gate B1,,127.0.0.1:1,admin,pw\r\n");
}

// The real UI folder, shown with a stored tree; the screenshot lands in the build folder.
TEST(HostWebView, RealUiShowsTheSitesTree)
{
    TempFolder folder;
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    fs::create_directory_symlink(fs::path(source) / "ui", folder.path() / "ui");
    folder.write(
        "settings.json", R"({"sitesData":{"schemaVersion":1,"name":"North Campus","description":"",
        "folders":[{"name":"Building A","description":"","folders":[],"devices":[
          {"name":"Gateway A1","description":"","ip":"127.0.0.1:8081","username":"admin","password":"x"},
          {"name":"Gateway A2","description":"","ip":"127.0.0.1:8082","username":"admin","password":"x"}]}],
        "devices":[{"name":"Lobby gateway","description":"","ip":"127.0.0.1:8083","username":"admin","password":"x"}]}})");
    HostProcess host(folder.path().string(), {}, {});
    ASSERT_TRUE(host.started());

    ASSERT_TRUE(gdk_init_check(nullptr, nullptr));
    GdkWindow* root = gdk_get_default_root_window();
    int width = gdk_window_get_width(root);
    int height = gdk_window_get_height(root);
    // The page is up once the masthead's blue fills the top left corner.
    bool shown = false;
    GdkPixbuf* shot = nullptr;
    for (int tenth = 0; tenth < 1200 && !shown; ++tenth) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (shot)
            g_object_unref(shot);
        shot = gdk_pixbuf_get_from_window(root, 0, 0, width, height);
        const guchar* pixel = gdk_pixbuf_get_pixels(shot) + 20 * gdk_pixbuf_get_rowstride(shot)
            + 20 * gdk_pixbuf_get_n_channels(shot);
        shown = pixel[0] == 0x1F && pixel[1] == 0x3A && pixel[2] == 0x5F;
    }
    // Give the tree time to be drawn before the picture is kept.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    g_object_unref(shot);
    shot = gdk_pixbuf_get_from_window(root, 0, 0, width, height);
    const char* binary = std::getenv("KOVRU_BINARY_DIR");
    std::string picture = std::string(binary ? binary : ".") + "/host_ui_screenshot.png";
    gdk_pixbuf_save(shot, picture.c_str(), "png", nullptr, nullptr);
    g_object_unref(shot);
    EXPECT_TRUE(shown);
    EXPECT_EQ(host.stop(), 0);
}

} // namespace

namespace {

// Runs the program at path with standard error into errorFile; its exit status, or -1 when it
// did not end within the time given.
int runToEnd(const std::string& path, const std::string& errorFile, std::chrono::seconds limit)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(
        &actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::string program = path;
    char* argv[] = { program.data(), nullptr };
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// A second start on the same folder brings the running window to the front and ends with 0; it
// never opens a second window on the same settings, and the first host runs on.
TEST(HostWebView, SecondStartBringsTheRunningWindowForward)
{
    TempFolder folder;
    HostProcess first(folder.path().string(), {}, {});
    ASSERT_TRUE(first.started());
    const std::string lock = folder.file(".kovrkit-host.lock");
    bool claimed = false;
    for (int tenth = 0; tenth < 600 && !claimed; ++tenth) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::error_code ignored;
        claimed = fs::file_size(lock, ignored) > 0 && !ignored;
    }
    ASSERT_TRUE(claimed);

    const std::string errors = folder.file("second.err");
    EXPECT_EQ(runToEnd(folder.file("kovrkit"), errors, std::chrono::seconds(30)), 0);
    std::ifstream in(errors);
    const std::string text { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    EXPECT_NE(text.find("kovrkit: another kovrkit is already running on the state folder "
                  + folder.path().string() + "; its window was brought to the front\n"),
        std::string::npos)
        << text;
    EXPECT_EQ(::waitpid(first.pid(), nullptr, WNOHANG), 0);
    EXPECT_EQ(first.stop(), 0);
}
