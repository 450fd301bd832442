// Backup, restore and firmware upgrade run a stand-in kovru-cli that records its argument
// vector and ends with the status chosen for each address; the real process launcher waits
// for it in a nested main loop.
#include "fakes/fake_dialogs.h"
#include "fakes/fake_temp_folder.h"
#include "host/actions/action_runner.h"
#include "host/app/gtk/glib_process_launcher.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

using namespace kovrkit;
using namespace kovrkit::testing;
namespace fs = std::filesystem;

namespace {

// Keeps each message the runner sends as one line of text.
class RecordingReplies final : public UiReplySink {
public:
    void sendToUi(std::string json) override
    {
        nlohmann::json message = nlohmann::json::parse(json);
        const nlohmann::json& payload = message.at("payload");
        std::string action = payload.at("action");
        if (message.at("command") == "nativeActionResult") {
            sent.push_back("result " + action + " "
                + (payload.at("success").get<bool>() ? "ok " : "failed ")
                + std::to_string(payload.at("exitCode").get<int>()) + " ["
                + payload.at("deviceIp").get<std::string>() + "] "
                + payload.at("message").get<std::string>()
                + (payload.contains("data") ? " data" : ""));
        } else {
            sent.push_back("summary " + action + " "
                + std::to_string(payload.at("total").get<int>()) + "/"
                + std::to_string(payload.at("succeeded").get<int>()) + "/"
                + std::to_string(payload.at("failed").get<int>()));
        }
    }
    std::vector<std::string> sent;
};

// Each run appends its arguments, one a line, and a closing "--".
const char* kStandInTool = R"(#!/bin/sh
log="$(dirname "$0")/../runs.log"
printf '%s\n' "$0" >> "$log"
for argument in "$@"; do printf '%s\n' "$argument" >> "$log"; done
echo -- >> "$log"
case "$2" in
  --ip=127.0.0.2) exit 3 ;;
  --ip=127.0.0.4) kill -TERM $$ ;;
esac
exit 0
)";

class ActionRunnerTest : public ::testing::Test {
protected:
    ActionRunnerTest()
        : launcher(nullptr)
        , runner(dialogs, launcher, replies, folder.file("cli/kovru-cli"))
    {
    }

    void installTool(fs::perms permissions = fs::perms::owner_all)
    {
        fs::create_directories(folder.path() / "cli");
        folder.write("cli/kovru-cli", kStandInTool);
        fs::permissions(folder.path() / "cli/kovru-cli", permissions);
    }

    std::vector<std::vector<std::string>> runs()
    {
        std::vector<std::vector<std::string>> all(1);
        std::ifstream log(folder.file("runs.log"));
        for (std::string line; std::getline(log, line);) {
            if (line == "--")
                all.emplace_back();
            else
                all.back().push_back(line);
        }
        all.pop_back();
        return all;
    }

    TempFolder folder;
    FakeDialogs dialogs;
    GLibProcessLauncher launcher;
    RecordingReplies replies;
    ActionRunner runner;
};

} // namespace

TEST_F(ActionRunnerTest, BatchBackupRunsTheToolOncePerDeviceInListOrder)
{
    installTool();
    dialogs.paths.push_back("/tmp/backups \"of\" today");
    runner.runBatch("native_actionBackup",
        { " 127.0.0.1 ", "127.0.0.2", "127.0.0.4", "127.0.0.1", "", "127.0.0.3" });

    EXPECT_EQ(
        dialogs.asked, std::vector<std::string>({ "folder:Select backup destination folder" }));
    std::string tool = folder.file("cli/kovru-cli");
    auto backupOf = [&](const char* ip) {
        return std::vector<std::string>({ tool, "--action=get_backup", std::string("--ip=") + ip,
            "--backupfileouttype=zip", "--backupfileout=/tmp/backups \"of\" today" });
    };
    std::vector<std::vector<std::string>> expectedRuns { backupOf("127.0.0.1"),
        backupOf("127.0.0.2"), backupOf("127.0.0.4"), backupOf("127.0.0.3") };
    EXPECT_EQ(runs(), expectedRuns);
    EXPECT_EQ(replies.sent,
        std::vector<std::string>({
            "result native_actionBackup ok 0 [127.0.0.1] Action completed successfully",
            "result native_actionBackup failed 3 [127.0.0.2] Action failed",
            "result native_actionBackup failed 143 [127.0.0.4] Action failed",
            "result native_actionBackup ok 0 [127.0.0.3] Action completed successfully",
            "summary native_actionBackup 4/2/2",
        }));
}

TEST_F(ActionRunnerTest, SingleRestoreAndUpgradePassTheChosenFile)
{
    installTool();
    dialogs.paths = { "/srv/a b/backup.zip", "/srv/fw.bin", "" };
    runner.runSingle("native_actionRestore", " 127.0.0.9 ");
    runner.runSingle("native_actionFirmwareUpgrade", "127.0.0.2");
    runner.runSingle("native_actionRestore", "127.0.0.9");

    std::string tool = folder.file("cli/kovru-cli");
    std::vector<std::vector<std::string>> expectedRuns {
        { tool, "--action=put_backup", "--ip=127.0.0.9", "--backupfilein=/srv/a b/backup.zip" },
        { tool, "--action=push_firmware", "--ip=127.0.0.2", "--firmwarefile=/srv/fw.bin" },
    };
    EXPECT_EQ(runs(), expectedRuns);
    EXPECT_EQ(replies.sent,
        std::vector<std::string>({
            "result native_actionRestore ok 0 [ 127.0.0.9 ] Action completed successfully",
            "result native_actionFirmwareUpgrade failed 3 [127.0.0.2] Action failed",
            "result native_actionRestore failed -1 [127.0.0.9] Missing backup input path",
        }));
    EXPECT_EQ(dialogs.lastRequest.filters.front().pattern, "*.zip");
}

TEST_F(ActionRunnerTest, NothingRunsWhenTheToolCannotOrShouldNot)
{
    // No tool: every device says so, after the one question.
    dialogs.paths = { "/tmp/out" };
    runner.runBatch("native_actionBackup", { "127.0.0.1", "127.0.0.3" });
    // A tool that cannot be started.
    installTool(fs::perms::owner_read | fs::perms::owner_write);
    dialogs.paths = { "/tmp/out" };
    runner.runSingle("native_actionBackup", "127.0.0.1");
    installTool();
    // Cancelled picker; a batch restore; a list with no address.
    runner.runBatch("native_actionBackup", { "127.0.0.1", "127.0.0.3", "127.0.0.5" });
    runner.runSingle("native_actionFirmwareUpgrade", "127.0.0.1");
    runner.runBatch("native_actionRestore", { "127.0.0.1", "127.0.0.2", "127.0.0.1", "127.0.0.3" });
    runner.runBatch("native_actionRestore", { " ", "" });
    runner.runSingle("native_actionBackup", "\t");

    EXPECT_FALSE(fs::exists(folder.file("runs.log")));
    EXPECT_EQ(replies.sent,
        std::vector<std::string>({
            "result native_actionBackup failed -1 [127.0.0.1] CLI executable not found",
            "result native_actionBackup failed -1 [127.0.0.3] CLI executable not found",
            "summary native_actionBackup 2/0/2",
            "result native_actionBackup failed -1 [127.0.0.1] Failed to run CLI process",
            "result native_actionBackup failed -1 [] Action cancelled",
            "summary native_actionBackup 3/0/3",
            "result native_actionFirmwareUpgrade failed -1 [127.0.0.1] Action cancelled",
            "result native_actionRestore failed -1 [127.0.0.1] Batch restore is not supported",
            "result native_actionRestore failed -1 [127.0.0.2] Batch restore is not supported",
            "result native_actionRestore failed -1 [127.0.0.3] Batch restore is not supported",
            "summary native_actionRestore 3/0/3",
            "result native_actionRestore failed -1 [] Missing device IP",
            "result native_actionBackup failed -1 [] Missing device IP",
        }));
    EXPECT_EQ(dialogs.asked.size(), 4u) << "no question for a batch restore or a missing address";
}
