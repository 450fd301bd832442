// Discovery without a network: the ranges a technician types, the targets they give, and
// how answers are held against the sites tree; the window's commands over closed loopback
// addresses.
#include "fakes/fake_temp_folder.h"
#include "host/discovery/address_ranges.h"
#include "host/discovery/discovery_report.h"
#include "host/discovery/discovery_service.h"
#include "host/discovery/discovery_sites.h"
#include "host/discovery/tree_comparison.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>

namespace kovrkit {
namespace {

uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d)
{
    return (a << 24) | (b << 16) | (c << 8) | d;
}

TEST(AddressRanges, ReadsEachFormWithAnOptionalPort)
{
    struct Case {
        const char* text;
        AddressRange range;
    };
    const Case cases[] = {
        { "192.168.1.0/24", { ip(192, 168, 1, 0), ip(192, 168, 1, 255), 80 } },
        { " 192.168.1.77/24:8080 ", { ip(192, 168, 1, 0), ip(192, 168, 1, 255), 8080 } },
        { "10.1.0.0/16", { ip(10, 1, 0, 0), ip(10, 1, 255, 255), 80 } },
        { "10.0.0.9/32", { ip(10, 0, 0, 9), ip(10, 0, 0, 9), 80 } },
        { "10.0.0.5-10.0.1.4", { ip(10, 0, 0, 5), ip(10, 0, 1, 4), 80 } },
        { "10.0.0.5 - 40:6969", { ip(10, 0, 0, 5), ip(10, 0, 0, 40), 6969 } },
        { "127.0.0.1:65535", { ip(127, 0, 0, 1), ip(127, 0, 0, 1), 65535 } },
        { "10.0.0.0-10.0.255.255", { ip(10, 0, 0, 0), ip(10, 0, 255, 255), 80 } },
    };
    for (const Case& c : cases) {
        RangeParse parse = parseAddressRange(c.text);
        ASSERT_TRUE(parse.ok) << c.text << ": " << parse.message;
        EXPECT_EQ(parse.ranges.front(), c.range) << c.text;
    }
}

TEST(AddressRanges, RefusesWithAMessageThatNamesTheText)
{
    const std::pair<const char*, const char*> cases[] = {
        { "10.0.0.0/15",
            "The range \"10.0.0.0/15\" holds 131,072 addresses; one range may hold "
            "at most 65,536 (a /16)" },
        { "10.0.0.0-10.1.0.0",
            "The range \"10.0.0.0-10.1.0.0\" holds 65,537 addresses; one "
            "range may hold at most 65,536 (a /16)" },
        { "10.0.0.300",
            "\"10.0.0.300\" is not an IPv4 address; only IPv4 addresses can be "
            "scanned" },
        { "fe80::1", "\"fe80::1\" is not an IPv4 address; only IPv4 addresses can be scanned" },
        { "[::1]:80", "\"[::1]:80\" is not an IPv4 address; only IPv4 addresses can be scanned" },
        { "10.0.0.1-256",
            "\"10.0.0.1-256\" is not an IPv4 address; only IPv4 addresses can be "
            "scanned" },
        { "10.0.0.9-10.0.0.2", "The range \"10.0.0.9-10.0.0.2\" ends before it starts" },
        { "10.0.0.1:0", "\"10.0.0.1:0\" has no valid port (1 to 65535)" },
        { "10.0.0.1:http", "\"10.0.0.1:http\" has no valid port (1 to 65535)" },
    };
    for (const auto& [text, message] : cases) {
        RangeParse parse = parseAddressRange(text);
        EXPECT_FALSE(parse.ok) << text;
        EXPECT_EQ(parse.message, message);
    }
    for (const char* text : { "controller.local", "10.0.0", "10.0.0.1.2", "10.0.0.0/33",
             "10.0.0.0/", "10.0.0.0/24-30", "10..0.1", "-", "10.0.0.1-", "+10.0.0.1" }) {
        RangeParse parse = parseAddressRange(text);
        EXPECT_FALSE(parse.ok) << text;
        EXPECT_EQ(parse.message,
            "Cannot read \"" + std::string(text)
                + "\" as an address range (use 192.168.1.0/24, 192.168.1.10-192.168.1.50 or "
                  "192.168.1.7, each with an optional :port)");
    }
}

TEST(AddressRanges, OneBadRangeRefusesTheWholeListAndTargetsComeInAddressOrderOnce)
{
    RangeParse bad = parseAddressRanges({ "10.0.0.0/24", "10.0.0.1, 300.0.0.1" });
    EXPECT_FALSE(bad.ok);
    EXPECT_TRUE(bad.ranges.empty());
    EXPECT_FALSE(parseAddressRanges({ " , " }).ok);
    RangeParse tooMany
        = parseAddressRanges({ "10.0.0.0/16 10.1.0.0/16 10.2.0.0/16 10.3.0.0/16", "10.4.0.0/32" });
    EXPECT_FALSE(tooMany.ok);
    EXPECT_EQ(
        tooMany.message, "The ranges hold 262,145 addresses; one scan may ask at most 262,144");

    RangeParse parse = parseAddressRanges({ "10.0.0.9,10.0.0.4-6", "10.0.0.5 10.0.0.5:8080" });
    ASSERT_TRUE(parse.ok) << parse.message;
    std::vector<std::string> texts;
    for (const ScanTarget& target : scanTargets(parse.ranges))
        texts.push_back(targetText(target));
    EXPECT_EQ(texts,
        (std::vector<std::string> {
            "10.0.0.4", "10.0.0.5", "10.0.0.5:8080", "10.0.0.6", "10.0.0.9" }));
    EXPECT_TRUE(rangesHold(parse.ranges, ip(10, 0, 0, 5), 8080));
    EXPECT_FALSE(rangesHold(parse.ranges, ip(10, 0, 0, 6), 8080));
    EXPECT_FALSE(rangesHold(parse.ranges, ip(10, 0, 0, 7), 80));
}

ProbeResult answered(uint32_t address, const std::string& serial)
{
    return { { address, 80 }, ProbeOutcome::found, { "VELDIR-2", "1.5.0", serial, "00:1E" } };
}

TEST(TreeComparison, TellsNewKnownMovedAndMissingApart)
{
    const uint32_t net = ip(10, 0, 0, 0);
    std::vector<AddressRange> ranges { { net, net + 255, 80 } };
    std::vector<TreeDevice> tree {
        { "Hall", "North/A", "10.0.0.2" }, // answers with its recorded serial: known
        { "Roof", "North", "10.0.0.3" }, // no serial recorded, answers: known
        { "Cellar", "", "10.0.0.4" }, // its serial answers at .20: moved
        { "Gate", "", "10.0.0.5" }, // silent: missing
        { "Yard", "", "10.0.0.6" }, // another controller answers here: missing, that one new
        { "Far", "", "10.0.1.6" }, // outside the ranges: neither
        { "Named", "", "ctrl.local" }, // a host name: never inside
    };
    SerialRecord serials { { "10.0.0.2", "S2" }, { "10.0.0.4", "S4" }, { "10.0.0.6", "S6" },
        { "10.0.1.6", "S9" } };
    std::vector<ProbeResult> results { answered(net + 2, "S2"), answered(net + 3, "S3"),
        { { net + 5, 80 }, ProbeOutcome::silent, {} }, answered(net + 6, "S7"),
        { { net + 7, 80 }, ProbeOutcome::other, {} }, answered(net + 20, "S4"),
        answered(net + 30, "S30") };

    std::vector<DiscoveryRow> rows = compareWithTree(results, ranges, tree, serials);
    std::vector<std::string> seen;
    for (const DiscoveryRow& row : rows) {
        seen.push_back(std::string(discoveryStateName(row.state)) + " " + row.address + " "
            + row.deviceName + " " + row.treeAddress);
    }
    EXPECT_EQ(seen,
        (std::vector<std::string> { "known 10.0.0.2 Hall ", "known 10.0.0.3 Roof ",
            "missing 10.0.0.5 Gate ", "new 10.0.0.6  ", "missing 10.0.0.6 Yard ",
            "moved 10.0.0.20 Cellar 10.0.0.4", "new 10.0.0.30  " }));

    std::string table = discoveryTable(rows, { 256, true });
    EXPECT_NE(table.find("moved    10.0.0.20  VELDIR-2  1.5.0     S4      00:1E  Cellar (tree: "
                         "10.0.0.4)\n"),
        std::string::npos)
        << table;
    EXPECT_NE(table.find("North/A/Hall"), std::string::npos);
    EXPECT_EQ(discoverySummaryLine(rows, { 256, true }),
        "Scanned 256 addresses: 5 controllers (2 new, 2 known, 1 moved), 2 missing");
    nlohmann::json json = discoveryJson(rows, { 256, true });
    EXPECT_EQ(json["rows"][5]["treeAddress"], "10.0.0.4");
    EXPECT_EQ(json["rows"][0]["folder"], "North/A");
}

// Runs each task at once on the posting thread and keeps every message.
class Recorder final : public MainLoopPoster, public UiReplySink {
public:
    bool post(Task task) override
    {
        task();
        return true;
    }
    void sendToUi(std::string text) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.push_back(nlohmann::json::parse(text));
        changed_.notify_all();
    }
    // The payload of the first message of that name, waiting up to a minute for it.
    nlohmann::json waitFor(const std::string& command)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        nlohmann::json found;
        changed_.wait_for(lock, std::chrono::minutes(1), [&] {
            for (const auto& message : sent_) {
                if (message["command"] == command) {
                    found = message["payload"];
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    void clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<nlohmann::json> sent_;
};

TEST(DiscoveryService, RefusesBadInputScansTheRangeAndRecordsSerialsBesideTheTree)
{
    kovrkit::testing::TempFolder folder;
    const std::string settings = folder.file("settings.json");
    // Port 9 of a loopback /30 nobody serves: every address is closed.
    std::ofstream(settings) << R"({"jobConcurrency":3,"sitesData":{"name":"Sites","devices":[)"
                               R"({"name":"Gate","ip":"127.77.66.2:9"}]}})";
    SitesStore store(settings);
    Recorder recorder;
    CommandTable commands;
    {
        DiscoveryService service(recorder, recorder, store);
        commands = discoveryCommands(service);
        auto run = [&](const std::string& name, const nlohmann::json& payload) {
            for (const Command& command : commands) {
                if (command.name == name)
                    command.run(payload);
            }
        };
        run("discovery_start", { { "ranges", "127.77.66.0/15" } });
        EXPECT_EQ(recorder.waitFor("discoveryRefused")["message"],
            "The range \"127.77.66.0/15\" holds 131,072 addresses; one range may hold at most "
            "65,536 (a /16)");
        recorder.clear();
        run("discovery_start", { { "ranges", "127.77.66.0/30:9" }, { "timeoutMs", 0 } });
        EXPECT_EQ(recorder.waitFor("discoveryRefused")["message"], kDiscoveryTimeoutMessage);
        recorder.clear();

        run("discovery_start", { { "ranges", "127.77.66.0/30:9" }, { "timeoutMs", 500 } });
        EXPECT_EQ(recorder.waitFor("discoveryStarted")["total"], 4);
        nlohmann::json finished = recorder.waitFor("discoveryFinished");
        EXPECT_EQ(finished["success"], true);
        EXPECT_EQ(finished["message"],
            "Scanned 4 addresses: 0 controllers (0 new, 0 known, 0 moved), 1 missing");
        ASSERT_EQ(finished["rows"].size(), 1u);
        EXPECT_EQ(finished["rows"][0]["state"], "missing");
        EXPECT_EQ(finished["rows"][0]["address"], "127.77.66.2:9");
        EXPECT_EQ(finished["rows"][0]["device"], "Gate");
        EXPECT_EQ(recorder.waitFor("discoveryProgress")["total"], 4);

        run("discovery_recordSerials",
            { { "serials", { { " 127.77.66.2:9 ", "SN2" }, { "10.0.0.1:80", "SN1" } } } });
        EXPECT_EQ(recorder.waitFor("discoverySerialsRecorded")["saved"], true);
        recorder.clear();
        run("discovery_recordSerials", { { "serials", { { "10.0.0.1", "" } } } });
        EXPECT_EQ(recorder.waitFor("discoverySerialsRecorded")["saved"], true);
    }
    std::optional<nlohmann::json> stored = store.readSettings();
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["controllerSerials"], nlohmann::json({ { "127.77.66.2:9", "SN2" } }));
    EXPECT_EQ((*stored)["jobConcurrency"], 3);
    DiscoverySites sites = readDiscoverySites(store);
    ASSERT_TRUE(sites.readable);
    ASSERT_EQ(sites.devices.size(), 1u);
    EXPECT_EQ(sites.devices[0].address, "127.77.66.2:9");
}

} // namespace
} // namespace kovrkit
