// Channel set-up and export through the kovru-cli program against kovru-sim: what a later
// backup shows, CSV written by Python's csv module, the export/import round trip on every
// layout and a broken file that stops the run before anything is pushed.
#include "cli/action/config_file_header.h"
#include "cli/action/config_layouts.h"
#include "cli/backup/config_items.h"
#include "cli/backup/tar_image.h"
#include "cli/import/channel_files.h"
#include "cli/import/channel_import.h"
#include "cli/import/input_import.h"
#include "fakes/backup_sim.h"
#include "fakes/backup_test_support.h"

#include <gtest/gtest.h>

#include <map>

namespace kovru {
namespace {

using namespace kovru::testing;
using Bytes = std::vector<std::uint8_t>;
using Files = std::map<std::string, Bytes>; // item name -> configuration file

const char* channel_items = R"(["dali1","dali2","cd1","cd2"])";

int count_lines_with(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos;
         at = text.find(needle, at + 1))
        ++count;
    return count;
}

class ChannelSetup : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(scratch.file(name), std::ios::binary) << text;
        return scratch.file(name);
    }

    // The channel and input-device files of lines 1 and 2, as a backup of them holds them.
    Files backup(const std::string& address)
    {
        const std::string folder = scratch.file("backup" + std::to_string(++backups_));
        std::filesystem::create_directories(folder);
        CliRun run
            = run_kovru_cli({ "--action=get_backup", "--ip=" + address, "--backupfileouttype=zip",
                "--backupfileout=" + folder, std::string("--backupconfig=") + channel_items });
        EXPECT_EQ(run.exit_status, 0) << run.out;
        Files files;
        for (const auto& archive : std::filesystem::directory_iterator(folder))
            for (const ZipEntry& entry : read_zip(archive.path().string())) {
                const ConfigItem* item = find_config_item_by_tar_entry(entry.name);
                TarImageReader reader(entry.bytes);
                std::span<const std::uint8_t> data;
                if (item && reader.find(item->device_path) == tar_success
                    && reader.read_data(data) == tar_success)
                    files[item->item_name] = Bytes(data.begin(), data.end());
            }
        EXPECT_EQ(files.size(), 4u);
        return files;
    }

    static std::string list(const std::vector<std::string>& paths)
    {
        std::string json;
        for (const std::string& path : paths)
            json += (json.empty() ? "[\"" : ",\"") + path + "\"";
        return json + "]";
    }

    CliRun setup(const std::string& address, const std::string& lines,
        const std::vector<std::string>& channels, const std::vector<std::string>& groups,
        const std::vector<std::string>& inputs, const std::string& action = "setup_channel",
        bool dry_run = false)
    {
        std::vector<std::string> arguments
            = { "--action=" + action, "--ip=" + address, "--channel=" + lines };
        if (!channels.empty())
            arguments.push_back("--channelcsvfile=" + list(channels));
        if (!groups.empty())
            arguments.push_back("--channelgroupscsvfile=" + list(groups));
        if (!inputs.empty())
            arguments.push_back("--channelinputscsvfile=" + list(inputs));
        if (dry_run)
            arguments.push_back("--dryrun");
        return run_kovru_cli(arguments);
    }

    ScratchFolder scratch;
    int backups_ = 0;
};

// Quotes, commas and JSON strings inside fields; a name longer than 32 bytes.
const std::string channel_text
    = "#dali-channel-csv-version: 1\n"
      "4,0,3,\"Hall, \"\"east\"\"\",\"[0,\"\"3\"\"]\",200,1,2,3,0,20,\"[7,8]\"\n"
      "4,5,null,A name that is far too long for the field,[],false,null,0,0,4,4,[]\n"
      "4,9,12,Spare,[15],10,20,30,40,50,60,\"[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17]\"\n";
const std::string group_text
    = "#dali-channel-groups-csv-version: 1\n0,3,\"Stairs, all\"\n0,15,Night\n";
const std::string input_text
    = "#dali-channel-inputs-csv-version: 1\n"
      "4,2,7,Door switch,0,3,\"[1,4]\",\"[5,6]\",[9],\"[1,2]\",[2],[3],[4],[5],[6],"
      "[],[],[],\"[0,8]\",\"[0,9]\"\n"
      "4,30,null,Corridor,16,2,[3],[0],[],[],[],[],[],[],[],[11],[12],[13],[],[]\n";

// What the import writes, computed here on the backed-up files.
Bytes expected_channel_file(
    Bytes file, const ChannelLayout& layout, const std::string& channels, const std::string& groups)
{
    import_channel_csv(channels, file, layout);
    import_group_csv(groups, file, layout);
    finish_channel_file(file, layout);
    return file;
}

Bytes expected_input_file(const std::string& inputs)
{
    Bytes file(input_device_layout::v3.file_size);
    import_input_csv(inputs, file);
    finish_input_device_file(file);
    return file;
}

TEST_F(ChannelSetup, TwoLinesInOneRunAndSpreadsheetFilesImportAsHandWrittenOnes)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    const std::string channels = write("channels.csv", channel_text);
    const std::string groups = write("groups.csv", group_text);
    const std::string inputs = write("inputs.csv", input_text);
    // The same rows written again by Python's csv module: every field quoted, CRLF line ends
    // and a byte order mark, as spreadsheet programs save them.
    for (const char* name : { "channels", "groups", "inputs" }) {
        const std::string from = scratch.file(std::string(name) + ".csv");
        const std::string to = scratch.file(std::string(name) + "-quoted.csv");
        CommandResult python = run_command(
            "python3 -c 'import csv,sys\n"
            "rows = list(csv.reader(open(sys.argv[1], newline=\"\")))\n"
            "with open(sys.argv[2], \"w\", newline=\"\", encoding=\"utf-8-sig\") as out:\n"
            "    csv.writer(out, quoting=csv.QUOTE_ALL).writerows(rows)' "
            + from + " " + to);
        ASSERT_EQ(python.exit_status, 0) << python.output;
    }
    const Files before = backup(sim.address(0));

    CliRun dry = setup(sim.address(0), "[1,2]", { scratch.file("channels-quoted.csv"), channels },
        { scratch.file("groups-quoted.csv"), groups },
        { scratch.file("inputs-quoted.csv"), inputs }, "setup_channel", true);
    EXPECT_EQ(dry.exit_status, 0) << dry.out;
    EXPECT_NE(dry.out.find("Line 2 device 0 would change:"), std::string::npos) << dry.out;
    EXPECT_NE(
        dry.out.find("\tname: \"Line 2 luminaire 1\" -> \"Hall, \"east\"\""), std::string::npos);
    EXPECT_NE(dry.out.find("\tbyte 10: 0 -> 15"), std::string::npos);
    EXPECT_EQ(dry.out.find("backup file pushed."), std::string::npos);

    CliRun run = setup(sim.address(0), "[1,2]", { scratch.file("channels-quoted.csv"), channels },
        { scratch.file("groups-quoted.csv"), groups },
        { scratch.file("inputs-quoted.csv"), inputs });
    EXPECT_EQ(run.exit_status, 0) << run.out;
    EXPECT_EQ(count_lines_with(run.out, "backup file restore started."), 2);

    const Files after = backup(sim.address(0));
    for (const char* line : { "1", "2" }) {
        SCOPED_TRACE(line);
        const Bytes channel = expected_channel_file(
            before.at(std::string("dali") + line), channel_layout::v3, channels, groups);
        EXPECT_EQ(after.at(std::string("dali") + line), channel);
        EXPECT_EQ(after.at(std::string("cd") + line), expected_input_file(inputs));
    }
    EXPECT_NE(after.at("dali1"), before.at("dali1"));
}

TEST_F(ChannelSetup, ExportedFilesImportToTheSameBytesOnEveryLayout)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=1.3.0", "ip=127.0.0.1,port=0,firmware=1.3.1",
        "ip=127.0.0.1,port=0,firmware=2.2.4" });
    ASSERT_TRUE(sim.ready());
    const std::string channels = write("channels.csv", channel_text);
    const std::string groups = write("groups.csv", group_text);
    const std::string inputs = write("inputs.csv", input_text);
    for (std::size_t controller = 0; controller < 3; ++controller) {
        SCOPED_TRACE(controller);
        const std::string address = sim.address(controller);
        const bool with_inputs = controller == 2;
        const std::vector<std::string> input_list
            = with_inputs ? std::vector<std::string> { inputs } : std::vector<std::string> {};
        CliRun first = setup(address, "1", { channels }, { groups }, input_list);
        ASSERT_EQ(first.exit_status, 0) << first.out;
        const Files imported = backup(address);

        const std::string tag = std::to_string(controller);
        const std::vector<std::string> exported_inputs = with_inputs
            ? std::vector<std::string> { scratch.file("x-inputs" + tag + ".csv") }
            : std::vector<std::string> {};
        CliRun exported = setup(address, "1", { scratch.file("x-channels" + tag + ".csv") },
            { scratch.file("x-groups" + tag + ".csv") }, exported_inputs, "export_channel");
        ASSERT_EQ(exported.exit_status, 0) << exported.out;
        if (with_inputs) {
            // The simulator's own devices have their type bytes set, which the import clears:
            // their rows come out as comments.
            std::ifstream in(scratch.file("x-channels" + tag + ".csv"), std::ios::binary);
            const std::string text { std::istreambuf_iterator<char>(in), {} };
            EXPECT_NE(text.find("\r\n#4,1,1,Line 1 luminaire 2,"), std::string::npos) << text;
            EXPECT_NE(text.find("\r\n4,0,3,\"Hall, \"\"east\"\"\","), std::string::npos) << text;
        }
        CliRun again = setup(address, "1", { scratch.file("x-channels" + tag + ".csv") },
            { scratch.file("x-groups" + tag + ".csv") }, exported_inputs);
        ASSERT_EQ(again.exit_status, 0) << again.out;
        const Files reimported = backup(address);
        EXPECT_EQ(reimported.at("dali1"), imported.at("dali1"));
        EXPECT_EQ(reimported.at("cd1"), imported.at("cd1"));
    }
}

TEST_F(ChannelSetup, AnUnterminatedQuoteStopsTheRunBeforeAnythingIsPushed)
{
    BackupSim sim({ "ip=127.0.0.1,port=0,firmware=1.5.0" });
    ASSERT_TRUE(sim.ready());
    std::string text = channel_text;
    for (int row = 0; row < 3000; ++row)
        text += "4," + std::to_string(row % 64) + ",1,Row " + std::to_string(row)
            + ",[],1,1,1,1,1,1,[]\n";
    text += "4,63,1,\"Never closed,[],1,1,1,1,1,1,[]\n";
    const std::string broken = write("broken.csv", text);
    const std::string good = write("channels.csv", channel_text);
    const Files before = backup(sim.address(0));

    // The broken file of line 1 ends the run: line 2 is not even fetched.
    CliRun run = setup(sim.address(0), "[1,2]", { broken, good }, {}, {});
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.out.find("Error while parsing file: "), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("backup file pushed."), std::string::npos);
    EXPECT_EQ(count_lines_with(run.out, "CH="), 1);
    EXPECT_EQ(backup(sim.address(0)), before);
}

} // namespace
} // namespace kovru
