// A device's History through the real host, kovru-cli and kovru-sim: two backups of a
// simulated controller filed into the library, compared with each other, a restore previewed
// against the controller, and one opened as a simulated controller of its own, which answers
// as that backup and is gone when the window closes.
#include "fakes/fake_host_process.h"
#include "fakes/fake_http_server.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"
#include "host/backups/backup_library.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

using namespace kovrkit::testing;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Lists the device, compares its two backups, previews a restore of the older one and opens
// it as a simulated controller; then reports every message it received.
const char* kHistoryPage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview, ip = 'ADDRESS', log = [], ids = [];
function send(command, payload) { webview.postMessage({ command: command, payload: payload }); }
webview.addEventListener('message', function (event) {
  var message = event.data, body = message.payload;
  log.push(message);
  if (message.command === 'historyList') {
    ids = body.backups.map(function (entry) { return entry.id; });
    send('history_compare', { requestId: 'two', ip: ip, id: ids[1], against: 'backup', otherId: ids[0] });
  } else if (message.command === 'historyCompared' && body.requestId === 'two') {
    send('history_previewRestore', { requestId: 'restore', ip: ip, id: ids[1] });
  } else if (message.command === 'historyCompared' && body.requestId === 'restore') {
    send('history_compare', { requestId: 'bad', ip: ip, id: 'no-such-id', against: 'controller' });
  } else if (message.command === 'historyRefused') {
    send('history_openSimulator', { ip: ip, id: ids[1] });
  } else if (message.command === 'historySimulatorOpened') {
    fetch('/report', { method: 'POST', body: JSON.stringify(log) });
  }
});
send('ui_ready');
send('history_list', { ip: ip });
</script></body></html>)HTML";

// kovru-sim processes whose parent is `parent`.
std::vector<pid_t> simulatorsOf(pid_t parent)
{
    std::vector<pid_t> found;
    for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.find(" (kovru-sim) ") == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 2));
        std::string state;
        pid_t ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && state != "Z")
            found.push_back(std::atoi(entry.path().filename().c_str()));
    }
    return found;
}

std::string joinedLines(const json& compared)
{
    std::string text;
    for (const json& line : compared["lines"])
        text += line["text"].get<std::string>() + "\n";
    return text;
}

// The archive of one get_backup into a folder of its own.
fs::path backupOf(const std::string& address, const fs::path& folder)
{
    fs::create_directories(folder);
    auto run = kovru::testing::run_cli({ "--action=get_backup", "--ip=" + address,
        "--backupfileouttype=zip", "--backupfileout=" + folder.string() });
    EXPECT_EQ(run.exit_status, 0) << run.out;
    for (const auto& entry : fs::directory_iterator(folder))
        return entry.path();
    return {};
}

} // namespace

TEST(HostHistory, ComparesPreviewsARestoreAndOpensABackupAsASimulatedController)
{
    TempFolder folder;
    SimProcess sim({ "model=VELDIR-3,firmware=2.2.4,serial=SN-HIST" });
    ASSERT_TRUE(sim.ready());
    const std::string address = sim.address(0);

    // Two backups of an unchanged controller: the second is filed as unchanged.
    kovrkit::BackupLibrary library(folder.path() / "data/kovrkit/backups");
    fs::path older = backupOf(address, folder.path() / "older");
    ASSERT_TRUE(library.file({ address, "2026-12-01T02:00:00Z", older, true, "", "" }).filed);
    fs::path newer = backupOf(address, folder.path() / "newer");
    auto changed = kovru::testing::run_cli({ "--action=compare_backup",
        "--backupfilein=" + older.string(), "--comparewith=" + newer.string() });
    ASSERT_EQ(changed.exit_status, 0) << "two backups of one controller are equal";

    fs::create_directories(folder.path() / "home");
    fs::copy_file(kovru::testing::built_program("host/app/cli/kovru-cli"),
        (fs::create_directories(folder.path() / "cli"), folder.path() / "cli/kovru-cli"));
    fs::copy_file(kovru::testing::built_program("sim/kovru-sim"), folder.path() / "kovru-sim");
    folder.write("answers.json", "[]");
    ASSERT_TRUE(library.file({ address, "2026-12-02T02:00:00Z", newer, true, "", "" }).filed);

    std::string page = kHistoryPage;
    page.replace(page.find("ADDRESS"), 7, address);
    FakeHttpServer devServer("127.0.0.1", 0, { { "/", page } });
    ASSERT_TRUE(devServer.listening());
    HostProcess host(folder.path().string(), { "--dev" },
        { "KOVRKIT_DIALOG_ANSWERS=" + folder.file("answers.json"), "HOME=" + folder.file("home"),
            "XDG_CONFIG_HOME=" + folder.file("home/.config"),
            "XDG_DATA_HOME=" + folder.file("data"), devPortVariable(devServer.port()) });
    ASSERT_TRUE(host.started());
    std::vector<std::string> reports = devServer.waitForReports(1, 240);
    ASSERT_EQ(reports.size(), 1u);
    json log = json::parse(reports[0]);

    std::map<std::string, json> last;
    std::vector<json> compared;
    for (const json& message : log) {
        last[message["command"]] = message["payload"];
        if (message["command"] == "historyCompared")
            compared.push_back(message["payload"]);
    }
    const json& list = last["historyList"];
    EXPECT_EQ(list["key"], "SN-HIST");
    ASSERT_EQ(list["backups"].size(), 2u);
    EXPECT_EQ(list["backups"][0]["time"], "2026-12-02T02:00:00Z");
    EXPECT_EQ(list["backups"][0]["result"], "unchanged");
    EXPECT_EQ(list["backups"][1]["result"], "changed");
    EXPECT_EQ(list["backups"][1]["firmware"], "2.2.4");

    ASSERT_EQ(compared.size(), 2u);
    EXPECT_EQ(compared[0]["outcome"], "equal") << joinedLines(compared[0]);
    EXPECT_NE(joinedLines(compared[0]).find("The configurations are equal (612 items compared)."),
        std::string::npos);
    EXPECT_EQ(compared[1]["against"], "restore");
    EXPECT_EQ(compared[1]["exitCode"], 0) << joinedLines(compared[1]);
    EXPECT_NE(joinedLines(compared[1]).find("Nothing was pushed (dry run)."), std::string::npos);
    EXPECT_EQ(last["historyRefused"]["message"], "No such backup: no-such-id");

    const json& opened = last["historySimulatorOpened"];
    ASSERT_EQ(opened["success"], true) << opened.dump();
    EXPECT_EQ(opened["name"], "Simulated SN-HIST (2026-12-01T02:00:00Z)");
    const std::string simulated = opened["address"];
    EXPECT_TRUE(simulated.starts_with("127.0.0.1:")) << simulated;
    auto same = kovru::testing::run_cli(
        { "--action=compare_backup", "--backupfilein=" + older.string(), "--ip=" + simulated });
    EXPECT_EQ(same.exit_status, 0) << same.out;
    auto status = kovru::testing::run_cli({ "--action=get_status", "--ip=" + simulated });
    EXPECT_NE(status.out.find("model_name=VELDIR-3"), std::string::npos) << status.out;

    std::vector<pid_t> simulators = simulatorsOf(host.pid());
    ASSERT_EQ(simulators.size(), 1u);
    EXPECT_EQ(host.stop(), 0);
    EXPECT_NE(kill(simulators[0], 0), 0) << "the simulator ends with the window";
}
