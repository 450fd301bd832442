// Device jobs through the real pieces below the window: the command table, the engine, the
// tool runner and the GLib child processes, with a stand-in kovru-cli whose behaviour each
// address chooses. The tool writes its events to the descriptor named by --eventsfd.
#include "fakes/job_engine_harness.h"
#include "host/jobs/tool_events.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Each run notes "start" and "end" in runs.log; its address picks what it does.
const char* kStandInTool = R"(#!/bin/sh
for argument in "$@"; do
  case "$argument" in --ip=*) ip="${argument#--ip=}" ;; --eventsfd=*) fd="${argument#--eventsfd=}" ;; esac
done
log="$(dirname "$0")/../runs.log"
echo "start $ip" >> "$log"
echo "$*" >> "$(dirname "$0")/../arguments.log"
ev() { printf '%s\n' "$1" >&3; }
trap 'ev "{\"log\":{\"kind\":\"error\",\"text\":\"Cancelled.\"}}"; echo "end $ip" >> "$log"; exit 1' TERM
ev '{"progress":10}'
ev '{"log":{"kind":"plain","text":"Working on '"$ip"'"}}'
ev 'not an event'
case "$ip" in
  10.0.0.1) sleep 0.3; ev '{"progress":100}' ;;
  10.0.0.2) ev '{"log":{"kind":"error","text":"Invalid firmware file."}}'; echo "end $ip" >> "$log"; exit 2 ;;
  10.0.0.3) ev '{"log":{"kind":"error","text":"Controller answered HTTP 500."}}'
            ev '{"log":{"kind":"warning","text":"Giving up."}}'
            ev '{"cause":"controller-refused"}'; echo "end $ip" >> "$log"; exit 1 ;;
  10.0.0.4) echo "end $ip" >> "$log"; exit 1 ;;
  10.0.0.5) case "$*" in *--action=audit_lines*)
              ev '{"log":{"kind":"warning","text":"Line 1 finding: gear 2 flagged present without a name"}}'
              ev '{"log":{"kind":"warning","text":"Line 3 finding: group 3 \"Unused\" is empty"}}'
              ev '{"log":{"kind":"warning","text":"Audit of 4 line(s): 2 finding(s)."}}'
              echo "end $ip" >> "$log"; exit 1 ;; esac ;;
  10.0.0.9) while :; do sleep 0.05; done ;;
  *) sleep 0.3 ;;
esac
echo "end $ip" >> "$log"
exit 0
)";

class JobsTest : public ::testing::Test, protected JobEngineHarness {
protected:
    JobsTest()
    {
        fs::create_directories(folder.path() / "cli");
        folder.write("cli/kovru-cli", kStandInTool);
        fs::permissions(folder.path() / "cli/kovru-cli", fs::perms::owner_all);
    }

    static json devices(std::initializer_list<const char*> addresses)
    {
        return deviceList(std::vector<std::string>(addresses.begin(), addresses.end()));
    }

    // The most runs that were between their start and their end at one time.
    int mostAtOnce()
    {
        std::ifstream log(folder.file("runs.log"));
        int running = 0;
        int most = 0;
        for (std::string line; std::getline(log, line);) {
            running += line.starts_with("start") ? 1 : -1;
            most = std::max(most, running);
        }
        return most;
    }
};

TEST(ToolEvents, LinesInAnyPiecesAndOnlyWellFormedEvents)
{
    ToolEventReader reader;
    std::string stream
        = "{\"progress\":42}\n{\"log\":{\"kind\":\"error\",\"text\":\"No answer\"}}\r\n"
          "{\"progress\":101}\n{\"log\":{\"kind\":\"loud\",\"text\":\"x\"}}\n"
          "{\"cause\":\"unreachable\"}\n{\"cause\":\"mystery\"}\n[1]\n{\"progress\":7,"
          "\"x\":1}\n";
    std::vector<ToolEvent> events;
    for (char byte : stream) {
        for (ToolEvent& event : reader.feed(std::string_view(&byte, 1)))
            events.push_back(event);
    }
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].percent, 42);
    EXPECT_EQ(events[1].logKind, "error");
    EXPECT_EQ(events[1].text, "No answer");
    EXPECT_EQ(events[2].text, "unreachable");
    EXPECT_EQ(events[3].text, "other") << "an unknown cause is not passed on";

    // A line beyond the limit is dropped whole, the next one still counts.
    std::string huge(ToolEventReader::kMaxLineBytes + 10, 'x');
    EXPECT_TRUE(reader.feed(huge).empty());
    std::vector<ToolEvent> after = reader.feed("\"}\n{\"progress\":5}\n");
    ASSERT_EQ(after.size(), 1u);
    EXPECT_EQ(after[0].percent, 5);
}

TEST_F(JobsTest, RunsAtMostNAtOnceAndReportsEachDeviceWithItsCause)
{
    send("jobs_start",
        { { "action", "backup" },
            { "devices",
                devices({ "10.0.0.1", "10.0.0.2", "10.0.0.3", "10.0.0.4", "10.0.0.5", "10.0.0.6",
                    "10.0.0.7", "10.0.0.8" }) },
            { "concurrency", 3 }, { "options", { { "backupFolder", folder.file("out") } } } });
    ASSERT_TRUE(iterateUntil([&] { return replies.finished(); }));
    EXPECT_TRUE(dialogs.asked.empty()) << "the options named the folder";
    EXPECT_LE(mostAtOnce(), 3);
    EXPECT_GE(mostAtOnce(), 2);

    ASSERT_FALSE(replies.sent.empty());
    EXPECT_EQ(replies.sent.front()["command"], "jobStarted");
    json started = replies.sent.front()["payload"];
    EXPECT_EQ(
        started, json({ { "jobId", started["jobId"] }, { "action", "backup" }, { "total", 8 } }));
    EXPECT_EQ(replies.sent.back()["command"], "jobFinished");

    std::map<std::string, json> results = replies.resultsByAddress();
    ASSERT_EQ(results.size(), 8u);
    EXPECT_EQ(results["10.0.0.1"]["success"], true);
    EXPECT_EQ(results["10.0.0.1"]["cause"], "");
    EXPECT_EQ(results["10.0.0.1"]["message"], "Action completed successfully");
    EXPECT_GE(results["10.0.0.1"]["seconds"].get<double>(), 0.2);
    // No cause named: status 2 is refused input; the reason is the last error line.
    EXPECT_EQ(results["10.0.0.2"]["cause"], "refused-input");
    EXPECT_EQ(results["10.0.0.2"]["exitCode"], 2);
    EXPECT_EQ(results["10.0.0.2"]["reason"], "Invalid firmware file.");
    // The tool's own cause wins; a later warning is not the reason.
    EXPECT_EQ(results["10.0.0.3"]["cause"], "controller-refused");
    EXPECT_EQ(results["10.0.0.3"]["reason"], "Controller answered HTTP 500.");
    EXPECT_EQ(results["10.0.0.3"]["message"], "Action failed");
    EXPECT_EQ(results["10.0.0.4"]["cause"], "other");
    EXPECT_EQ(results["10.0.0.4"]["reason"], "");

    // Events read together are reported once, with the latest percent and line.
    std::map<std::string, json> progress;
    for (const json& event : replies.named("jobDeviceProgress")) {
        EXPECT_EQ(event["jobId"], started["jobId"]);
        progress[event["deviceIp"]] = event;
    }
    EXPECT_EQ(progress.size(), 8u) << "progress of every device";
    EXPECT_EQ(progress["10.0.0.1"]["percent"], 100);
    EXPECT_EQ(progress["10.0.0.1"]["line"], "Working on 10.0.0.1");
    EXPECT_EQ(progress["10.0.0.3"]["line"], "Giving up.");
    json finished = replies.named("jobFinished").front();
    EXPECT_EQ(finished["total"], 8);
    EXPECT_EQ(finished["succeeded"], 5);
    EXPECT_EQ(finished["failed"], 3);
    EXPECT_EQ(finished["cancelled"], 0);
}

TEST_F(JobsTest, AnAuditWithFindingsSucceedsWithThemAndTroubleFails)
{
    send("jobs_start",
        { { "action", "audit" }, { "devices", devices({ "10.0.0.5", "10.0.0.6", "10.0.0.2" }) } });
    ASSERT_TRUE(iterateUntil([&] { return replies.finished(); }));
    EXPECT_TRUE(dialogs.asked.empty()) << "an audit needs no input";
    std::map<std::string, json> results = replies.resultsByAddress();
    EXPECT_EQ(results["10.0.0.5"]["success"], true);
    EXPECT_EQ(results["10.0.0.5"]["exitCode"], 1);
    EXPECT_EQ(results["10.0.0.5"]["data"],
        json({ { "findings",
            { "Line 1 finding: gear 2 flagged present without a name",
                "Line 3 finding: group 3 \"Unused\" is empty" } } }));
    EXPECT_EQ(results["10.0.0.6"]["success"], true);
    EXPECT_EQ(results["10.0.0.6"]["data"], json({ { "findings", json::array() } }));
    EXPECT_EQ(results["10.0.0.2"]["success"], false);
    EXPECT_EQ(results["10.0.0.2"]["cause"], "refused-input");
    EXPECT_FALSE(results["10.0.0.2"].contains("data"));
    std::ifstream arguments(folder.file("arguments.log"));
    std::string line;
    std::getline(arguments, line);
    EXPECT_NE(line.find("--action=audit_lines --ip=10.0.0."), std::string::npos) << line;
    EXPECT_NE(line.find("--nowindow --eventsfd=3"), std::string::npos) << line;

    replies.sent.clear();
    send("jobs_start",
        { { "action", "audit" }, { "devices", devices({ "10.0.0.5" }) },
            { "options", { { "backupFile", "x.zip" } } } });
    EXPECT_EQ(replies.named("jobRefused").at(0)["message"], "Unknown job option: backupFile");
}

TEST_F(JobsTest, CancelStopsRunningToolsAndReportsTheQueuedOnes)
{
    // A backup: an upgrade reads every controller's status first (jobs_rollout_test).
    send("jobs_start",
        { { "action", "backup" }, { "devices", devices({ "10.0.0.9", "10.0.0.10", "10.0.0.11" }) },
            { "concurrency", 1 } });
    ASSERT_EQ(dialogs.asked.size(), 1u) << "no backup folder named: asked once";
    ASSERT_EQ(replies.named("jobRefused").size(), 1u) << "picker cancelled";
    EXPECT_EQ(replies.named("jobRefused")[0]["message"], "Action cancelled");

    dialogs.paths.push_back(folder.file("out"));
    send("jobs_start",
        { { "action", "backup" }, { "devices", devices({ "10.0.0.9", "10.0.0.10", "10.0.0.11" }) },
            { "concurrency", 1 } });
    ASSERT_TRUE(
        iterateUntil([&] { return folder.read("runs.log").find("start") != std::string::npos; }));
    ASSERT_TRUE(iterateUntil([&] { return !replies.named("jobDeviceProgress").empty(); }));
    std::string jobId = replies.named("jobStarted").front()["jobId"];
    auto cancelled = std::chrono::steady_clock::now();
    send("jobs_cancel", { { "jobId", jobId } });
    ASSERT_TRUE(iterateUntil([&] { return replies.finished(); }));
    EXPECT_LT(std::chrono::steady_clock::now() - cancelled, std::chrono::seconds(2));
    EXPECT_EQ(folder.read("runs.log"), "start 10.0.0.9\nend 10.0.0.9\n") << "queued ones never ran";

    std::map<std::string, json> results = replies.resultsByAddress();
    EXPECT_EQ(results["10.0.0.9"]["cause"], "cancelled");
    EXPECT_EQ(results["10.0.0.9"]["reason"], "Cancelled.");
    EXPECT_EQ(results["10.0.0.9"]["exitCode"], 1);
    EXPECT_EQ(results["10.0.0.10"]["cause"], "cancelled");
    EXPECT_EQ(results["10.0.0.10"]["reason"], "Cancelled before it started");
    EXPECT_EQ(results["10.0.0.11"]["seconds"], 0);
    json finished = replies.named("jobFinished").front();
    EXPECT_EQ(finished,
        json({ { "jobId", jobId }, { "total", 3 }, { "succeeded", 0 }, { "failed", 0 },
            { "cancelled", 3 }, { "seconds", finished["seconds"] } }));
    send("jobs_cancel", { { "jobId", jobId } });
    EXPECT_EQ(replies.sent.back()["payload"],
        json({ { "request", "jobs_cancel" }, { "jobId", jobId }, { "message", "No such job" } }))
        << "a finished job is gone";
}

TEST_F(JobsTest, AMissingToolFailsEveryDeviceAsToolMissing)
{
    fs::remove(folder.path() / "cli/kovru-cli");
    send("jobs_start",
        { { "action", "restore" }, { "devices", devices({ "10.0.0.1" }) },
            { "options", { { "backupFile", "/tmp/x.zip" } } } });
    ASSERT_TRUE(replies.finished()) << "nothing to wait for";
    json result = replies.named("jobDeviceResult").front();
    EXPECT_EQ(result["cause"], "tool-missing");
    EXPECT_EQ(result["message"], "CLI executable not found");
    EXPECT_EQ(replies.named("jobFinished").front()["failed"], 1);
}

TEST_F(JobsTest, BadRequestsAreRefusedAndStartNothing)
{
    json one = devices({ "10.0.0.1" });
    const std::vector<std::pair<json, std::string>> cases = {
        { { { "action", "reboot" }, { "devices", one } }, "Unknown job action" },
        { { { "devices", one } }, "Unknown job action" },
        { { { "action", 3 }, { "devices", one } }, "Unknown job action" },
        { { { "action", "status" }, { "devices", json::array() } }, "No devices given" },
        { { { "action", "status" }, { "devices", "10.0.0.1" } }, "No devices given" },
        { { { "action", "status" }, { "devices", json::array({ { { "ip", "  " } } }) } },
            "A device has no address" },
        { { { "action", "status" }, { "devices", json::array({ "10.0.0.1" }) } },
            "A device has no address" },
        { { { "action", "status" }, { "devices", devices({ "10.0.0.1", " 10.0.0.1" }) } },
            "Device listed twice: 10.0.0.1" },
        { { { "action", "status" }, { "devices", one }, { "concurrency", 0 } },
            "Devices at once must be a whole number from 1 to 32" },
        { { { "action", "status" }, { "devices", one }, { "concurrency", 33 } },
            "Devices at once must be a whole number from 1 to 32" },
        { { { "action", "status" }, { "devices", one }, { "concurrency", 2.5 } },
            "Devices at once must be a whole number from 1 to 32" },
        { { { "action", "status" }, { "devices", one }, { "concurrency", "4" } },
            "Devices at once must be a whole number from 1 to 32" },
        { { { "action", "backup" }, { "devices", one }, { "options", "x" } },
            "Job options must be an object" },
        { { { "action", "backup" }, { "devices", one },
              { "options", { { "firmwareFile", "/f" } } } },
            "Unknown job option: firmwareFile" },
        { { { "action", "backup" }, { "devices", one }, { "options", { { "backupFolder", "" } } } },
            "Job option must be a non-empty text: backupFolder" },
        { { { "action", "restore" }, { "devices", devices({ "10.0.0.1", "10.0.0.2" }) } },
            "Batch restore is not supported" },
        { { { "action", "backup" }, { "devices", one }, { "options", { { "library", "yes" } } } },
            "Job option must be true or false: library" },
        { { { "action", "backup" }, { "devices", one },
              { "options", { { "library", true }, { "backupFolder", "/tmp" } } } },
            "Choose either the backup library or a backup folder" },
        { { { "action", "restore" }, { "devices", one }, { "options", { { "library", true } } } },
            "Unknown job option: library" },
    };
    for (const auto& [payload, message] : cases) {
        replies.sent.clear();
        send("jobs_start", payload);
        ASSERT_EQ(replies.sent.size(), 1u) << payload.dump();
        EXPECT_EQ(replies.sent[0],
            json({ { "command", "jobRefused" },
                { "payload",
                    { { "request", "jobs_start" }, { "jobId", "" }, { "message", message } } } }))
            << payload.dump();
    }
    for (const json& payload : { json::object(), json({ { "jobId", "77" } }),
             json({ { "jobId", 77 } }), json({ { "jobId", json::array() } }) }) {
        replies.sent.clear();
        send("jobs_cancel", payload);
        ASSERT_EQ(replies.sent.size(), 1u);
        EXPECT_EQ(replies.sent[0]["payload"]["message"], "No such job") << payload.dump();
    }
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_FALSE(fs::exists(folder.file("runs.log")));
    EXPECT_FALSE(engine.busy());
}

TEST_F(JobsTest, TheConcurrencySettingIsKeptBesideTheOtherMembers)
{
    folder.write("settings.json", R"({"legacyMigration":{"completed":true},"extra":[1,2]})");
    send("jobs_getSettings", json::object());
    EXPECT_EQ(replies.sent.back()["payload"], json({ { "concurrency", 4 }, { "saved", true } }));
    send("jobs_setSettings", { { "concurrency", 8 } });
    EXPECT_EQ(replies.sent.back()["payload"], json({ { "concurrency", 8 }, { "saved", true } }));
    send("jobs_setSettings", { { "concurrency", 99 } });
    EXPECT_EQ(replies.sent.back()["command"], "jobRefused");
    json stored = json::parse(folder.read("settings.json"));
    EXPECT_EQ(stored["jobConcurrency"], 8);
    EXPECT_EQ(stored["extra"], json({ 1, 2 }));
    EXPECT_EQ(stored["legacyMigration"]["completed"], true);
    send("jobs_getSettings", json::object());
    EXPECT_EQ(replies.sent.back()["payload"]["concurrency"], 8);
}

} // namespace
