// The real program under a private X server, started on a Wine prefix that holds the legacy
// tool's data and uninstall entry: it asks once, migrates, stores the tree, offers the
// uninstaller and starts it through `wine` (a stand-in script here that records its words).
#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include <nlohmann/json.hpp>

using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

const char* kLegacyPage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview;
var sequence = 0;
function report(entry) {
  entry.seq = sequence++;
  fetch('/report', { method: 'POST', body: JSON.stringify(entry) });
}
webview.addEventListener('message', function (event) {
  report({ message: event.data });
  if (event.data.command === 'legacyMigrationResult') webview.postMessage({ command: 'legacy_getStatus' });
});
webview.postMessage({ command: 'ui_ready' });
webview.postMessage({ command: 'getAppInfo' });
</script></body></html>)HTML";

const char* kUserHive = R"(WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{97A0355E-6469-4730-9181-AE9D840077D2}] 1700000000
"DisplayName"="TORVANE VELDIR Tool"
"UninstallString"="\"C:\\Program Files\\VELDIR\\unins000.exe\" /SILENT"
)";

std::vector<std::string> commandsOf(const std::vector<json>& messages)
{
    std::vector<std::string> commands;
    for (const json& message : messages)
        commands.push_back(message["command"]);
    return commands;
}

std::string waitForText(const fs::path& file, int seconds)
{
    for (int tenth = 0; tenth < seconds * 10; ++tenth) {
        if (fs::exists(file) && fs::file_size(file) > 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

TEST(LegacyHost, PrefixWithLegacyDataIsMigratedAndTheUninstallerStarted)
{
    TempFolder folder;
    const fs::path prefix = folder.path() / "prefix";
    const fs::path data
        = prefix / "drive_c/users/technician/AppData/Local/TORVANE/vmnest/Local Storage/leveldb";
    fs::create_directories(data);
    std::string entry = "\x01_kovrkit://app";
    entry += '\0';
    std::ofstream(data / "000003.log", std::ios::binary) << entry + "\x01sites\x07\x01"
            + R"({"root":{"name":"Plant","children":[{"name":"Hall","children":[{"name":"Gate","ip":"10.0.0.5"}]}]}})";
    folder.write("prefix/user.reg", kUserHive);

    fs::create_directories(folder.path() / "bin");
    folder.write("bin/wine",
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/wine-words.tmp\"\n"
        "mv \"$(dirname \"$0\")/wine-words.tmp\" \"$(dirname \"$0\")/wine-words\"\n");
    fs::permissions(folder.path() / "bin/wine", fs::perms::owner_all);
    folder.write("answers.json", R"(["yes", "yes"])");

    FakeHttpServer devServer("127.0.0.1", 0, { { "/", kLegacyPage } });
    ASSERT_TRUE(devServer.listening());
    const char* path = std::getenv("PATH");
    HostProcess host(folder.path().string(), { "--dev" },
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "WINEPREFIX=" + prefix.string(),
            "USER=technician", devPortVariable(devServer.port()),
            "PATH=" + (folder.path() / "bin").string() + ":" + (path ? path : "") });
    ASSERT_TRUE(host.started());

    devServer.waitForReports(6, 120);
    std::vector<std::string> reports = devServer.waitForReports(7, 2);
    std::string words = waitForText(folder.path() / "bin/wine-words", 20);
    EXPECT_EQ(host.stop(), 0);

    std::vector<json> entries;
    for (const std::string& report : reports)
        entries.push_back(json::parse(report));
    std::sort(entries.begin(), entries.end(),
        [](const json& a, const json& b) { return a["seq"] < b["seq"]; });
    std::vector<json> messages;
    for (const json& report : entries)
        messages.push_back(report["message"]);
    ASSERT_EQ(commandsOf(messages),
        std::vector<std::string>({ "appInfoLoaded", "legacyMigrationStatus", "sitesDataLoaded",
            "legacyUninstallLaunchResult", "legacyMigrationResult", "legacyMigrationStatus" }));
    EXPECT_EQ(messages[1]["payload"]["migrationCompleted"], true);
    EXPECT_EQ(messages[1]["payload"]["legacyDataPath"], data.string());
    EXPECT_EQ(messages[2]["payload"]["sitesData"]["nodes"]["folder-1"]["name"], "Hall");
    EXPECT_EQ(messages[3]["payload"]["success"], true);
    EXPECT_EQ(messages[4]["payload"]["success"], true);
    EXPECT_EQ(messages[5]["payload"]["suppressUiPrompt"], false) << "asked once, answered yes";

    json settings = json::parse(folder.read("settings.json"));
    EXPECT_EQ(settings["sitesData"]["name"], "Plant");
    EXPECT_EQ(settings["sitesData"]["folders"][0]["devices"][0]["ip"], "10.0.0.5");
    EXPECT_EQ(settings["legacyMigration"]["status"], "Legacy data imported");
    EXPECT_EQ(words, "C:\\Program Files\\VELDIR\\unins000.exe\n/SILENT\n");
}
