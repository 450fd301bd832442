// g++ 12 reports a false maybe-uninitialized inside std::regex when built with the sanitizers.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

// DALI line set-up, line export and DALI device firmware as device jobs through the real host,
// kovru-cli and kovru-sim: the preview of a set-up is exactly what its apply then changes on
// the controllers (a comparison of backups before and after shows the same fields), an export
// of two controllers lands in a folder per controller, a .d2fw file reaches the controller,
// and bad input is reported in the device's row with nothing pushed.
#include "fakes/host_harness.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

using namespace kovrkit::testing;
using kovru::testing::run_cli;
using kovru::testing::SimProcess;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// Starts each job of STEPS after the previous one ended (finished or refused), then reports
// every message it received.
const char* kStepsPage = R"HTML(<!doctype html><html><body><script>
var webview = window.chrome.webview;
var steps = STEPS, step = 0, log = [];
webview.addEventListener('message', function (event) {
  log.push(event.data);
  var command = event.data.command;
  if (command !== 'jobFinished' && command !== 'jobRefused') return;
  step += 1;
  if (step < steps.length) webview.postMessage({ command: 'jobs_start', payload: steps[step] });
  else fetch('/report', { method: 'POST', body: JSON.stringify(log) });
});
webview.postMessage({ command: 'ui_ready' });
webview.postMessage({ command: 'jobs_start', payload: steps[0] });
</script></body></html>)HTML";

json runSteps(const HostFolder& host, const json& steps)
{
    return runPage(host, filledIn(kStepsPage, "STEPS", steps.dump()));
}

// The messages of each job in step order: jobRefused, or the device results and jobFinished.
std::vector<std::vector<json>> messagesPerStep(const json& log)
{
    std::vector<std::vector<json>> steps(1);
    for (const json& message : log) {
        if (message["command"] == "jobDeviceResult" || message["command"] == "jobRefused")
            steps.back().push_back(message["payload"]);
        if (message["command"] == "jobFinished" || message["command"] == "jobRefused")
            steps.emplace_back();
    }
    steps.pop_back();
    return steps;
}

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The channel and input-device items of every line, as a backup into folder holds them.
std::string backupLines(const std::string& address, const fs::path& folder)
{
    fs::create_directories(folder);
    auto run = run_cli({ "--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
        "--backupfileout=" + folder.string(),
        R"(--backupconfig=["dali1","dali2","dali3","dali4","cd1","cd2","cd3","cd4"])" });
    EXPECT_EQ(run.exit_status, 0) << run.out;
    for (const auto& entry : fs::directory_iterator(folder))
        return entry.path().string();
    return "";
}

// "Line L RECORD: FIELD: OLD -> NEW" of every changed field compare_backup shows.
std::multiset<std::string> comparedFields(const std::string& before, const std::string& after)
{
    auto run = run_cli(
        { "--action=compare_backup", "--backupfilein=" + before, "--comparewith=" + after });
    std::multiset<std::string> fields;
    std::istringstream lines(run.out);
    std::string line, record;
    const std::regex heading(R"(^(Line \d+ .*) changed:\r?$)");
    std::smatch match;
    while (std::getline(lines, line)) {
        if (std::regex_match(line, match, heading))
            record = match[1];
        else if (!line.empty() && line[0] == '\t' && !record.empty())
            fields.insert(record + ": " + line.substr(1, line.find_last_not_of('\r')));
        else
            record.clear();
    }
    return fields;
}

std::multiset<std::string> previewedFields(const json& result)
{
    std::multiset<std::string> fields;
    for (const json& change : result["data"]["changes"])
        fields.insert("Line " + std::to_string(change["line"].get<int>()) + " "
            + change["record"].get<std::string>() + ": " + change["field"].get<std::string>() + ": "
            + change["old"].get<std::string>() + " -> " + change["new"].get<std::string>());
    return fields;
}

// The set-up files: line 1's channel file with every exported row applied and device 0
// renamed, line 2's input file as exported, uncommented.
void writeSetupFiles(const std::string& address, const HostFolder& host)
{
    const std::string c1 = host.folder.file("csv/line1.csv");
    const std::string i2 = host.folder.file("csv/line2-inputs.csv");
    auto run = run_cli({ "--action=export_channel", "--ip=" + address, "--channel=[1,2]",
        "--channelcsvfile=[\"" + c1 + "\",\"\"]", "--channelinputscsvfile=[\"\",\"" + i2 + "\"]" });
    ASSERT_EQ(run.exit_status, 0) << run.out;
    for (const std::string& file : { c1, i2 }) {
        std::string text = readText(file);
        text = std::regex_replace(text, std::regex("\n#([12]),"), "\n$1,");
        text = std::regex_replace(text, std::regex("Line 1 luminaire 1"), "Hall 1");
        std::ofstream(file, std::ios::binary) << text;
    }
}

json device(const SimProcess& sim, size_t unit)
{
    return { { "ip", sim.address(unit) }, { "name", "Unit " + std::to_string(unit + 1) } };
}

} // namespace

TEST(HostLineJobs, PreviewThenApplyExportAndDeviceFirmwareAgainstTwoControllers)
{
    TempFolder state;
    SimProcess sim({ "model=VELDIR-4,firmware=2.2.4", "model=VELDIR-4,firmware=2.2.4" },
        { "--state", state.path().string() });
    ASSERT_TRUE(sim.ready());
    HostFolder host({ "csv", "exports" });
    writeSetupFiles(sim.address(0), host);
    const std::string before = backupLines(sim.address(0), host.folder.path() / "before");
    host.folder.write("csv/ballast.d2fw", std::string(4000, '\x5a'));
    host.folder.write(
        "csv/binary.csv", std::string("#dali-channel-csv-version: 1\n\0\x01\x02", 33));
    host.folder.write("csv/open-quote.csv", "#dali-channel-csv-version: 1\n1,0,0,\"Hall\n");
    host.folder.write("not-a-folder", "");

    const json both = json::array({ device(sim, 0), device(sim, 1) });
    const json lines = { { { "line", 1 }, { "channelFile", host.folder.file("csv/line1.csv") } },
        { { "line", 2 }, { "inputsFile", host.folder.file("csv/line2-inputs.csv") } } };
    auto setup = [&](const json& devices, const json& setupLines, bool dryRun) {
        json options = { { "lines", setupLines } };
        if (dryRun)
            options["dryRun"] = true;
        return json { { "action", "setupChannel" }, { "devices", devices }, { "concurrency", 2 },
            { "options", options } };
    };
    json steps = json::array({ setup(both, lines, true), setup(both, lines, false),
        { { "action", "exportChannel" }, { "devices", both },
            { "options",
                { { "lines", { 1, 2 } }, { "exportFolder", host.folder.file("exports") } } } },
        { { "action", "pushD2fw" }, { "devices", json::array({ device(sim, 1) }) },
            { "options", { { "firmwareFile", host.folder.file("csv/ballast.d2fw") } } } },
        setup(json::array({ device(sim, 0) }),
            { { { "line", 1 }, { "channelFile", host.folder.file("csv/binary.csv") } } }, false),
        setup(json::array({ device(sim, 0) }),
            { { { "line", 3 }, { "channelFile", host.folder.file("csv/open-quote.csv") } } },
            false),
        setup(json::array({ device(sim, 0) }),
            { { { "line", 7 }, { "channelFile", host.folder.file("csv/line1.csv") } } }, false),
        { { "action", "exportChannel" }, { "devices", json::array({ device(sim, 0) }) },
            { "options",
                { { "lines", { 1 } }, { "exportFolder", host.folder.file("not-a-folder") } } } } });
    const auto results = messagesPerStep(runSteps(host, steps));
    ASSERT_EQ(results.size(), steps.size());

    // The preview: the same fields on both controllers, every line pushable.
    ASSERT_EQ(results[0].size(), 2u);
    const auto previewed = previewedFields(results[0][0]);
    EXPECT_EQ(previewedFields(results[0][1]), previewed);
    EXPECT_TRUE(previewed.count(R"(Line 1 device 0: name: "Line 1 luminaire 1" -> "Hall 1")"));
    for (const json& result : results[0]) {
        EXPECT_EQ(result["success"], true) << result.dump();
        EXPECT_EQ(result["data"]["dryRun"], true);
        EXPECT_EQ(result["data"]["lines"],
            json::parse(
                R"([{"line":1,"done":true,"reason":""},{"line":2,"done":true,"reason":""}])"));
    }
    // Apply: what the controller then holds differs from before in exactly the previewed fields,
    // and nothing the later bad steps did changed it.
    for (const json& result : results[1])
        EXPECT_EQ(result["success"], true) << result.dump();
    const std::string after = backupLines(sim.address(0), host.folder.path() / "after");
    EXPECT_EQ(comparedFields(before, after), previewed);

    // Export: one folder per controller, named after it and its address.
    for (size_t unit = 0; unit < 2; ++unit) {
        std::string port = sim.address(unit).substr(sim.address(unit).find(':') + 1);
        fs::path folder = host.folder.path() / "exports"
            / ("Unit " + std::to_string(unit + 1) + " (127.0.0.1_" + port + ")");
        for (const char* file : { "line1-channel.csv", "line1-groups.csv", "line1-inputs.csv",
                 "line2-channel.csv", "line2-groups.csv", "line2-inputs.csv" })
            EXPECT_TRUE(fs::is_regular_file(folder / file)) << folder / file;
        EXPECT_NE(readText(folder / "line1-channel.csv").find("Hall 1"), std::string::npos);
    }
    EXPECT_EQ(results[2].size(), 2u);

    // The device firmware reached the second controller only.
    ASSERT_EQ(results[3].size(), 1u);
    EXPECT_EQ(results[3][0]["success"], true) << results[3][0].dump();
    size_t kept = 0;
    for (const auto& entry : fs::recursive_directory_iterator(state.path()))
        if (entry.path().filename() == "devicefirmware.bin") {
            ++kept;
            EXPECT_EQ(readText(entry.path()), std::string(4000, '\x5a'));
            EXPECT_NE(entry.path().string().find(sim.address(1).substr(10)), std::string::npos);
        }
    EXPECT_EQ(kept, 1u);

    // Bad input: the reason in the row.
    ASSERT_EQ(results[4].size(), 1u);
    EXPECT_EQ(results[4][0]["cause"], "refused-input");
    EXPECT_NE(results[4][0]["reason"].get<std::string>().find(
                  "Line 1: " + host.folder.file("csv/binary.csv")
                  + " cannot be read as a CSV file (not a text file: it holds a NUL byte)."),
        std::string::npos)
        << results[4][0].dump();
    ASSERT_EQ(results[5].size(), 1u);
    EXPECT_EQ(results[5][0]["success"], false);
    EXPECT_EQ(
        results[5][0]["reason"].get<std::string>().rfind(
            "Line 3: " + host.folder.file("csv/open-quote.csv") + " is not a readable CSV file", 0),
        0u)
        << results[5][0].dump();
    ASSERT_EQ(results[6].size(), 1u);
    EXPECT_EQ(results[6][0]["message"], "DALI lines are numbered 1 to 4: 7");
    ASSERT_EQ(results[7].size(), 1u);
    EXPECT_EQ(results[7][0]["cause"], "refused-input");
    EXPECT_EQ(results[7][0]["reason"].get<std::string>().rfind(
                  "The export folder cannot be written: " + host.folder.file("not-a-folder"), 0),
        0u)
        << results[7][0].dump();
    const std::string last = backupLines(sim.address(0), host.folder.path() / "last");
    EXPECT_EQ(comparedFields(after, last), std::multiset<std::string> {}) << "nothing pushed";
}
