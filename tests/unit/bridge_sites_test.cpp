#include "fakes/fake_bridge_commands.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_host_services.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/fake_web_view.h"
#include "fakes/file_size_cap.h"
#include "host/bridge/message_bridge.h"
#include "host/bridge/settings_sites_storage.h"
#include "host/sites/sites_store.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;

namespace {

// The bridge in front of the real sites store, in a folder of its own.
class BridgeSitesTest : public ::testing::Test {
protected:
    BridgeSitesTest()
    {
        addAllCommands(bridge, { identity, dialogs, opener, storage });
        bridge.attachWebView(&view);
        send(R"({"command":"ui_ready"})");
    }

    void sendJson(const json& message)
    {
        bridge.onWebMessage("kovrkit://app/index.html", message.dump());
    }
    void send(const std::string& text) { bridge.onWebMessage("kovrkit://app/index.html", text); }

    bool save(const json& document)
    {
        sendJson(
            json { { "command", "setSitesData" }, { "payload", { { "sitesData", document } } } });
        return json::parse(view.posted.back())["payload"]["success"].get<bool>();
    }
    json load()
    {
        send(R"({"command":"getSitesData"})");
        return json::parse(view.posted.back())["payload"]["sitesData"];
    }

    TempFolder folder;
    SitesStore store { settingsPathIn(folder.path()) };
    SettingsSitesStorage storage { store };
    AppIdentity identity;
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    FakeWebView view;
    MessageBridge bridge { "kovrkit://app" };
};

json node(const std::string& id, const std::string& type, const std::string& name,
    json children = nullptr)
{
    json result = { { "id", id }, { "type", type }, { "name", name }, { "description", "" } };
    if (type == "folder")
        result["children"] = children.is_null() ? json::array() : children;
    else
        result.update(
            { { "ip", "10.0.0." + id }, { "username", "admin" }, { "password", "p\"w" } });
    return result;
}

json treeWithFolderAndDevices()
{
    return { { "version", 1 }, { "rootId", "r" },
        { "nodes",
            { { "r", node("r", "folder", "Plant", { "d0", "A", "B" }) },
                { "A", node("A", "folder", "Hall", { "d1" }) },
                { "B", node("B", "folder", "Yard") }, { "d1", node("d1", "device", "Gateway 1") },
                { "d0", node("d0", "device", "Gateway 0") } } } };
}

TEST_F(BridgeSitesTest, FirstLoadServesTheDefaultTree)
{
    load();
    EXPECT_EQ(view.posted.back(),
        R"({"command":"sitesDataLoaded","payload":{"sitesData":{"nodes":{"root":{"children":[],)"
        R"("description":"","id":"root","name":"Sites","type":"folder"}},"rootId":"root","version":1}}})");
}

TEST_F(BridgeSitesTest, SavedTreeComesBackWithFreshIdsFoldersFirst)
{
    ASSERT_TRUE(save(treeWithFolderAndDevices()));
    json loaded = load();
    EXPECT_EQ(loaded["rootId"], "root");
    json nodes = loaded["nodes"];
    EXPECT_EQ(nodes["root"]["name"], "Plant");
    EXPECT_EQ(nodes["root"]["children"], json({ "folder-1", "folder-2", "device-2" }));
    EXPECT_EQ(nodes["folder-1"]["name"], "Hall");
    EXPECT_EQ(nodes["folder-1"]["children"], json({ "device-1" }));
    EXPECT_EQ(nodes["device-1"]["name"], "Gateway 1");
    EXPECT_EQ(nodes["device-2"]["password"], "p\"w");

    // Saving what was loaded gives the same tree again.
    ASSERT_TRUE(save(loaded));
    EXPECT_EQ(load(), loaded);
}

TEST_F(BridgeSitesTest, RefusedDocumentsLeaveTheFileUntouched)
{
    ASSERT_TRUE(save(treeWithFolderAndDevices()));
    std::string before = folder.read("settings.json");

    json rootIsDevice = treeWithFolderAndDevices();
    rootIsDevice["rootId"] = "d0";
    json blankName = treeWithFolderAndDevices();
    blankName["nodes"]["A"]["name"] = " \t ";
    json cyclic = treeWithFolderAndDevices();
    cyclic["nodes"]["A"]["children"].push_back("r");
    json childFolderWithoutChildren = treeWithFolderAndDevices();
    childFolderWithoutChildren["nodes"]["B"].erase("children");

    for (const json& refused : { rootIsDevice, blankName, cyclic, childFolderWithoutChildren,
             json { { "version", "1" } } }) {
        EXPECT_FALSE(save(refused)) << refused.dump();
        EXPECT_EQ(view.posted.back(),
            R"({"command":"sitesDataSaved","payload":{"success":false,"message":"Invalid or unsaved sites data"}})");
    }
    EXPECT_EQ(folder.read("settings.json"), before);
}

// A disk that fills during a save or a CSV export: the page is told, the old files stay whole
// and no temporary file is left.
TEST_F(BridgeSitesTest, FullDiskIsReportedAndKeepsTheOldFiles)
{
    ASSERT_TRUE(save(treeWithFolderAndDevices()));
    const std::string settingsBefore = folder.read("settings.json");
    const std::string csvBefore = "name,ip\r\nold,10.0.0.1\r\n";
    folder.write("sites.csv", csvBefore);
    dialogs.paths = { folder.file("sites.csv") };
    dialogs.yesNoAnswers = { true };
    {
        FileSizeCap cap(64);
        json tree = treeWithFolderAndDevices();
        tree["nodes"]["r"]["name"] = "Renamed";
        EXPECT_FALSE(save(tree));
        EXPECT_EQ(view.posted.back(),
            R"({"command":"sitesDataSaved","payload":{"success":false,"message":"Invalid or unsaved sites data"}})");
        sendJson({ { "command", "sites_exportCsv" },
            { "payload", { { "csvContent", std::string(4096, 'x') } } } });
    }
    const json exported = json::parse(view.posted.back());
    EXPECT_EQ(exported["command"], "sitesCsvExported");
    EXPECT_EQ(exported["payload"]["success"], false);
    EXPECT_EQ(exported["payload"]["message"], "Failed to write CSV file");
    EXPECT_EQ(folder.read("settings.json"), settingsBefore);
    EXPECT_EQ(folder.read("sites.csv"), csvBefore);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 2);
}

TEST_F(BridgeSitesTest, LastOfManySavesWinsAndOtherSettingsSurvive)
{
    folder.write("settings.json", R"({"zeta":{"keep":[1,2]},"alpha":true})");
    json tree = treeWithFolderAndDevices();
    for (int round = 0; round < 20; ++round) {
        tree["nodes"]["r"]["name"] = "Plant " + std::to_string(round);
        ASSERT_TRUE(save(tree));
        if (round % 3 == 0) {
            EXPECT_FALSE(save(json::object()));
        }
    }
    EXPECT_EQ(load()["nodes"]["root"]["name"], "Plant 19");
    json settings = json::parse(folder.read("settings.json"));
    EXPECT_EQ(settings["zeta"], json::parse(R"({"keep":[1,2]})"));
    EXPECT_EQ(settings["alpha"], true);
    std::string text = folder.read("settings.json");
    EXPECT_LT(text.find("\"alpha\""), text.find("\"sitesData\""));
    EXPECT_LT(text.find("\"sitesData\""), text.find("\"zeta\""));
}

// A "settings.json" the host cannot use is announced with every load that serves the default
// tree instead, naming the file it will be kept as; the keeping later uses that very name, even
// when the clock has moved on. A usable file, or none, loads without a notice.
TEST(BridgeSitesNotice, UnreadableSettingsAreAnnouncedUnderTheNameTheyWillBeKeptAs)
{
    TempFolder folder;
    const auto path = settingsPathIn(folder.path());
    int tick = 0;
    SitesStore store(
        path, { [&tick] { return "20261209T10000" + std::to_string(tick++) + "Z"; }, {} });
    SettingsSitesStorage storage { store };
    AppIdentity identity;
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    FakeWebView view;
    MessageBridge bridge { "kovrkit://app" };
    addAllCommands(bridge, { identity, dialogs, opener, storage });
    bridge.attachWebView(&view);
    const auto send = [&bridge](const std::string& text) {
        bridge.onWebMessage("kovrkit://app/index.html", text);
    };
    send(R"({"command":"ui_ready"})");
    const auto loadPayload = [&] {
        send(R"({"command":"getSitesData"})");
        return json::parse(view.posted.back())["payload"];
    };

    EXPECT_FALSE(loadPayload().contains("settingsNotice"));
    std::ofstream(path, std::ios::binary) << R"({"sitesData":{"name":"Plant","folders":[}})";
    const std::string kept = path.string() + ".unreadable-20261209T100000Z";
    const std::string notice = "The settings file " + path.string()
        + " could not be read; it will be kept as " + kept + " before anything replaces it";
    EXPECT_EQ(loadPayload()["settingsNotice"], notice);
    EXPECT_EQ(loadPayload()["settingsNotice"], notice);
    EXPECT_EQ(store.unusableSettingsKeptPath(), kept);

    send(
        R"({"command":"setSitesData","payload":{"sitesData":{"version":1,"rootId":"r","nodes":{"r":{"id":"r","type":"folder","name":"Plant","children":[]}}}}})");
    ASSERT_TRUE(json::parse(view.posted.back())["payload"]["success"].get<bool>());
    EXPECT_TRUE(std::filesystem::exists(kept));
    EXPECT_FALSE(loadPayload().contains("settingsNotice"));
    EXPECT_EQ(store.unusableSettingsKeptPath(), std::nullopt);
}

} // namespace
