#include "fakes/fake_bridge_commands.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_host_services.h"
#include "fakes/fake_web_view.h"
#include "host/bridge/message_bridge.h"
#include "host/bridge/outgoing_messages.h"

#include <gtest/gtest.h>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;

namespace {

const char* kOrigin = "kovrkit://app";

AppIdentity testIdentity()
{
    return AppIdentity { { { "ProductName", "Product \"P\"" }, { "WindowTitle", "Title" },
                             { "LegalCopyright", "(c) Maker" },
                             { "Website", "https://maker.example" } },
        "2.0.2.0" };
}

class BridgeTest : public ::testing::Test {
protected:
    BridgeTest()
    {
        addAllCommands(bridge, { identity, dialogs, opener, sites, &actions, &legacy });
        bridge.beginWebViewCreation();
        bridge.attachWebView(&view);
    }

    void send(const std::string& message, const std::string& source = "kovrkit://app/index.html")
    {
        bridge.onWebMessage(source, message);
    }

    AppIdentity identity = testIdentity();
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    FakeSitesStorage sites;
    FakeDeviceActions actions;
    FakeWebView view;
    LegacyFlow* legacy = nullptr;
    MessageBridge bridge { kOrigin };
};

TEST_F(BridgeTest, AcceptsOnlyPagesOfTheExpectedOrigin)
{
    const std::string getSites = R"({"command":"getSitesData"})";
    send(getSites, "kovrkit://app");
    send(getSites, "kovrkit://app/sub/page.html?x=1");
    send(getSites, "kovrkit://app#top");
    EXPECT_EQ(view.posted.size(), 3u);

    for (const char* foreign :
        { "kovrkit://app.other/index.html", "kovrkit://apps/", "https://app/index.html",
            "http://localhost:5173/", "KOVRKIT://app/", "", "kovrkit:/" }) {
        send(getSites, foreign);
    }
    EXPECT_EQ(view.posted.size(), 3u);
}

TEST(BridgeOrigin, DevelopmentOriginRefusesOtherPortsAndHosts)
{
    AppIdentity identity = testIdentity();
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    FakeSitesStorage sites;
    FakeWebView view;
    MessageBridge bridge("http://localhost:5173");
    addAllCommands(bridge, { identity, dialogs, opener, sites });
    bridge.attachWebView(&view);
    const std::string getSites = R"({"command":"getSitesData"})";
    bridge.onWebMessage("http://localhost:5173/", getSites);
    bridge.onWebMessage("http://localhost:51730/", getSites);
    bridge.onWebMessage("http://localhost:5173.example.com/", getSites);
    bridge.onWebMessage("https://localhost:5173/", getSites);
    bridge.onWebMessage("kovrkit://app/index.html", getSites);
    EXPECT_EQ(view.posted.size(), 1u);
}

TEST_F(BridgeTest, IgnoresMalformedMessagesWithoutReply)
{
    for (const char* malformed : { "", "not json", "{\"command\":", "[]", "\"getSitesData\"", "42",
             "null", R"({"payload":{}})", R"({"command":42})", R"({"command":null})",
             R"({"command":["getSitesData"]})", R"({"command":"getSitesData"} trailing)",
             "{\"command\":\"getSitesData\" /* c */}" }) {
        send(malformed);
    }
    EXPECT_TRUE(view.posted.empty());
    EXPECT_FALSE(bridge.uiReady());
}

TEST_F(BridgeTest, UnknownCommandGetsNoReplyButMarksTheUiReady)
{
    bridge.sendToUi(nativeActionResultMessage("native_actionBackup", false, -1, "queued", "", ""));
    EXPECT_TRUE(view.posted.empty());
    send(R"({"command":"UI_READY"})");
    EXPECT_TRUE(bridge.uiReady());
    ASSERT_EQ(view.commands(), std::vector<std::string>({ "nativeActionResult" }));
}

TEST_F(BridgeTest, QueuesRepliesUntilTheUiSpeaksAndFlushesThemInOrder)
{
    bridge.sendToUi(nativeActionResultMessage("a", true, 0, "first", "", ""));
    bridge.sendToUi(nativeActionBatchSummaryMessage("a", 1, 1, 0));
    EXPECT_EQ(bridge.pendingCount(), 2u);
    EXPECT_TRUE(view.posted.empty());

    send(R"({"command":"ui_ready"})");
    EXPECT_EQ(view.commands(),
        std::vector<std::string>({ "nativeActionResult", "nativeActionBatchSummary" }));
    EXPECT_EQ(view.payloadAt(0).at("message"), "first");

    bridge.sendToUi(nativeActionResultMessage("a", true, 0, "later", "", ""));
    EXPECT_EQ(view.posted.size(), 3u);
}

TEST_F(BridgeTest, FirstCommandFlushesTheQueueBeforeItsOwnReply)
{
    bridge.sendToUi(nativeActionResultMessage("a", true, 0, "queued", "", ""));
    send(R"({"command":"getSitesData"})");
    EXPECT_EQ(
        view.commands(), std::vector<std::string>({ "nativeActionResult", "sitesDataLoaded" }));
}

TEST_F(BridgeTest, MessagesBeforeTheWebViewExistsAreDroppedAndCreationResetsTheQueue)
{
    MessageBridge early(kOrigin);
    early.sendToUi(nativeActionResultMessage("a", true, 0, "lost", "", ""));
    EXPECT_EQ(early.pendingCount(), 0u);

    bridge.sendToUi(nativeActionResultMessage("a", true, 0, "stale", "", ""));
    bridge.beginWebViewCreation();
    EXPECT_EQ(bridge.pendingCount(), 0u);
    send(R"({"command":"ui_ready"})");
    EXPECT_TRUE(view.posted.empty());
}

TEST_F(BridgeTest, AppInfoCarriesTheIdentityThenTheLegacyStatus)
{
    struct RecordingLegacy final : LegacyFlow {
        explicit RecordingLegacy(UiReplySink& sink)
            : sink(sink)
        {
        }
        void statusCheck() override
        {
            sink.sendToUi(R"({"command":"legacyMigrationStatus","payload":{}})");
        }
        void migrate() override { }
        void uninstall() override { }
        UiReplySink& sink;
    } recording(bridge);
    legacy = &recording;

    send(R"({"command":"getAppInfo","payload":[1,2]})");
    ASSERT_EQ(
        view.commands(), std::vector<std::string>({ "appInfoLoaded", "legacyMigrationStatus" }));
    EXPECT_EQ(view.posted[0],
        R"({"command":"appInfoLoaded","payload":{"version":"2.0.2.0","productName":"Product \"P\"",)"
        R"("windowTitle":"Title","copyright":"(c) Maker","website":"https://maker.example"}})");
}

TEST_F(BridgeTest, AppInfoFallsBackToTheProductNameAndAnUnknownVersion)
{
    identity.strings.erase("WindowTitle");
    identity.fileVersion.clear();
    send(R"({"command":"getAppInfo"})");
    json payload = view.payloadAt(0);
    EXPECT_EQ(payload.at("windowTitle"), "Product \"P\"");
    EXPECT_EQ(payload.at("version"), "0.0.0.0");
}

TEST_F(BridgeTest, SetSitesDataNeedsAnObjectAndRepliesWithTheFixedTexts)
{
    send(R"({"command":"setSitesData","payload":{"sitesData":"{\"rootId\":\"root\"}"}})");
    send(R"({"command":"setSitesData","payload":{}})");
    send(R"({"command":"setSitesData"})");
    EXPECT_TRUE(sites.saved.empty());
    send(
        R"({"command":"setSitesData","payload":{"sitesData":{"version":1,"rootId":"r","nodes":{}}}})");
    ASSERT_EQ(sites.saved.size(), 1u);
    EXPECT_EQ(sites.saved[0], R"({"nodes":{},"rootId":"r","version":1})");

    const std::string failure
        = R"({"command":"sitesDataSaved","payload":{"success":false,"message":"Invalid or unsaved sites data"}})";
    ASSERT_EQ(view.posted.size(), 4u);
    EXPECT_EQ(view.posted[0], failure);
    EXPECT_EQ(view.posted[2], failure);
    EXPECT_EQ(view.posted[3], R"({"command":"sitesDataSaved","payload":{"success":true}})");

    sites.acceptsSaves = false;
    send(R"({"command":"setSitesData","payload":{"sitesData":{}}})");
    EXPECT_EQ(view.posted.back(), failure);
}

TEST_F(BridgeTest, GetSitesDataInsertsTheDocumentVerbatim)
{
    sites.document = R"({"nodes":{"root":{"name":"ä \"x\""}},"rootId":"root","version":1})";
    send(R"({"command":"getSitesData"})");
    EXPECT_EQ(view.posted[0],
        std::string(R"({"command":"sitesDataLoaded","payload":{"sitesData":)") + sites.document
            + "}}");
}

TEST_F(BridgeTest, MistypedPayloadStringsReadAsEmpty)
{
    send(R"({"command":"sites_exportCsv","payload":{"csvContent":7}})");
    send(R"({"command":"openExternalUrl","payload":{"url":{"href":"https://x"}}})");
    EXPECT_TRUE(dialogs.asked.empty());
    EXPECT_TRUE(opener.opened.empty());
    EXPECT_EQ(view.posted[0],
        R"({"command":"sitesCsvExported","payload":{"success":false,"message":"No CSV content to export","path":""}})");
    EXPECT_EQ(view.posted[1],
        R"({"command":"openExternalUrlResult","payload":{"success":false,"message":"Missing URL"}})");
}

TEST_F(BridgeTest, RoutesDeviceCommandsByTheirAddressList)
{
    send(R"({"command":"native_actionBackup","payload":{"ipsCsv":" , ,\t,"}})");
    EXPECT_TRUE(actions.calls.empty());
    ASSERT_EQ(view.posted.size(), 1u);
    EXPECT_EQ(view.posted[0],
        R"({"command":"nativeActionResult","payload":{"action":"native_actionBackup",)"
        R"("success":false,"exitCode":-1,"message":"Missing device IP","deviceIp":""}})");

    send(R"({"command":"native_actionBackup","payload":{"ipsCsv":" 10.0.0.1 ,","ip":"ignored"}})");
    send(R"({"command":"native_actionRestore","payload":{"ipsCsv":"10.0.0.1,10.0.0.1"}})");
    send(R"({"command":"native_actionFirmwareUpgrade","payload":{"ipsCsv":"a, ,b,","ip":"c"}})");
    send(R"({"command":"native_actionBackup","payload":{"ipsCsv":7,"ip":" 10.0.0.9 "}})");
    send(R"({"command":"native_actionRestore","payload":{}})");
    send(R"({"command":"native_actionGetStatus","payload":{"ip":""}})");
    send(R"({"command":"native_actionGetStatus","payload":{"ipsCsv":"x"}})");
    send(R"({"command":"native_actionGetStatus","payload":{"ipsCsv":"x,x"}})");
    EXPECT_EQ(actions.calls,
        std::vector<std::string>({
            "single native_actionBackup [10.0.0.1]",
            "batch native_actionRestore [10.0.0.1][10.0.0.1]",
            "batch native_actionFirmwareUpgrade [a][b]",
            "single native_actionBackup [ 10.0.0.9 ]",
            "single native_actionRestore []",
            "status []",
            "status [x]",
            "status summary [x][x]",
        }));
}

TEST_F(BridgeTest, ActionResultsCarryDataOnlyWhenThereIsSome)
{
    send(R"({"command":"ui_ready"})");
    bridge.sendToUi(
        nativeActionResultMessage("native_actionGetStatus", true, 0, "ok", "1.2.3.4", ""));
    bridge.sendToUi(
        nativeActionResultMessage("native_actionGetStatus", true, 0, "ok", "1.2.3.4", "{}"));
    EXPECT_EQ(view.posted[0],
        R"({"command":"nativeActionResult","payload":{"action":"native_actionGetStatus",)"
        R"("success":true,"exitCode":0,"message":"ok","deviceIp":"1.2.3.4"}})");
    EXPECT_EQ(view.posted[1],
        R"({"command":"nativeActionResult","payload":{"action":"native_actionGetStatus",)"
        R"("success":true,"exitCode":0,"message":"ok","deviceIp":"1.2.3.4","data":{}}})");
}

TEST_F(BridgeTest, TextsWithQuotesBackslashesAndControlsArriveIntact)
{
    send(R"({"command":"ui_ready"})");
    const std::string tricky = "say \"hi\"\\ now\nline\r\ttab\x01\x1f end";
    bridge.sendToUi(nativeActionResultMessage("a", false, 2147483647, tricky, "ä/ü", ""));
    bridge.sendToUi(nativeActionBatchSummaryMessage("a", -2147483647 - 1, 0, 0));
    json result = json::parse(view.posted[0]);
    EXPECT_EQ(result["payload"]["message"], tricky);
    EXPECT_EQ(result["payload"]["deviceIp"], "ä/ü");
    EXPECT_EQ(result["payload"]["exitCode"], 2147483647);
    EXPECT_EQ(json::parse(view.posted[1])["payload"]["total"], -2147483647 - 1);
}

TEST_F(BridgeTest, WorkerResultsBecomeUiMessages)
{
    send(R"({"command":"ui_ready"})");
    bridge.sendToUi(
        nativeActionResultMessage("native_actionGetStatus", false, -1, "m", "1.1.1.1", ""));
    bridge.sendToUi(nativeActionBatchSummaryMessage("native_actionGetStatus", 2, 1, 1));
    EXPECT_EQ(view.commands(),
        std::vector<std::string>({ "nativeActionResult", "nativeActionBatchSummary" }));
    EXPECT_EQ(view.posted[1],
        R"({"command":"nativeActionBatchSummary","payload":{"action":"native_actionGetStatus",)"
        R"("total":2,"succeeded":1,"failed":1}})");
}

} // namespace

namespace {

TEST(LegacyMessages, FieldsInOrderAndTheFixedTexts)
{
    LegacyMigrationStatus status;
    status.legacyDetected = true;
    status.legacyInstallDetected = true;
    status.canLaunchLegacyUninstall = true;
    status.legacyDataPath = "C:\\Users\\tech\\AppData";
    status.legacyDisplayName = "VELDIR Tool";
    EXPECT_EQ(legacyMigrationStatusMessage(status),
        R"({"command":"legacyMigrationStatus","payload":{"legacyDetected":true,"legacyDataDetected":false,)"
        R"("legacyInstallDetected":true,"migrationCompleted":false,"migrationDeclined":false,"migrationNeeded":false,)"
        R"("suppressUiPrompt":false,"canLaunchLegacyUninstall":true,"legacyDataPath":"C:\\Users\\tech\\AppData",)"
        R"("legacyDisplayName":"VELDIR Tool"}})");
    EXPECT_EQ(legacyMigrationFailedMessage("No \"data\""),
        R"({"command":"legacyMigrationResult","payload":{"success":false,"migrated":false,"message":"No \"data\""}})");
    EXPECT_EQ(legacyMigrationIncompatibleMessage(),
        R"({"command":"legacyMigrationResult","payload":{"success":false,"migrated":false,)"
        R"("message":"Migrated data was not compatible with the current format"}})");
    EXPECT_EQ(legacyMigrationMarkerUnsavedMessage(),
        R"({"command":"legacyMigrationResult","payload":{"success":false,"migrated":true,)"
        R"("message":"Data imported but migration marker could not be saved"}})");
    EXPECT_EQ(legacyMigrationSucceededMessage(false),
        R"({"command":"legacyMigrationResult","payload":{"success":true,"migrated":true,)"
        R"("canLaunchLegacyUninstall":false,"message":"Legacy data migrated successfully"}})");
    EXPECT_EQ(legacyUninstallLaunchResultMessage(true, "Legacy uninstaller launched"),
        R"({"command":"legacyUninstallLaunchResult","payload":{"success":true,"message":"Legacy uninstaller launched"}})");
}

} // namespace
