// A device's History through the real host, kovru-cli and kovru-sim: two backups of a
// simulated controller filed into the library, compared with each other, a restore previewed
// against the controller, and one opened as a simulated controller of its own, which answers
// as that backup and is gone when the window closes. A backup job of the window lands in the
// History, and a restore preview of a backup that differs from the controller shows exactly
// those differences and pushes nothing.
#include "cli/action/config_file_header.h"
#include "cli/backup/tar_image.h"
#include "fakes/backup_test_support.h"
#include "fakes/host_harness.h"
#include "fakes/sim_process.h"
#include "host/backups/backup_library.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstring>
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

// Previews a restore of OTHER's one backup, lists JOB (no backups yet), backs JOB up into the
// library as a device job, lists JOB again; then reports every message it received.
const char* kJobAndRestorePage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview, job = 'JOB', other = 'OTHER', log = [], listedJob = false;
function send(command, payload) { webview.postMessage({ command: command, payload: payload }); }
webview.addEventListener('message', function (event) {
  var message = event.data, body = message.payload;
  log.push(message);
  if (message.command === 'historyList' && body.ip === other) {
    send('history_previewRestore', { requestId: 'restore', ip: other, id: body.backups[0].id });
  } else if (message.command === 'historyCompared') {
    send('history_list', { ip: job });
  } else if (message.command === 'historyList' && !listedJob) {
    listedJob = true;
    send('jobs_start', { action: 'backup', devices: [{ ip: job, name: 'Gate' }], concurrency: 1,
      options: { library: true } });
  } else if (message.command === 'jobFinished') {
    send('history_list', { ip: job });
  } else if (message.command === 'historyList') {
    fetch('/report', { method: 'POST', body: JSON.stringify(log) });
  }
});
send('ui_ready');
send('history_list', { ip: other });
</script></body></html>)HTML";

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

using Bytes = std::vector<std::uint8_t>;

// The configuration file of an item's image inside the archive's entries, and putting it back.
Bytes& fileOf(std::vector<kovru::testing::ZipEntry>& entries, const std::string& item, Bytes& file)
{
    auto entry = std::ranges::find(entries, item + ".tar", &kovru::testing::ZipEntry::name);
    EXPECT_NE(entry, entries.end()) << item;
    kovru::TarImageReader reader(entry->bytes);
    std::span<const std::uint8_t> data;
    if (reader.find("/etc/config/" + std::string(item.starts_with("dali") ? "dali/" : "system/")
            + item + ".bin")
        == kovru::tar_success)
        reader.read_data(data);
    file.assign(data.begin(), data.end());
    return file;
}

void putFile(
    std::vector<kovru::testing::ZipEntry>& entries, const std::string& item, const Bytes& file)
{
    auto entry = std::ranges::find(entries, item + ".tar", &kovru::testing::ZipEntry::name);
    const std::string path = "/etc/config/"
        + std::string(item.starts_with("dali") ? "dali/" : "system/") + item + ".bin";
    entry->bytes = kovru::make_single_file_tar(path, file, 1234567);
}

// A backup of the controller with the name of line 1's device 2 and the last byte of the
// plain item systemconfig changed (the channel file's CRC made right again).
fs::path changedBackupOf(const std::string& address, const fs::path& folder)
{
    std::vector<kovru::testing::ZipEntry> entries
        = kovru::testing::read_zip(backupOf(address, folder / "taken").string());
    Bytes channel;
    fileOf(entries, "dali1", channel);
    const size_t name = 60 + 2 * 100 + 45; // the version 3 layout: header, records, name field
    EXPECT_GT(channel.size(), name + 33);
    std::fill_n(channel.begin() + name, 33, 0);
    std::memcpy(channel.data() + name, "Hallway", 7);
    kovru::write_u32_le(channel, 4, 0);
    kovru::write_u16_le(channel, 4, kovru::crc16_mcrf4xx(channel));
    putFile(entries, "dali1", channel);
    Bytes system;
    fileOf(entries, "systemconfig", system);
    EXPECT_FALSE(system.empty());
    system.back() ^= 0x5A;
    putFile(entries, "systemconfig", system);
    fs::path changed = folder / "changed.zip";
    EXPECT_TRUE(kovru::testing::write_zip(changed.string(), entries));
    return changed;
}

} // namespace

TEST(HostHistory, ComparesPreviewsARestoreAndOpensABackupAsASimulatedController)
{
    HostFolder host;
    const TempFolder& folder = host.folder;
    fs::copy_file(kovru::testing::built_program("sim/kovru-sim"), folder.path() / "kovru-sim");
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

    ASSERT_TRUE(library.file({ address, "2026-12-02T02:00:00Z", newer, true, "", "" }).filed);

    HostWithPage window(host, filledIn(kHistoryPage, "ADDRESS", address),
        { "XDG_DATA_HOME=" + folder.file("data") });
    ASSERT_TRUE(window.started());
    std::vector<std::string> reports = window.waitForReports();
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

    std::vector<pid_t> simulators = childrenNamed(window.pid(), "kovru-sim");
    ASSERT_EQ(simulators.size(), 1u);
    EXPECT_EQ(window.stop(), 0);
    EXPECT_NE(kill(simulators[0], 0), 0) << "the simulator ends with the window";
}

TEST(HostHistory, AWindowBackupShowsInTheHistoryAndARestorePreviewShowsOnlyTheDifferences)
{
    HostFolder host;
    const TempFolder& folder = host.folder;
    const fs::path events = folder.path() / "sim-events.log";
    SimProcess sim(
        { "serial=SN-JOB", "firmware=2.2.4,serial=SN-DIFF" }, { "--log", events.string() });
    ASSERT_TRUE(sim.ready());
    const std::string job = sim.address(0);
    const std::string other = sim.address(1);

    kovrkit::BackupLibrary library(folder.path() / "data/kovrkit/backups");
    fs::path changed = changedBackupOf(other, folder.path() / "other");
    ASSERT_TRUE(library.file({ other, "2026-12-01T02:00:00Z", changed, true, "", "" }).filed);

    // The tool's own dry run: exactly the two differences, archive on the old side.
    auto dryRun = kovru::testing::run_cli({ "--action=put_backup", "--dryrun",
        "--backupfilein=" + changed.string(), "--ip=" + other });
    EXPECT_EQ(dryRun.exit_status, 1) << dryRun.out;
    std::string out = dryRun.out + dryRun.err;
    std::erase(out, '\r');
    const std::string expected = "changed dali1:\nLine 1 device 2 changed:\n"
                                 "\tname: \"Hallway\" -> \"Line 1 luminaire 3\"\n";
    EXPECT_NE(out.find(expected), std::string::npos) << out;
    EXPECT_NE(out.find("changed systemconfig: "), std::string::npos) << out;
    EXPECT_NE(out.find("2 of 612 configuration items differ: 0 added, 0 removed, 2 changed."),
        std::string::npos)
        << out;

    std::string page = kJobAndRestorePage;
    replaceAll(page, "'JOB'", "'" + job + "'");
    replaceAll(page, "'OTHER'", "'" + other + "'");
    HostWithPage window(host, page, { "XDG_DATA_HOME=" + folder.file("data") });
    ASSERT_TRUE(window.started());
    std::vector<std::string> reports = window.waitForReports();
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(window.stop(), 0);
    json log = json::parse(reports[0]);

    std::vector<json> lists;
    json compared, result;
    for (const json& message : log) {
        if (message["command"] == "historyList")
            lists.push_back(message["payload"]);
        if (message["command"] == "historyCompared")
            compared = message["payload"];
        if (message["command"] == "jobDeviceResult")
            result = message["payload"];
    }
    ASSERT_EQ(lists.size(), 3u) << log.dump();

    // The window's restore preview: the same differences, and nothing else.
    EXPECT_EQ(lists[0]["key"], "SN-DIFF");
    EXPECT_EQ(compared["against"], "restore");
    EXPECT_EQ(compared["outcome"], "different") << joinedLines(compared);
    const std::string lines = joinedLines(compared);
    EXPECT_NE(lines.find(expected), std::string::npos) << lines;
    EXPECT_NE(lines.find("2 of 612 configuration items differ: 0 added, 0 removed, 2 changed."),
        std::string::npos)
        << lines;
    EXPECT_NE(lines.find("Nothing was pushed (dry run)."), std::string::npos) << lines;
    std::ifstream eventsIn(events);
    std::string received((std::istreambuf_iterator<char>(eventsIn)), {});
    EXPECT_EQ(received, "") << "no upload and no restore request reached the controllers";

    // The backup job went to the library, and the device's History shows it.
    EXPECT_TRUE(lists[1]["backups"].empty()) << lists[1].dump();
    ASSERT_EQ(result["success"], true) << result.dump();
    EXPECT_EQ(result["data"]["device"], "SN-JOB") << result.dump();
    EXPECT_EQ(result["data"]["changed"], true);
    EXPECT_EQ(lists[2]["key"], "SN-JOB");
    ASSERT_EQ(lists[2]["backups"].size(), 1u) << lists[2].dump();
    EXPECT_EQ(lists[2]["backups"][0]["result"], "changed");
    EXPECT_EQ(lists[2]["backups"][0]["archivePath"], result["data"]["archive"]);
    EXPECT_TRUE(fs::is_regular_file(lists[2]["backups"][0]["archivePath"].get<std::string>()));
}
