// Staged firmware upgrades in the job engine, through the jobs_* commands, with runs the test
// ends by hand: the image check, the status reads, the canary, the pause, the groups and the
// failure threshold.
#include "fakes/fake_device_runner.h"
#include "fakes/fake_dialogs.h"
#include "fakes/page_messages.h"
#include "host/jobs/job_command_table.h"
#include "host/jobs/job_engine.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <set>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;

namespace {

using FakeRun = std::shared_ptr<FakeDeviceRunner::Started>;

DeviceEnd imageChecked()
{
    return { true, 0, "", "", "Action completed successfully",
        R"({"model_name":"VELDIR-2","version_string":"1.6.2"})" };
}

DeviceEnd statusOf(const std::string& model, const std::string& version)
{
    return { true, 0, "", "", "Status retrieved successfully",
        json { { "model_name", model }, { "firmware_version", version } }.dump() };
}

DeviceEnd upgraded(bool success)
{
    return success
        ? DeviceEnd { true, 0, "", "", "Action completed successfully", "" }
        : DeviceEnd { false, 1, "other", "Controller did not report firmware 1.6.2 within 180 s",
              "Action failed", "" };
}

class RolloutTest : public ::testing::Test {
protected:
    RolloutTest()
        : engine(runner, replies)
        , commands(jobCommands(engine, dialogs, replies, {}))
    {
    }

    void send(const std::string& name, const json& payload) { runCommand(commands, name, payload); }

    // Ten controllers "10.0.0.1".."10.0.0.10".
    void startUpgrade(const json& rollout, int concurrency = 3)
    {
        json devices = json::array();
        for (int unit = 1; unit <= 10; ++unit)
            devices.push_back({ { "ip", "10.0.0." + std::to_string(unit) } });
        send("jobs_start",
            { { "action", "upgrade" }, { "devices", devices }, { "concurrency", concurrency },
                { "options",
                    { { "firmwareFile", "/images/veldir-2.bin" }, { "rollout", rollout },
                        { "verifySeconds", 5 } } } });
        jobId = replies.named("jobStarted").at(0)["jobId"];
    }

    // The image check, then every status read: 10.0.0.1 is another model, 10.0.0.2 runs the
    // image's version already, the others run 1.5.0.
    void passTheChecks()
    {
        ASSERT_EQ(runner.running().size(), 1u);
        FakeRun check = runner.running()[0];
        EXPECT_TRUE(check->imageCheck);
        EXPECT_EQ(check->action, JobAction::upgrade);
        FakeDeviceRunner::end(check, imageChecked());
        std::vector<FakeRun> reads = runner.running();
        ASSERT_EQ(reads.size(), 10u) << "every status is read before any upload";
        for (const FakeRun& read : reads) {
            EXPECT_EQ(read->action, JobAction::status);
            std::string version = read->ip == "10.0.0.2" ? "1.6.2" : "1.5.0";
            FakeDeviceRunner::end(
                read, statusOf(read->ip == "10.0.0.1" ? "VELDIR-3" : "VELDIR-2", version));
        }
    }

    std::set<std::string> uploading() const
    {
        std::set<std::string> ips;
        for (const FakeRun& run : runner.running()) {
            EXPECT_EQ(run->action, JobAction::upgrade);
            EXPECT_FALSE(run->imageCheck);
            ips.insert(run->ip);
        }
        return ips;
    }

    void endAll(bool success)
    {
        for (const FakeRun& run : runner.running())
            FakeDeviceRunner::end(run, upgraded(success));
    }

    FakeDeviceRunner runner;
    RecordedReplies replies;
    FakeDialogs dialogs;
    JobEngine engine;
    CommandTable commands;
    std::string jobId;
};

TEST_F(RolloutTest, CanaryThenPauseThenGroupsUntilTheFailureThreshold)
{
    startUpgrade({ { "canary", 1 }, { "pauseAfterCanary", true }, { "stopAfterFailures", 1 } });
    passTheChecks();
    std::map<std::string, json> results = replies.resultsByAddress();
    ASSERT_EQ(results.size(), 2u) << "the checks end two controllers before any upload";
    EXPECT_EQ(results["10.0.0.1"]["cause"], "refused-input");
    EXPECT_EQ(results["10.0.0.1"]["reason"],
        "Controller model VELDIR-3 does not match the firmware file's model VELDIR-2");
    EXPECT_EQ(results["10.0.0.2"]["success"], true);
    EXPECT_EQ(results["10.0.0.2"]["message"], "already up to date");

    EXPECT_EQ(uploading(), std::set<std::string>({ "10.0.0.3" })) << "the canary alone";
    endAll(true);
    ASSERT_EQ(replies.named("jobPaused").size(), 1u);
    EXPECT_EQ(replies.sent.back(),
        json({ { "command", "jobPaused" },
            { "payload", { { "jobId", jobId }, { "reason", "Canary upgrade succeeded" } } } }));
    EXPECT_TRUE(runner.running().empty()) << "paused: nothing starts";
    send("jobs_resume", { { "jobId", "99" } });
    EXPECT_EQ(replies.sent.back()["payload"],
        json({ { "request", "jobs_resume" }, { "jobId", "99" }, { "message", "No such job" } }));

    send("jobs_resume", { { "jobId", jobId } });
    EXPECT_EQ(uploading(), std::set<std::string>({ "10.0.0.4", "10.0.0.5", "10.0.0.6" }));
    send("jobs_resume", { { "jobId", jobId } });
    EXPECT_EQ(replies.sent.back()["payload"]["message"], "Job is not paused");
    // A group ends whole before the next one starts.
    FakeDeviceRunner::end(runner.running()[0], upgraded(true));
    EXPECT_EQ(uploading().size(), 2u);
    endAll(true);
    EXPECT_EQ(uploading(), std::set<std::string>({ "10.0.0.7", "10.0.0.8", "10.0.0.9" }));

    // A failure in the third group: the rest are never started, the running ones finish.
    FakeDeviceRunner::end(runner.running()[1], upgraded(false));
    results = replies.resultsByAddress();
    EXPECT_EQ(results["10.0.0.8"]["cause"], "other");
    EXPECT_EQ(results["10.0.0.10"]["reason"], "not started (rollout stopped)");
    EXPECT_EQ(results["10.0.0.10"]["seconds"], 0);
    EXPECT_EQ(results.count("10.0.0.7"), 0u) << "still running";
    endAll(true);
    ASSERT_EQ(replies.named("jobFinished").size(), 1u);
    json finished = replies.named("jobFinished")[0];
    EXPECT_EQ(finished["succeeded"], 7);
    EXPECT_EQ(finished["failed"], 2);
    EXPECT_EQ(finished["cancelled"], 1);
    for (const FakeRun& run : runner.runs)
        EXPECT_FALSE(run->ip == "10.0.0.10" && run->action == JobAction::upgrade);
}

TEST_F(RolloutTest, AFailedCanaryTouchesNobodyElse)
{
    startUpgrade({ { "canary", 2 }, { "stopAfterFailures", 5 } }, 1);
    passTheChecks();
    EXPECT_EQ(uploading(), std::set<std::string>({ "10.0.0.3" })) << "one at a time";
    FakeDeviceRunner::end(runner.running()[0], upgraded(false));
    EXPECT_TRUE(runner.running().empty());
    std::map<std::string, json> results = replies.resultsByAddress();
    ASSERT_EQ(results.size(), 10u);
    for (int unit = 4; unit <= 10; ++unit)
        EXPECT_EQ(
            results["10.0.0." + std::to_string(unit)]["reason"], "not started (rollout stopped)");
    EXPECT_EQ(replies.named("jobFinished").size(), 1u);
    size_t uploads = 0;
    for (const FakeRun& run : runner.runs)
        uploads += run->action == JobAction::upgrade && !run->imageCheck ? 1 : 0;
    EXPECT_EQ(uploads, 1u);
}

TEST_F(RolloutTest, CancelStopsAPausedJobAndABadImageStopsEveryone)
{
    startUpgrade({ { "pauseAfterCanary", true } });
    passTheChecks();
    endAll(true);
    ASSERT_TRUE(engine.paused(jobId));
    send("jobs_cancel", { { "jobId", jobId } });
    ASSERT_EQ(replies.named("jobFinished").size(), 1u);
    EXPECT_EQ(replies.named("jobFinished")[0]["cancelled"], 7);
    EXPECT_EQ(replies.resultsByAddress()["10.0.0.10"]["reason"], "Cancelled before it started");

    // The tool refuses the file: no status is read, every controller gets the tool's reason.
    replies.sent.clear();
    startUpgrade(json::object());
    FakeDeviceRunner::end(runner.running()[0],
        { false, 2, "refused-input", "FIRMWARE FILE IS NOT VALID!", "Action failed", "" });
    EXPECT_TRUE(runner.running().empty());
    std::map<std::string, json> results = replies.resultsByAddress();
    ASSERT_EQ(results.size(), 10u);
    EXPECT_EQ(results["10.0.0.5"]["cause"], "refused-input");
    EXPECT_EQ(results["10.0.0.5"]["reason"], "FIRMWARE FILE IS NOT VALID!");
    EXPECT_EQ(replies.named("jobFinished")[0]["failed"], 10);
}

TEST_F(RolloutTest, BadRolloutOptionsAreRefused)
{
    const std::vector<std::pair<json, std::string>> cases = {
        { { { "rollout", 3 } }, "Rollout options must be an object" },
        { { { "rollout", { { "canary", 0 } } } }, "Canary must be a whole number from 1 to 1000" },
        { { { "rollout", { { "pauseAfterCanary", "yes" } } } },
            "Pause after canary must be true or false" },
        { { { "rollout", { { "stopAfterFailures", 1.5 } } } },
            "Stop after failures must be a whole number from 1 to 1000" },
        { { { "rollout", { { "groups", 2 } } } }, "Unknown rollout option: groups" },
        { { { "verifySeconds", 0 } },
            "Verification time must be a whole number of seconds from 1 to 86400" },
    };
    for (auto [options, message] : cases) {
        replies.sent.clear();
        options["firmwareFile"] = "/f.bin";
        send("jobs_start",
            { { "action", "upgrade" }, { "devices", json::array({ { { "ip", "10.0.0.1" } } }) },
                { "options", options } });
        ASSERT_EQ(replies.sent.size(), 1u) << options.dump();
        EXPECT_EQ(replies.sent[0]["payload"]["message"], message) << options.dump();
    }
    replies.sent.clear();
    send("jobs_start",
        { { "action", "backup" }, { "devices", json::array({ { { "ip", "10.0.0.1" } } }) },
            { "options", { { "backupFolder", "/b" }, { "rollout", json::object() } } } });
    EXPECT_EQ(replies.sent[0]["payload"]["message"], "Unknown job option: rollout");
    EXPECT_TRUE(runner.runs.empty());
}

} // namespace
