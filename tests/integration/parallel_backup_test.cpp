// Backups whose item fetches run over several connections at once (--fetchconnections): the
// same archive, the same lines in the same order as a backup over one connection, also when
// items fail and when the controller refuses the further connections.
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <sstream>

namespace kovru {
namespace {

using testing::count_lines_with;
using testing::run_cli;
using testing::run_program;
using testing::SimProcess;

// A fixed identity, so that the controllers' answers differ in their port alone.
constexpr const char* kController
    = "http_keepalive=0,flash_size=65536,serial=VD100001,mac=00:1E:C0:00:00:01,hostname=veldir";
// Two items whose every attempt goes unanswered (libcurl may send a request on a closed
// connection twice), apart so that the backup goes on.
constexpr const char* kFailingItems = ",fail_first=10,fail_items=dali1|cd2";
constexpr const char* kRefusal
    = "The controller refused a further connection; the configuration items are fetched over "
      "one connection.";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The run's lines without those that name its own controller, folder or option.
std::string comparable(
    const std::string& text, const std::string& address, const std::string& folder)
{
    std::istringstream lines(replaced(replaced(text, address, "ADDR"), folder, "DIR"));
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // The archive's name holds the time of the run.
        if (line.find("FETCHCONNECTIONS=") == std::string::npos && line != kRefusal
            && line.find("Completed (DIR/") == std::string::npos)
            kept += line + "\n";
    }
    return kept;
}

// The first line in which two texts differ, for a readable failure.
std::string first_difference(const std::string& a, const std::string& b)
{
    std::istringstream left(a);
    std::istringstream right(b);
    std::string one;
    std::string other;
    for (int line = 1;; ++line) {
        const bool more = static_cast<bool>(std::getline(left, one));
        const bool more_other = static_cast<bool>(std::getline(right, other));
        if (!more && !more_other)
            return {};
        if (more != more_other || one != other)
            return "line " + std::to_string(line) + ": '" + one + "' against '" + other + "'";
    }
}

// Entry names in archive order, each with the SHA-256 of its bytes (the log aside, which
// names the run).
std::string entries_of(const std::filesystem::path& folder)
{
    auto run = run_program("/bin/sh",
        { "-c",
            "cd \"$1\" && set -- *.zip && unzip -Z1 \"$1\" | while read -r e; do "
            "if [ \"$e\" = log.txt ]; then echo log.txt; else "
            "printf '%s ' \"$e\"; unzip -p \"$1\" \"$e\" | sha256sum; fi; done",
            "sh", folder.string() });
    EXPECT_EQ(run.exit_status, 0) << run.err;
    return run.out;
}

struct Case {
    const char* settings;
    int connections;
    int retries;
    int stored;
    bool refused;
};

TEST(FetchConnections, ABackupOverEightConnectionsIsTheSequentialBackup)
{
    // Each parallel backup against the sequential one before it; the last controller serves
    // one connection at a time. (An item's failed attempts count on the controller, so
    // each backup gets its own.)
    const std::string faulty = std::string(kController) + kFailingItems;
    const Case cases[] = {
        { "", 1, 8, 610, false },
        { "", 8, 8, 610, false },
        { ",http_keepalive=1", 1, 0, 612, false },
        { ",http_one_connection=1", 8, 0, 612, true },
    };
    std::vector<std::string> controllers;
    for (std::size_t k = 0; k < std::size(cases); ++k)
        controllers.push_back((k < 2 ? faulty : std::string(kController)) + cases[k].settings);
    SimProcess sim(controllers);
    ASSERT_TRUE(sim.ready());
    auto folder
        = std::filesystem::temp_directory_path() / ("kovru-parallel-" + std::to_string(::getpid()));
    testing::ProgramRun runs[std::size(cases)];
    for (std::size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE(k);
        auto out = folder / std::to_string(k);
        std::filesystem::create_directories(out);
        std::vector<std::string> arguments { "--action=get_backup", "--ip=" + sim.address(k),
            "--backupfileouttype=zip", "--backupfileout=" + out.string(), "--reuseconnection",
            "--fetchconnections=" + std::to_string(cases[k].connections) };
        runs[k] = run_cli(arguments);
        // Items left out make the backup incomplete.
        EXPECT_EQ(runs[k].exit_status, cases[k].stored == 612 ? 0 : 1);
        EXPECT_EQ(count_lines_with(runs[k].out, "Retrying backup fetch"), cases[k].retries);
        EXPECT_EQ(count_lines_with(runs[k].out, "backup file OK"), cases[k].stored);
        EXPECT_EQ(count_lines_with(runs[k].out, kRefusal), cases[k].refused ? 1 : 0);
        if (k % 2 == 0)
            continue;
        const std::string entries = entries_of(out);
        EXPECT_EQ(count_lines_with(entries, ".tar "), cases[k].stored);
        EXPECT_EQ(first_difference(entries, entries_of(folder / std::to_string(k - 1))), "");
        EXPECT_EQ(first_difference(comparable(runs[k].out, sim.address(k), out.string()),
                      comparable(runs[k - 1].out, sim.address(k - 1),
                          (folder / std::to_string(k - 1)).string())),
            "");
        EXPECT_EQ(first_difference(runs[k].err, runs[k - 1].err), "");
    }

    for (const char* value : { "0", "9", "2x", "" }) {
        auto refused = run_cli({ "--action=get_backup", "--ip=" + sim.address(),
            "--backupfileout=" + folder.string(), std::string("--fetchconnections=") + value });
        EXPECT_EQ(refused.exit_status, 2);
        EXPECT_EQ(count_lines_with(refused.out, std::string("FETCHCONNECTIONS=") + value), 1);
        EXPECT_NE(refused.out.find("Invalid --fetchconnections value '" + std::string(value)
                      + "': a whole number from 1 to 8 expected."),
            std::string::npos)
            << refused.out;
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace kovru
