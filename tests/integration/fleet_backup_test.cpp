// kovru-fleet over a sites tree of 16 controllers (kovru-sim serves 15, one of them refusing
// every request, and one address answers nothing): the report, the exit status, the hooks with
// the details of each event (a hook script records its environment and arguments), --folder
// and --max-age, and the refusals that end with 2.
#include "fakes/backup_test_support.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

namespace {

namespace fs = std::filesystem;
using kovru::testing::ChildSettings;
using kovru::testing::ProgramRun;
using kovru::testing::ScratchFolder;
using kovru::testing::SimProcess;
using nlohmann::json;

constexpr std::size_t kSimulated = 15;
constexpr std::size_t kRefusing = 3; // in North Campus/Building A
const char* const kDeadAddress = "127.0.0.1:1";

// Each call appends one line: event, address, folder/name, cause, result, its two arguments.
const char* kHookScript = R"(#!/bin/sh
printf '%s|%s|%s/%s|%s|%s|%s|%s\n' "$KOVRU_FLEET_EVENT" "$KOVRU_FLEET_ADDRESS" \
  "$KOVRU_FLEET_FOLDER" "$KOVRU_FLEET_NAME" "$KOVRU_FLEET_CAUSE" "$KOVRU_FLEET_RESULT" "$1" "$2" \
  >> "$(dirname "$0")/hooks.log"
)";

class FleetBackupTest : public ::testing::Test {
protected:
    FleetBackupTest()
        : sim_(simulated())
    {
        json buildingA = json::array();
        json buildingB = json::array();
        json south = json::array();
        for (std::size_t unit = 0; unit < kSimulated; ++unit) {
            json device { { "name", "Gate " + std::to_string(unit) },
                { "ip", sim_.address(unit) } };
            (unit < 6 ? buildingA : unit < 11 ? buildingB : south).push_back(device);
        }
        south.push_back({ { "name", "Dead" }, { "ip", kDeadAddress } });
        json tree { { "name", "Sites" },
            { "folders",
                { { { "name", "North Campus" },
                      { "folders",
                          { { { "name", "Building A" }, { "devices", buildingA } },
                              { { "name", "Building B" }, { "devices", buildingB } } } } },
                    { { "name", "South" }, { "devices", south } } } } };
        std::ofstream(scratch_.file("settings.json")) << json { { "sitesData", tree } }.dump(2);
        std::ofstream(scratch_.file("hook.sh")) << kHookScript;
        fs::permissions(scratch_.file("hook.sh"), fs::perms::owner_all);
    }

    static std::vector<std::string> simulated()
    {
        std::vector<std::string> controllers(kSimulated, "");
        controllers[kRefusing] = "http_error=500";
        return controllers;
    }

    ProgramRun fleet(std::vector<std::string> arguments)
    {
        ChildSettings settings;
        settings.environment
            = { { "XDG_DATA_HOME", scratch_.file("data") }, { "KOVRU_TEST_TIME_DIVISOR", "50" } };
        return kovru::testing::run_program(
            kovru::testing::built_program("host/app/kovru-fleet"), arguments, settings);
    }

    json report(const std::string& name)
    {
        std::ifstream in(scratch_.file(name));
        return json::parse(in, nullptr, false);
    }

    std::map<std::string, json> byAddress(const json& report)
    {
        std::map<std::string, json> devices;
        for (const json& device : report["devices"])
            devices[device["address"]] = device;
        return devices;
    }

    std::multiset<std::string> hookCalls()
    {
        std::multiset<std::string> calls;
        std::ifstream in(scratch_.file("hooks.log"));
        for (std::string line; std::getline(in, line);)
            calls.insert(line);
        fs::remove(scratch_.file("hooks.log"));
        return calls;
    }

    ScratchFolder scratch_;
    SimProcess sim_;
};

TEST_F(FleetBackupTest, ReportsEachDeviceRunsTheHooksAndPicksAFolder)
{
    ASSERT_TRUE(sim_.ready());
    const std::string hook = scratch_.file("hook.sh");
    ProgramRun all = fleet({ "backup", "--sites", scratch_.file("settings.json"), "--parallel", "8",
        "--report", scratch_.file("all.json"), "--on-failure", "'" + hook + "' failure 'two words'",
        "--on-change", hook + " change $HOME" });
    EXPECT_EQ(all.exit_status, 1) << all.out << all.err;
    EXPECT_NE(all.out.find("16 devices: 14 succeeded, 2 failed, 14 changed"), std::string::npos)
        << all.out;

    json first = report("all.json");
    ASSERT_TRUE(first.is_object());
    EXPECT_EQ(first["total"], 16);
    EXPECT_EQ(first["failed"], 2);
    std::map<std::string, json> devices = byAddress(first);
    ASSERT_EQ(devices.size(), 16u);
    const json& refusing = devices[sim_.address(kRefusing)];
    EXPECT_EQ(refusing["result"], "failed");
    EXPECT_EQ(refusing["cause"], "controller-refused");
    EXPECT_EQ(refusing["folder"], "North Campus/Building A");
    EXPECT_FALSE(refusing["reason"].get<std::string>().empty());
    EXPECT_EQ(devices[kDeadAddress]["cause"], "unreachable");
    EXPECT_EQ(devices[kDeadAddress]["folder"], "South");
    const json& good = devices[sim_.address(7)];
    EXPECT_EQ(good["result"], "succeeded");
    EXPECT_EQ(good["changed"], true);
    EXPECT_EQ(good["cause"], "");
    EXPECT_GT(good["seconds"].get<double>(), 0);
    EXPECT_TRUE(fs::is_regular_file(good["archive"].get<std::string>()));

    std::multiset<std::string> calls = hookCalls();
    std::multiset<std::string> expected {
        "failure|" + sim_.address(kRefusing)
            + "|North Campus/Building A/Gate 3|controller-refused|failed|failure|two words",
        std::string("failure|") + kDeadAddress + "|South/Dead|unreachable|failed|failure|two words",
    };
    for (std::size_t unit = 0; unit < kSimulated; ++unit) {
        if (unit == kRefusing)
            continue;
        std::string folder = unit < 6 ? "North Campus/Building A"
            : unit < 11               ? "North Campus/Building B"
                                      : "South";
        expected.insert("change|" + sim_.address(unit) + "|" + folder + "/Gate "
            + std::to_string(unit) + "||succeeded|change|$HOME");
    }
    EXPECT_EQ(calls, expected);

    // One folder: only its six devices; nothing changed, so only the failure hook runs.
    ProgramRun one = fleet({ "backup", "--sites", scratch_.file("settings.json"), "--folder",
        "North Campus/Building A", "--report", scratch_.file("one.json"), "--on-failure",
        hook + " failure", "--on-change", hook + " change" });
    EXPECT_EQ(one.exit_status, 1) << one.out << one.err;
    devices = byAddress(report("one.json"));
    ASSERT_EQ(devices.size(), 6u);
    for (std::size_t unit = 0; unit < 6; ++unit)
        EXPECT_EQ(devices.count(sim_.address(unit)), 1u);
    EXPECT_EQ(devices[sim_.address(1)]["changed"], false);
    EXPECT_EQ(hookCalls(),
        std::multiset<std::string> { "failure|" + sim_.address(kRefusing)
            + "|North Campus/Building A/Gate 3|controller-refused|failed|failure|" });

    // A device whose last good backup is a year old, besides those without any.
    // (Building B was not backed up since.)
    std::string staleAddress = sim_.address(7);
    fs::path record = byAddress(first)[staleAddress]["record"].get<std::string>();
    std::ifstream in(record);
    json old = json::parse(in);
    in.close();
    old["time"] = "2025-01-01T00:00:00Z";
    std::ofstream(record) << old.dump(2);
    ProgramRun aged = fleet({ "status", "--sites", scratch_.file("settings.json"), "--max-age",
        "24", "--report", scratch_.file("aged.json") });
    EXPECT_EQ(aged.exit_status, 1) << aged.out << aged.err;
    json agedReport = report("aged.json");
    EXPECT_EQ(agedReport["stale"], 3);
    std::set<std::string> stale;
    for (const json& device : agedReport["devices"]) {
        if (device["stale"] == true)
            stale.insert(device["address"]);
    }
    EXPECT_EQ(
        stale, (std::set<std::string> { staleAddress, sim_.address(kRefusing), kDeadAddress }));
    EXPECT_NE(aged.out.find("last good backup 2025-01-01T00:00:00Z"), std::string::npos)
        << aged.out;
}

// --out: the zip archives go into that folder, one per device, and the library is not touched.
TEST_F(FleetBackupTest, OutWritesTheArchivesIntoTheFolderAndNotIntoTheLibrary)
{
    ASSERT_TRUE(sim_.ready());
    const fs::path out = scratch_.file("night");
    fs::create_directories(out);
    ProgramRun run = fleet({ "backup", "--sites", scratch_.file("settings.json"), "--folder",
        "North Campus/Building B", "--out", out.string(), "--report", scratch_.file("out.json"),
        "--on-change", scratch_.file("hook.sh") + " change" });
    EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
    // Outside the library no backup is known as changed or unchanged.
    EXPECT_NE(run.out.find("5 devices: 5 succeeded, 0 failed ("), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("changed"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(scratch_.file("data"))) << "nothing in the library";
    EXPECT_FALSE(fs::exists(scratch_.file("hooks.log")))
        << "no change is known outside the library";

    json written = report("out.json");
    ASSERT_TRUE(written.is_object());
    EXPECT_EQ(written["destination"], out.string());
    EXPECT_EQ(written["succeeded"], 5);
    EXPECT_EQ(written["changed"], 0);
    std::map<std::string, json> devices = byAddress(written);
    ASSERT_EQ(devices.size(), 5u);
    for (std::size_t unit = 6; unit < 11; ++unit) {
        const json& device = devices[sim_.address(unit)];
        EXPECT_EQ(device["result"], "succeeded") << device.dump();
        EXPECT_TRUE(device["changed"].is_null()) << device.dump();
        EXPECT_EQ(device["archive"], "");
        EXPECT_EQ(device["record"], "");
    }

    // One whole archive per controller, each holding every configuration item.
    std::vector<fs::path> archives;
    for (const auto& entry : fs::directory_iterator(out))
        archives.push_back(entry.path());
    ASSERT_EQ(archives.size(), 5u);
    for (const fs::path& archive : archives) {
        EXPECT_EQ(archive.extension(), ".zip") << archive;
        std::vector<kovru::testing::ZipEntry> entries = kovru::testing::read_zip(archive.string());
        EXPECT_GE(entries.size(), 612u) << archive;
    }
}

TEST_F(FleetBackupTest, BadArgumentsAndAnUnreadableTreeEndWithTwo)
{
    const std::vector<std::vector<std::string>> cases {
        { "backup", "--parallel", "0" },
        { "backup", "--bogus" },
        { "reboot" },
        { "status", "--out", scratch_.path() },
        { "backup", "--on-failure", "'unclosed" },
        { "backup", "--sites", scratch_.file("missing.json") },
        { "backup", "--sites", scratch_.file("hook.sh") },
        { "backup", "--sites", scratch_.file("settings.json"), "--folder", "North Campus/Nowhere" },
    };
    for (const auto& arguments : cases) {
        ProgramRun run = fleet(arguments);
        EXPECT_EQ(run.exit_status, 2) << arguments[1] << run.err;
        EXPECT_TRUE(run.err.starts_with("kovru-fleet: ")) << run.err;
    }
    EXPECT_FALSE(fs::exists(scratch_.file("data")));
    ProgramRun help = fleet({ "backup", "--help" });
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_NE(help.out.find("--on-failure CMD"), std::string::npos);
}

} // namespace
