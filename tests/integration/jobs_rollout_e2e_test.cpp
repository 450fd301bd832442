// Staged firmware upgrades end to end: the job engine with the real kovru-cli and GLib child
// processes against ten controllers of kovru-sim. The simulator's log tells which controller
// received an upload.
#include "fakes/firmware_files.h"
#include "fakes/job_engine_harness.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

using namespace kovrkit;
using namespace kovrkit::testing;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class RolloutEndToEnd : public ::testing::Test, protected JobEngineHarness {
protected:
    RolloutEndToEnd()
        : JobEngineHarness(kovru::testing::built_program("cli/main/kovru-cli"))
    {
        // The tool's safety backup before each upgrade goes to $HOME/Downloads.
        fs::create_directories(folder.path() / "home/Downloads");
        ::setenv("HOME", folder.file("home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", folder.file("home/.config").c_str(), 1);
        image = kovru::testing::make_package(folder.path(), "veldir-2-1.6.2.bin",
            kovru::testing::controller_image(1'900'000, "VELDIR-2", "1.6.2"),
            kovru::testing::sha256_text(
                kovru::testing::controller_image(1'900'000, "VELDIR-2", "1.6.2")));
    }

    void startUpgrade(const SimProcess& sim, int concurrency, const json& rollout)
    {
        json devices = json::array();
        for (size_t unit = 0; unit < 10; ++unit)
            devices.push_back({ { "ip", sim.address(unit) } });
        send("jobs_start",
            { { "action", "upgrade" }, { "devices", devices }, { "concurrency", concurrency },
                { "options",
                    { { "firmwareFile", image.string() }, { "rollout", rollout },
                        { "verifySeconds", 2 } } } });
        ASSERT_EQ(replies.named("jobStarted").size(), 1u) << replies.sent.back().dump();
        jobId = replies.named("jobStarted")[0]["jobId"];
    }

    // The controllers (by index) that received an upload, from the simulator's log.
    std::set<size_t> uploaded(const SimProcess& sim) const
    {
        std::map<std::string, size_t> byAddress;
        for (size_t unit = 0; unit < 10; ++unit)
            byAddress[sim.address(unit)] = unit;
        std::set<size_t> units;
        std::istringstream log(folder.read("sim.log"));
        for (std::string address, event, rest;
             log >> address >> event && std::getline(log, rest);) {
            if (event == "upload")
                units.insert(byAddress.at(address));
        }
        return units;
    }

    fs::path image;
    std::string jobId;
};

// Controller 0 is another model, 1 runs the image's version; of the others, 2 is the canary,
// then groups of three (3-5, 6-8, 9), and 7 keeps its old firmware.
TEST_F(RolloutEndToEnd, PauseAfterTheCanaryThenAFailureInTheThirdGroupStopsTheRest)
{
    std::vector<std::string> controllers(10, "model=VELDIR-2,firmware=1.5.0");
    controllers[0] = "model=VELDIR-3,firmware=1.5.0";
    controllers[1] = "model=VELDIR-2,firmware=1.6.2";
    controllers[7] += ",upgrade_keeps_firmware=1";
    SimProcess sim(controllers, { "--log", folder.file("sim.log") });
    ASSERT_TRUE(sim.ready());
    startUpgrade(sim, 3, { { "canary", 1 }, { "pauseAfterCanary", true } });

    ASSERT_TRUE(iterateUntil([&] { return !replies.named("jobPaused").empty(); }, 60));
    EXPECT_EQ(replies.named("jobPaused")[0],
        json({ { "jobId", jobId }, { "reason", "Canary upgrade succeeded" } }));
    EXPECT_EQ(uploaded(sim), std::set<size_t>({ 2 }));
    iterateUntil([] { return false; }, 1);
    EXPECT_EQ(uploaded(sim), std::set<size_t>({ 2 })) << "a paused job starts nobody";
    EXPECT_FALSE(replies.finished());

    send("jobs_resume", { { "jobId", jobId } });
    ASSERT_TRUE(iterateUntil([&] { return replies.finished(); }, 120));
    EXPECT_EQ(uploaded(sim), std::set<size_t>({ 2, 3, 4, 5, 6, 7, 8 }))
        << "nothing for the wrong model, the up-to-date one and the one after the failure";
    std::map<std::string, json> byAddress = replies.resultsByAddress();
    ASSERT_EQ(byAddress.size(), 10u);
    EXPECT_EQ(byAddress[sim.address(0)]["cause"], "refused-input");
    EXPECT_EQ(byAddress[sim.address(0)]["reason"],
        "Controller model VELDIR-3 does not match the firmware file's model VELDIR-2");
    EXPECT_EQ(byAddress[sim.address(1)]["success"], true);
    EXPECT_EQ(byAddress[sim.address(1)]["message"], "already up to date");
    EXPECT_EQ(byAddress[sim.address(7)]["success"], false);
    EXPECT_EQ(
        byAddress[sim.address(7)]["reason"], "Controller did not report firmware 1.6.2 within 2 s");
    EXPECT_EQ(byAddress[sim.address(9)]["reason"], "not started (rollout stopped)");
    EXPECT_EQ(byAddress[sim.address(9)]["cause"], "cancelled");
    for (size_t unit : { 2, 3, 4, 5, 6, 8 })
        EXPECT_EQ(byAddress[sim.address(unit)]["success"], true) << byAddress[sim.address(unit)];
    json done = replies.named("jobFinished")[0];
    EXPECT_EQ(done["succeeded"], 7);
    EXPECT_EQ(done["failed"], 2);
    EXPECT_EQ(done["cancelled"], 1);
}

TEST_F(RolloutEndToEnd, ABadCanaryTouchesNobodyElse)
{
    std::vector<std::string> controllers(10, "model=VELDIR-2,firmware=1.5.0");
    controllers[0] += ",upgrade_keeps_firmware=1";
    SimProcess sim(controllers, { "--log", folder.file("sim.log") });
    ASSERT_TRUE(sim.ready());
    startUpgrade(sim, 8, json::object());
    ASSERT_TRUE(iterateUntil([&] { return replies.finished(); }, 60));
    EXPECT_EQ(uploaded(sim), std::set<size_t>({ 0 }));
    std::map<std::string, json> byAddress = replies.resultsByAddress();
    EXPECT_EQ(byAddress[sim.address(0)]["success"], false);
    for (size_t unit = 1; unit < 10; ++unit)
        EXPECT_EQ(byAddress[sim.address(unit)]["reason"], "not started (rollout stopped)");
    EXPECT_TRUE(replies.named("jobPaused").empty());
}

} // namespace
