// The DALI line jobs below the engine: what a start may ask (refused before anything runs),
// the tool's command line for each (file lists line by line, the slow-link options), the
// folder an export of one controller goes to, and the slow-link mark of a folder kept by the
// sites store's save and load.
#include "fakes/fake_temp_folder.h"
#include "host/jobs/job_request.h"
#include "host/jobs/line_tool_arguments.h"
#include "host/jobs/tool_device_runner.h"
#include "host/sites/sites_store.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;

namespace {

json start(const std::string& action, const json& options)
{
    return { { "action", action }, { "devices", { { { "ip", "10.0.0.1" } } } },
        { "options", options } };
}

std::string refusalOf(const json& payload)
{
    auto read = readJobStart(payload);
    const auto* refusal = std::get_if<std::string>(&read);
    return refusal ? *refusal : "";
}

} // namespace

TEST(LineJobs, StartsThatCannotRunAreRefused)
{
    const json channel = { { "line", 1 }, { "channelFile", "/c.csv" } };
    const std::vector<std::pair<json, std::string>> cases = {
        { start("setupChannel", json::object()), "Choose one to four DALI lines" },
        { start("setupChannel", { { "lines", json::array() } }), "Choose one to four DALI lines" },
        { start("setupChannel", { { "lines", { channel, channel, channel, channel, channel } } }),
            "Choose one to four DALI lines" },
        { start("setupChannel", { { "lines", { { { "line", 5 }, { "channelFile", "/c" } } } } }),
            "DALI lines are numbered 1 to 4: 5" },
        { start("setupChannel", { { "lines", { { { "line", "1" }, { "channelFile", "/c" } } } } }),
            "DALI lines are numbered 1 to 4: \"1\"" },
        { start("setupChannel", { { "lines", { channel, channel } } }),
            "DALI line listed twice: 1" },
        { start("setupChannel", { { "lines", { { { "line", 2 } } } } }),
            "No CSV file chosen for DALI line 2" },
        { start("setupChannel", { { "lines", { 2 } } }), "No CSV file chosen for DALI line 2" },
        { start("setupChannel", { { "lines", { { { "line", 2 }, { "groupsFile", "" } } } } }),
            "Job option must be a non-empty text: groupsFile" },
        { start("setupChannel", { { "lines", { channel } }, { "dryRun", "yes" } }),
            "Job option dryRun must be true or false" },
        { start("setupChannel", { { "lines", { channel } }, { "firmwareFile", "/f.d2fw" } }),
            "Unknown job option: firmwareFile" },
        { start("exportChannel", { { "lines", { 1 } }, { "dryRun", true } }),
            "Unknown job option: dryRun" },
        { start("exportChannel", { { "lines", { 0 } } }), "DALI lines are numbered 1 to 4: 0" },
        { start("pushD2fw", { { "lines", { 1 } } }), "Unknown job option: lines" },
    };
    for (const auto& [payload, message] : cases)
        EXPECT_EQ(refusalOf(payload), message) << payload.dump();
    EXPECT_EQ(refusalOf(start("exportChannel", { { "lines", { 4, { { "line", 2 } } } } })), "");
}

TEST(LineJobs, ToolCommandLinesNameEachLinesFilesInOrder)
{
    auto request = std::get<JobRequest>(readJobStart(start("setupChannel",
        { { "lines",
              { { { "line", 3 }, { "inputsFile", "/in \"3\".csv" } },
                  { { "line", 1 }, { "channelFile", "/c1.csv" }, { "groupsFile", "/g1.csv" } } } },
            { "dryRun", true } })));
    JobDevice device { "10.0.0.1", "Hall", true };
    EXPECT_EQ(jobRunArguments("/t", request, device, ""),
        (std::vector<std::string> { "/t", "--action=setup_channel", "--ip=10.0.0.1",
            "--channel=[3,1]", R"(--channelcsvfile=["","/c1.csv"])",
            R"(--channelgroupscsvfile=["","/g1.csv"])",
            R"(--channelinputscsvfile=["/in \"3\".csv",""])", "--dryrun", "--nowindow",
            "--eventsfd=3", "--tftpblocksize=1428", "--reuseconnection" }));

    request = std::get<JobRequest>(readJobStart(start("exportChannel", { { "lines", { 2 } } })));
    device.slowLink = false;
    EXPECT_EQ(jobRunArguments("/t", request, device, "/out/Hall (10.0.0.1)"),
        (std::vector<std::string> { "/t", "--action=export_channel", "--ip=10.0.0.1",
            "--channel=[2]", R"(--channelcsvfile=["/out/Hall (10.0.0.1)/line2-channel.csv"])",
            R"(--channelgroupscsvfile=["/out/Hall (10.0.0.1)/line2-groups.csv"])",
            R"(--channelinputscsvfile=["/out/Hall (10.0.0.1)/line2-inputs.csv"])", "--nowindow",
            "--eventsfd=3" }));

    // The other tool actions keep their command line; a slow link adds the same two options.
    request = std::get<JobRequest>(readJobStart(
        { { "action", "backup" }, { "devices", { { { "ip", "10.0.0.1" }, { "slowLink", true } } } },
            { "options", { { "backupFolder", "/b" } } } }));
    ASSERT_TRUE(request.devices[0].slowLink);
    auto backup = jobRunArguments("/t", request, request.devices[0], "");
    EXPECT_EQ(std::vector<std::string>(backup.end() - 2, backup.end()),
        (std::vector<std::string> { "--tftpblocksize=1428", "--reuseconnection" }));
    EXPECT_EQ(std::vector<std::string>(backup.begin(), backup.end() - 2),
        jobToolArguments("/t", JobAction::backup, "10.0.0.1", "/b"));
}

TEST(LineJobs, ExportFoldersAreNamedAfterTheControllerAndSafe)
{
    EXPECT_EQ(exportFolderName({ "10.0.0.7:6969", "Hall A", false }), "Hall A (10.0.0.7_6969)");
    EXPECT_EQ(exportFolderName({ "10.0.0.7", "", false }), "10.0.0.7");
    EXPECT_EQ(exportFolderName({ "10.0.0.7", "../a/b\\c*?\"<>|\x01", false }),
        "_a_b_c_______ (10.0.0.7)");
    EXPECT_EQ(exportFolderName({ "..", "", false }), "_");
    // Cut to 120 bytes, never inside a character: "x" and 59 of the 80 two-byte letters.
    std::string name = "x";
    for (int i = 0; i < 80; ++i)
        name += "\xC3\xA9";
    const std::string cut = exportFolderName({ "10.0.0.7", name, false });
    EXPECT_EQ(cut.size(), 119u);
    EXPECT_EQ(cut.substr(0, 3), "x\xC3\xA9");
    EXPECT_EQ(cut.substr(117), "\xC3\xA9");
}

TEST(LineJobs, TheSlowLinkMarkOfAFolderSurvivesSaveAndLoad)
{
    TempFolder folder;
    SitesStore store(folder.file("settings.json"));
    json document = json::parse(R"({"version":1,"rootId":"r","nodes":{
        "r":{"id":"r","type":"folder","name":"Sites","description":"","children":["s","t"]},
        "s":{"id":"s","type":"folder","name":"Depot","description":"VPN","children":["d"],"slowLink":true},
        "t":{"id":"t","type":"folder","name":"Office","description":"","children":[],"slowLink":false},
        "d":{"id":"d","type":"device","name":"Gate","description":"","ip":"10.0.0.1","username":"","password":""}}})");
    ASSERT_TRUE(store.saveSitesDocument(document).success);
    const std::string stored = folder.read("settings.json");
    // The stored folder keeps its members in their order; the mark comes after them.
    std::string compact = stored;
    std::erase_if(compact, [](char c) { return c == ' ' || c == '\n'; });
    EXPECT_NE(compact.find(R"("name":"Depot","slowLink":true})"), std::string::npos) << stored;
    EXPECT_EQ(stored.find("\"slowLink\": false"), std::string::npos) << "only a set mark is kept";
    json loaded = json::parse(store.loadSitesDocument());
    int marked = 0;
    for (const auto& [id, node] : loaded["nodes"].items()) {
        if (node.contains("slowLink")) {
            ++marked;
            EXPECT_EQ(node["name"], "Depot");
            EXPECT_EQ(node["slowLink"], true);
        }
    }
    EXPECT_EQ(marked, 1);
}
