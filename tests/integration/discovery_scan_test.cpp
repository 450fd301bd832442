// kovru-fleet discover against kovru-sim controllers on their own loopback addresses: a /24
// with live, silent and closed addresses, a tree that knows some of them, and a controller
// restarted at another address with the same serial number. The simulators count the
// connections they accepted, so a request outside the range would show.
#include "fakes/fake_temp_folder.h"
#include "fakes/sim_process.h"
#include "host/discovery/discover_command.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <sstream>

namespace kovrkit {
namespace {

using kovru::testing::SimProcess;
using nlohmann::json;

struct CommandRun {
    int status = -1;
    std::string out;
    std::string err;
};

// kovru-fleet discover, the program itself.
CommandRun discover(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "discover");
    kovru::testing::ProgramRun run = kovru::testing::run_program(
        kovru::testing::built_program("host/app/kovru-fleet"), arguments);
    return { run.exit_status, run.out, run.err };
}

// Connections accepted per "ip:port", from the --served lines.
std::map<std::string, int> servedConnections(const std::string& text)
{
    std::map<std::string, int> connections;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::string ip;
        int port = 0;
        int count = 0;
        char address[64] = {};
        if (std::sscanf(
                line.c_str(), "served ip=%63s port=%d connections=%d", address, &port, &count)
            == 3) {
            ip = address;
            connections[ip + ":" + std::to_string(port)] = count;
        }
    }
    return connections;
}

class DiscoveryScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        // A subnet and port of our own, so that parallel tests never share an address.
        for (int attempt = 0; attempt < 20 && !(site_ && site_->ready()); ++attempt) {
            net_ = "127." + std::to_string(1 + random() % 250) + "."
                + std::to_string(1 + random() % 250) + ".";
            port_ = 20000 + static_cast<int>(random() % 30000);
            site_ = std::make_unique<SimProcess>(
                siteControllers(), std::vector<std::string> { "--served" });
        }
        ASSERT_TRUE(site_->ready());
    }

    std::string at(int host, int port = 0) const
    {
        return "ip=" + net_ + std::to_string(host) + ",port=" + std::to_string(port ? port : port_);
    }
    std::string address(int host) const
    {
        return net_ + std::to_string(host) + ":" + std::to_string(port_);
    }
    std::string outsideNet() const
    {
        int third = std::stoi(net_.substr(net_.find('.', 4) + 1));
        return net_.substr(0, net_.find('.', 4) + 1) + std::to_string(third + 1) + ".";
    }

    std::vector<std::string> siteControllers() const
    {
        std::vector<std::string> controllers;
        for (int host : { 10, 11, 13, 14 })
            controllers.push_back(at(host) + ",serial=SN" + std::to_string(host)
                + ",mac=00:1E:C0:00:00:" + std::to_string(host) + ",model=VELDIR-3");
        for (int host : { 20, 21 })
            controllers.push_back(
                at(host) + ",serial=SN" + std::to_string(host) + ",http_silent=1");
        // Just outside: the next /24 and the same address on the next port.
        controllers.push_back(
            "ip=" + outsideNet() + "10,port=" + std::to_string(port_) + ",serial=OUT1");
        controllers.push_back(at(10, port_ + 1) + ",serial=OUT2");
        controllers.push_back(at(0, port_ + 1) + ",serial=OUT3");
        return controllers;
    }

    void writeTree(const std::string& path) const
    {
        auto device = [&](const char* name, int host) {
            return json { { "name", name }, { "ip", address(host) } };
        };
        json settings {
            { "sitesData",
                { { "name", "Sites" },
                    { "folders",
                        json::array({ { { "name", "Campus" },
                            { "devices",
                                json::array(
                                    { device("Hall", 10), device("Roof", 11), device("Cellar", 12),
                                        device("Gate", 20), device("Yard", 40) }) } } }) },
                    { "devices",
                        json::array({ { { "name", "Elsewhere" },
                            { "ip", outsideNet() + "10:" + std::to_string(port_) } } }) } } },
            { "controllerSerials",
                { { address(10), "SN10" }, { address(12), "SN12" }, { address(20), "SN20" } } }
        };
        std::ofstream(path) << settings.dump(2);
    }

    std::string net_;
    int port_ = 0;
    std::unique_ptr<SimProcess> site_;
};

TEST_F(DiscoveryScan, TellsNewKnownMovedAndMissingAndAsksNothingOutsideTheRange)
{
    kovrkit::testing::TempFolder folder;
    const std::string sites = folder.file("settings.json");
    writeTree(sites);
    const std::string range = net_ + "0/24:" + std::to_string(port_);

    // Refused input scans nothing.
    for (const char* bad : { "/15", "/24:0", "/24x" }) {
        CommandRun refused = discover({ net_ + "0" + bad, "--sites", sites });
        EXPECT_EQ(refused.status, 2) << bad;
        EXPECT_EQ(refused.out, "");
        EXPECT_NE(refused.err.find("kovru-fleet discover: "), std::string::npos) << refused.err;
    }

    auto mover = std::make_unique<SimProcess>(
        std::vector<std::string> { at(12) + ",serial=SN12,model=VELDIR-1" },
        std::vector<std::string> { "--served" });
    ASSERT_TRUE(mover->ready());
    CommandRun first = discover({ range, "--timeout", "300", "--sites", sites });
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_NE(first.out.find("known    " + address(10)), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("known    " + address(12)), std::string::npos) << first.out;
    EXPECT_NE(first.out.find(
                  "Scanned 256 addresses: 5 controllers (2 new, 3 known, 0 moved), 2 missing\n"),
        std::string::npos)
        << first.out;
    std::map<std::string, int> moverServed = servedConnections(mover->stop_with_output());
    EXPECT_EQ(moverServed[address(12)], 1);

    // The same controller comes back at another address of the range.
    mover = std::make_unique<SimProcess>(
        std::vector<std::string> { at(77) + ",serial=SN12,model=VELDIR-1" },
        std::vector<std::string> { "--served" });
    ASSERT_TRUE(mover->ready());
    CommandRun second = discover({ range, "--json", "--timeout=300", "--sites=" + sites });
    ASSERT_EQ(second.status, 0) << second.err;
    json document = json::parse(second.out, nullptr, false);
    ASSERT_FALSE(document.is_discarded()) << second.out;
    EXPECT_EQ(document["scanned"], 256);
    EXPECT_EQ(document["tree"], true);
    std::vector<std::string> seen;
    for (const json& row : document["rows"])
        seen.push_back(row["state"].get<std::string>() + " " + row["address"].get<std::string>()
            + " " + row["serial"].get<std::string>() + " " + row["device"].get<std::string>() + " "
            + row["treeAddress"].get<std::string>());
    EXPECT_EQ(seen,
        (std::vector<std::string> { "known " + address(10) + " SN10 Hall ",
            "known " + address(11) + " SN11 Roof ", "new " + address(13) + " SN13  ",
            "new " + address(14) + " SN14  ", "missing " + address(20) + "  Gate ",
            "missing " + address(40) + "  Yard ",
            "moved " + address(77) + " SN12 Cellar " + address(12) }));
    EXPECT_EQ(document["rows"][0]["model"], "VELDIR-3");
    EXPECT_EQ(document["rows"][0]["mac"], "00:1E:C0:00:00:10");
    EXPECT_EQ(document["rows"][0]["folder"], "Campus");
    EXPECT_EQ(servedConnections(mover->stop_with_output())[address(77)], 1);

    // One request per address and scan inside the range, none outside it.
    std::map<std::string, int> served = servedConnections(site_->stop_with_output());
    ASSERT_EQ(served.size(), 9u);
    for (int host : { 10, 11, 13, 14, 20, 21 })
        EXPECT_EQ(served[address(host)], 2) << host;
    EXPECT_EQ(served[outsideNet() + "10:" + std::to_string(port_)], 0);
    EXPECT_EQ(served[net_ + "10:" + std::to_string(port_ + 1)], 0);
    EXPECT_EQ(served[net_ + "0:" + std::to_string(port_ + 1)], 0);
}

TEST_F(DiscoveryScan, WithoutATreeEveryControllerIsNewAndHelpNamesTheOptions)
{
    CommandRun run = discover(
        { net_ + "10-14:" + std::to_string(port_), "--sites", "/nonexistent/settings.json" });
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "kovru-fleet discover: No sites file /nonexistent/settings.json\n");

    std::ostringstream out;
    std::ostringstream err;
    int status = runDiscoverCommand({ net_ + "10-14:" + std::to_string(port_) },
        { std::filesystem::path("/nonexistent/settings.json") }, out, err);
    EXPECT_EQ(status, 0) << err.str();
    EXPECT_NE(out.str().find("Scanned 5 addresses: 4 controllers (no sites tree to compare with)"),
        std::string::npos)
        << out.str();
    EXPECT_EQ(kovru::testing::count_lines_with(out.str(), "new "), 4);

    CommandRun help = discover({ "--help" });
    EXPECT_EQ(help.status, 0);
    for (const char* word : { "RANGE...", "--timeout MS", "--json", "--sites FILE" })
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

} // namespace
} // namespace kovrkit
