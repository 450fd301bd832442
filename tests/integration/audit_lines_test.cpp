// audit_lines through the kovru-cli program: channel files of each layout made here with
// short addresses used twice, gear without a name, a gear without an address and a group
// nobody is in, audited from an archive, from kovru-sim after a restore of that archive, and
// from a backup of the simulator; and the trouble cases.
#include "cli/action/config_layouts.h"
#include "cli/backup/tar_image.h"
#include "cli/import/channel_files.h"
#include "cli/import/channel_import.h"
#include "cli/import/input_import.h"
#include "fakes/backup_sim.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace kovru {
namespace {

using namespace kovru::testing;
using Bytes = std::vector<std::uint8_t>;

const std::string channel_text = "#dali-channel-csv-version: 1\n"
                                 "1,0,5,Hall,[0],254,1,0,0,7,0,[]\n"
                                 "1,1,5,Hall door,[0],254,1,0,0,7,0,[]\n"
                                 "1,2,7,,[1],254,1,0,0,7,0,[]\n"
                                 "1,3,null,Spare,[2],254,1,0,0,7,0,[]\n";
const std::string group_text
    = "#dali-channel-groups-csv-version: 1\n0,0,Hall\n0,1,Night\n0,3,Unused\n";
const std::string input_text = "#dali-channel-inputs-csv-version: 1\n"
                               "1,0,7,Door,0,2,\"[1,4]\",[],[],[],[],[],[],[],[],[],[],[],[],[]\n"
                               "1,1,7,Window,0,1,[3],[],[],[],[],[],[],[],[],[],[],[],[],[]\n";

// The lines every layout gives for line 1, and the findings among them.
const std::vector<std::string> channel_lines = {
    "Line 1 gear 0: short address 5, \"Hall\", groups [0]",
    "Line 1 gear 1: short address 5, \"Hall door\", groups [0]",
    "Line 1 gear 2: short address 7, \"\", groups [1]",
    "Line 1 gear 3: no short address, \"Spare\", groups [2]",
    "Line 1 group 0 \"Hall\": gear [0,1]",
    "Line 1 group 1 \"Night\": gear [2]",
    "Line 1 group 2 \"\": gear [3]",
    "Line 1 group 3 \"Unused\": empty",
};
const std::vector<std::string> channel_findings = {
    "Line 1 finding: gear 2 flagged present without a name",
    "Line 1 finding: gear 3 record invalid: no short address",
    "Line 1 finding: group 3 \"Unused\" is empty",
    "Line 1 finding: gear short address 5 used twice: gear [0,1]",
};
const std::vector<std::string> input_lines = {
    "Line 1 input 0: short address 7, \"Door\", instances [0 push button, 1 light sensor]",
    "Line 1 input 1: short address 7, \"Window\", instances [0 occupancy sensor]",
    "Line 1 finding: input short address 7 used twice: input [0,1]",
};

CliRun cli(const std::vector<std::string>& arguments)
{
    CliRun run = run_kovru_cli(arguments);
    std::erase(run.out, '\r');
    return run;
}

// The lines of the output that name a finding, in order.
std::vector<std::string> findings_of(const std::string& out)
{
    std::vector<std::string> findings;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" finding: ") != std::string::npos)
            findings.push_back(line);
    return findings;
}

void expect_lines(const std::string& out, const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
}

class AuditLines : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(scratch.file(name), std::ios::binary) << text;
        return scratch.file(name);
    }

    Bytes channel_file(const ChannelLayout& layout)
    {
        Bytes file(layout.file_size);
        import_channel_csv(write("channels.csv", channel_text), file, layout);
        import_group_csv(write("groups.csv", group_text), file, layout);
        finish_channel_file(file, layout);
        return file;
    }

    Bytes input_file()
    {
        Bytes file(input_device_layout::v3.file_size);
        import_input_csv(write("inputs.csv", input_text), file);
        finish_input_device_file(file);
        return file;
    }

    // Line 1's files of the layout as a backup archive holds them.
    std::string archive(const ChannelLayout& layout)
    {
        std::vector<ZipEntry> entries = { { "dali1.tar", 0,
            make_single_file_tar(channel_file_path(1), channel_file(layout), 0) } };
        if (layout.version == 3)
            entries.push_back(
                { "cd1.tar", 0, make_single_file_tar(input_device_file_path(1), input_file(), 0) });
        const std::string path = scratch.file("layout" + std::to_string(layout.version) + ".zip");
        EXPECT_TRUE(write_zip(path, entries));
        return path;
    }

    std::string backup(const std::string& address)
    {
        const std::string folder = scratch.file("backup" + std::to_string(++backups_));
        std::filesystem::create_directories(folder);
        CliRun run = cli({ "--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
            "--backupfileout=" + folder, R"(--backupconfig=["dali1","dali2","cd1","cd2"])" });
        EXPECT_EQ(run.exit_status, 0) << run.out;
        for (const auto& file : std::filesystem::directory_iterator(folder))
            return file.path().string();
        return {};
    }

    ScratchFolder scratch;
    int backups_ = 0;
};

TEST_F(AuditLines, EveryLayoutGivesTheSameGearGroupsAndFindings)
{
    for (const ChannelLayout* layout :
        { &channel_layout::v1, &channel_layout::v2, &channel_layout::v3 }) {
        SCOPED_TRACE(layout->version);
        CliRun run = cli({ "--action=audit_lines", "--backupfilein=" + archive(*layout) });
        EXPECT_EQ(run.exit_status, 1) << run.out;
        expect_lines(run.out, channel_lines);
        std::vector<std::string> expected = channel_findings;
        if (layout->version == 3) {
            expect_lines(run.out, input_lines);
            expected.push_back(input_lines.back());
        } else {
            EXPECT_NE(run.out.find("Line 1: no input-device file\n"), std::string::npos);
        }
        EXPECT_EQ(findings_of(run.out), expected);
        for (const char* line : { "2", "3", "4" })
            EXPECT_NE(run.out.find(std::string("Line ") + line + ": no channel file\n"),
                std::string::npos);
        EXPECT_NE(run.out.find(
                      "Audit of 4 line(s): " + std::to_string(expected.size()) + " finding(s).\n"),
            std::string::npos);
    }
}

TEST_F(AuditLines, TheSimulatorAndItsBackupShowWhatWasRestored)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=1.3.0", "ip=127.0.0.1,port=0,firmware=1.3.1",
        "ip=127.0.0.1,port=0,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    const ChannelLayout* layouts[]
        = { &channel_layout::v1, &channel_layout::v2, &channel_layout::v3 };
    for (std::size_t controller = 0; controller < 3; ++controller) {
        SCOPED_TRACE(controller);
        const std::string ip = "--ip=" + sim.address(controller);
        CliRun clean = cli({ "--action=audit_lines", ip });
        EXPECT_EQ(clean.exit_status, 0) << clean.out;
        EXPECT_NE(
            clean.out.find("Line 2 gear 1: short address 1, \"Line 2 luminaire 2\", groups [1]\n"),
            std::string::npos)
            << clean.out;
        EXPECT_NE(clean.out.find("Audit of 4 line(s): nothing found.\n"), std::string::npos);

        const std::string path = archive(*layouts[controller]);
        ASSERT_EQ(cli({ "--action=put_backup", ip, "--backupfilein=" + path }).exit_status, 0);
        CliRun live = cli({ "--action=audit_lines", ip, "--channel=[1,2]" });
        EXPECT_EQ(live.exit_status, 1) << live.out;
        expect_lines(live.out, channel_lines);
        CliRun archived
            = cli({ "--action=audit_lines", "--backupfilein=" + backup(sim.address(controller)) });
        EXPECT_EQ(archived.exit_status, 1) << archived.out;
        EXPECT_EQ(findings_of(live.out), findings_of(archived.out));
        EXPECT_EQ(findings_of(live.out),
            findings_of(cli({ "--action=audit_lines", "--backupfilein=" + path }).out));
        // The line not restored keeps the simulator's own, clean files.
        EXPECT_NE(live.out.find("Line 2: 0 finding(s)\n"), std::string::npos);
    }
}

TEST_F(AuditLines, TroubleEndsWithTwo)
{
    const std::string path = archive(channel_layout::v3);
    std::ofstream(scratch.file("notes.txt")) << "not an archive";
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases = {
        { { "--action=audit_lines" }, "Missing arguments for action audit_lines." },
        { { "--action=audit_lines", "--backupfilein=" + path, "--ip=127.0.0.1:1" },
            "audit_lines takes --ip or --backupfilein, not both." },
        { { "--action=audit_lines", "--backupfilein=" + path, "--channel=5" },
            "Line 5 does not exist: a controller has lines 1 to 4." },
        { { "--action=audit_lines", "--backupfilein=" + scratch.file("notes.txt") },
            "Could not read the backup " + scratch.file("notes.txt") + ": not a backup archive" },
        { { "--action=audit_lines", "--ip=127.0.0.1:1" },
            "Could not read the controller status at 127.0.0.1:1; nothing audited." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CliRun run = cli(c.arguments);
        EXPECT_EQ(run.exit_status, 2) << run.out;
        const auto at = run.out.find(c.message);
        EXPECT_NE(at, std::string::npos) << run.out;
        // Said once: "Missing arguments ..." was printed twice.
        EXPECT_EQ(run.out.find(c.message, at + 1), std::string::npos) << run.out;
    }
}

} // namespace
} // namespace kovru
