// The legacy commands end to end below the web view: the question asked once per run, the
// decision recorded in "settings.json", the import, the uninstall offer and the order of the
// messages the UI receives.
#include "fakes/fake_dialogs.h"
#include "fakes/fake_temp_folder.h"
#include "host/legacy/legacy_directory.h"
#include "host/legacy/legacy_migration_flow.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

class RecordingStarter final : public ProcessStarter {
public:
    bool startDetached(const std::vector<std::string>& arguments) override
    {
        started.push_back(arguments);
        return succeeds;
    }
    std::vector<std::vector<std::string>> started;
    bool succeeds = true;
};

const char* kUninstallEntry = R"(WINE REGISTRY Version 2

[Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{97A0355E-6469-4730-9181-AE9D840077D2}] 1700000000
"DisplayName"="TORVANE VELDIR Tool"
"UninstallString"="\"C:\\Program Files\\VELDIR\\unins000.exe\" /SILENT"
)";

const std::string kAskMigration = "question:VELDIR Tool Migration:Legacy VELDIR Tool data was "
                                  "detected.\n\nDo you want to migrate it now?:yes";
const std::string kAfterMigration = "question:VELDIR Tool Migration:Data migration completed.\n\n"
                                    "Do you want to uninstall the legacy VELDIR Tool now?:no";
const std::string kAfterDecline = "question:VELDIR Tool Migration:Data migration was skipped.\n\n"
                                  "Do you want to uninstall the legacy VELDIR Tool now?:no";

class LegacyFlowTest : public ::testing::Test {
protected:
    explicit LegacyFlowTest(bool writableSettings = true)
        : store_(settingsPathIn(writableSettings ? temp_.path() : temp_.path() / "missing"))
    {
    }

    LegacyMigrationFlow& flow()
    {
        if (!flow_) {
            LegacyLocations locations { temp_.path() / "Local", temp_.path() / "user.reg",
                temp_.path() / "system.reg" };
            flow_.emplace(
                [this](std::string message) {
                    sent_.push_back(json::parse(message));
                    sentText_.push_back(message);
                },
                dialogs_, store_, locations, starter_);
        }
        return *flow_;
    }
    void writeLegacyTree(const std::string& name, const json& tree)
    {
        fs::path directory = legacyLevelDbDirectory(temp_.path() / "Local");
        fs::create_directories(directory);
        // A Local Storage entry: the key ends in the word sites, the value follows it.
        std::string entry = "\x01_kovrkit://app";
        entry += '\0';
        std::ofstream(directory / name, std::ios::binary)
            << entry + "\x01sites\x07\x01" + tree.dump();
    }
    void writeUninstallEntry() { temp_.write("user.reg", kUninstallEntry); }
    std::vector<std::string> commands() const
    {
        std::vector<std::string> names;
        for (const json& message : sent_)
            names.push_back(message["command"]);
        return names;
    }
    json settings() const { return json::parse(temp_.read("settings.json")); }

    TempFolder temp_;
    SitesStore store_;
    FakeDialogs dialogs_;
    RecordingStarter starter_;
    std::vector<json> sent_;
    std::vector<std::string> sentText_; // field order as sent
    std::optional<LegacyMigrationFlow> flow_;
};

class LegacyFlowUnwritableTest : public LegacyFlowTest {
protected:
    LegacyFlowUnwritableTest()
        : LegacyFlowTest(false)
    {
    }
};

json nestedTree(const std::string& rootName)
{
    return json::parse(R"({"root":{"name":")" + rootName
        + R"(","children":[{"name":"Gate","ip":"10.0.0.5","username":"u","password":"p"}]}})");
}

} // namespace

TEST_F(LegacyFlowTest, YesMigratesOffersTheUninstallerAndReportsInOrder)
{
    writeLegacyTree("000001.log", nestedTree("Plant"));
    writeUninstallEntry();
    dialogs_.yesNoAnswers = { true, true };
    flow().statusCheck();

    EXPECT_EQ(dialogs_.asked, std::vector<std::string>({ kAskMigration, kAfterMigration }));
    ASSERT_EQ(commands(),
        std::vector<std::string>({ "legacyMigrationStatus", "sitesDataLoaded",
            "legacyUninstallLaunchResult", "legacyMigrationResult" }));
    EXPECT_EQ(sent_[0]["payload"],
        json::parse(
            R"({"legacyDetected":true,"legacyDataDetected":true,"legacyInstallDetected":true,
            "migrationCompleted":true,"migrationDeclined":false,"migrationNeeded":false,
            "suppressUiPrompt":false,"canLaunchLegacyUninstall":true,
            "legacyDataPath":")"
            + legacyLevelDbDirectory(temp_.path() / "Local").string()
            + R"(","legacyDisplayName":"TORVANE VELDIR Tool"})"));
    const json& nodes = sent_[1]["payload"]["sitesData"]["nodes"];
    EXPECT_EQ(nodes["root"]["name"], "Plant");
    EXPECT_EQ(nodes["device-1"]["ip"], "10.0.0.5");
    EXPECT_EQ(sent_[2]["payload"],
        json::parse(R"({"success":true,"message":"Legacy uninstaller launched"})"));
    EXPECT_EQ(sentText_[3],
        R"({"command":"legacyMigrationResult","payload":{"success":true,"migrated":true,"canLaunchLegacyUninstall":true,"message":"Legacy data migrated successfully"}})");
    EXPECT_EQ(starter_.started,
        std::vector<std::vector<std::string>>(
            { { "wine", "C:\\Program Files\\VELDIR\\unins000.exe", "/SILENT" } }));
    json record = settings()["legacyMigration"];
    EXPECT_EQ(record["completed"], true);
    EXPECT_EQ(record["declined"], false);
    EXPECT_EQ(record["status"], "Legacy data imported");
    EXPECT_EQ(record["updatedAt"].get<std::string>().size(), 20u);

    // Completed: no question; a newer tree migrates again on request and replaces the old one.
    sent_.clear();
    flow().statusCheck();
    EXPECT_EQ(commands(), std::vector<std::string>({ "legacyMigrationStatus" }));
    EXPECT_EQ(dialogs_.asked.size(), 2u);
    writeLegacyTree("000002.log", nestedTree("Plant 2"));
    fs::last_write_time(legacyLevelDbDirectory(temp_.path() / "Local") / "000002.log",
        fs::file_time_type::clock::now() + std::chrono::seconds(10));
    flow().migrate();
    EXPECT_EQ(settings()["sitesData"]["name"], "Plant 2");
}

TEST_F(LegacyFlowTest, NoRecordsTheDeclineOffersTheUninstallerAndAsksOnlyOnce)
{
    writeLegacyTree("000001.log", nestedTree("Plant"));
    writeUninstallEntry();
    dialogs_.yesNoAnswers = { false, false };
    flow().statusCheck();
    EXPECT_EQ(dialogs_.asked, std::vector<std::string>({ kAskMigration, kAfterDecline }));
    ASSERT_EQ(commands(), std::vector<std::string>({ "legacyMigrationStatus" }));
    EXPECT_EQ(sent_[0]["payload"]["migrationDeclined"], true);
    EXPECT_EQ(sent_[0]["payload"]["migrationNeeded"], false);
    EXPECT_EQ(sent_[0]["payload"]["suppressUiPrompt"], true);
    EXPECT_TRUE(starter_.started.empty());
    EXPECT_EQ(settings()["legacyMigration"]["status"], "Legacy migration declined by user");
    EXPECT_FALSE(settings().contains("sitesData"));

    flow().statusCheck();
    EXPECT_EQ(dialogs_.asked.size(), 2u);
    EXPECT_EQ(sent_[1]["payload"]["migrationDeclined"], true);
    EXPECT_EQ(sent_[1]["payload"]["suppressUiPrompt"], false);
}

TEST_F(LegacyFlowUnwritableTest, UnrecordedDeclineStillAsksOnlyOnceAndStaysNeeded)
{
    writeLegacyTree("000001.log", nestedTree("Plant"));
    flow().statusCheck();
    flow().statusCheck();
    EXPECT_EQ(dialogs_.asked, std::vector<std::string>({ kAskMigration }))
        << "no uninstaller known";
    ASSERT_EQ(
        commands(), std::vector<std::string>({ "legacyMigrationStatus", "legacyMigrationStatus" }));
    for (bool firstCheck : { true, false }) {
        const json& status = sent_[firstCheck ? 0 : 1]["payload"];
        EXPECT_EQ(status["migrationDeclined"], false);
        EXPECT_EQ(status["migrationNeeded"], true);
        EXPECT_EQ(status["suppressUiPrompt"], firstCheck);
        EXPECT_EQ(status["canLaunchLegacyUninstall"], false);
    }
}

// A tree that was found but could not be written is not called incompatible.
TEST_F(LegacyFlowUnwritableTest, UnsavedTreeIsReportedAsUnsaved)
{
    writeLegacyTree("000001.log", nestedTree("Plant"));
    flow().migrate();
    ASSERT_EQ(commands(), std::vector<std::string>({ "legacyMigrationResult" }));
    EXPECT_EQ(sent_[0]["payload"],
        json::parse(
            R"({"success":false,"migrated":false,"message":"Migrated data could not be saved"})"));
}

TEST_F(LegacyFlowTest, InstallationAloneIsReportedWithoutAQuestion)
{
    writeUninstallEntry();
    flow().statusCheck();
    EXPECT_TRUE(dialogs_.asked.empty());
    ASSERT_EQ(commands(), std::vector<std::string>({ "legacyMigrationStatus" }));
    const json& status = sent_[0]["payload"];
    EXPECT_EQ(status["legacyDetected"], true);
    EXPECT_EQ(status["legacyInstallDetected"], true);
    EXPECT_EQ(status["legacyDataDetected"], false);
    EXPECT_EQ(status["migrationNeeded"], false);
    EXPECT_EQ(status["canLaunchLegacyUninstall"], true);

    starter_.succeeds = false;
    flow().uninstall();
    EXPECT_EQ(sent_[1]["payload"],
        json::parse(R"({"success":false,"message":"Failed to launch legacy uninstaller"})"));
}

TEST_F(LegacyFlowTest, FailuresEndInOneResultAndWriteNothing)
{
    flow().uninstall();
    flow().migrate();
    writeLegacyTree("000001.log", json::parse(R"({"name":"Plant","folders":[],"devices":[]})"));
    flow().migrate();
    ASSERT_EQ(sent_.size(), 3u);
    EXPECT_EQ(sent_[0]["payload"],
        json::parse(R"({"success":false,"message":"Legacy uninstall command was empty"})"));
    EXPECT_EQ(sent_[1]["payload"]["message"], "Legacy LevelDB directory was not found");
    EXPECT_EQ(
        sent_[2]["payload"]["message"], "Migrated data was not compatible with the current format");
    EXPECT_FALSE(fs::exists(temp_.path() / "settings.json"));
    EXPECT_TRUE(dialogs_.asked.empty());
}
