#include "cli/main/option_lists.h"
#include "cli/main/option_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace kovru {
namespace {

// Collects what the parser echoes.
class EchoBuffer {
public:
    EchoBuffer()
        : file_(open_memstream(&data_, &size_))
    {
    }
    ~EchoBuffer()
    {
        std::fclose(file_);
        std::free(data_);
    }
    EchoBuffer(const EchoBuffer&) = delete;
    EchoBuffer& operator=(const EchoBuffer&) = delete;

    std::FILE* file() { return file_; }
    std::string text()
    {
        std::fflush(file_);
        return std::string(data_, size_);
    }

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

struct Parsed {
    ParsedCommandLine result;
    std::string echo;
};

Parsed parse(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), "kovru-cli");
    EchoBuffer echo;
    ParsedCommandLine result = parse_command_line(arguments, echo.file());
    return { std::move(result), echo.text() };
}

using Channels = std::vector<std::int32_t>;
using Texts = std::vector<std::string>;

TEST(ChannelOption, ReadsNumbersStringsAndStopsAtZero)
{
    EXPECT_EQ(parse({ "--channel=2" }).result.options.channels, Channels({ 2 }));
    EXPECT_EQ(parse({ "--channel=[1,3]" }).result.options.channels, Channels({ 1, 3 }));
    EXPECT_EQ(parse({ "--channel=[1,0,3]" }).result.options.channels, Channels({ 1 }));
    EXPECT_EQ(parse({ R"(--channel=["2x","x",4])" }).result.options.channels, Channels({ 2 }));
    EXPECT_EQ(parse({ R"(--channel=[" 3", "-4", 2.9, -1.9])" }).result.options.channels,
        Channels({ 3, -4, 2, -1 }));
    // Stops at the first array end, and keeps what came before a parse error.
    EXPECT_EQ(parse({ "--channel=[[1],2]" }).result.options.channels, Channels({ 1 }));
    EXPECT_EQ(parse({ "--channel=[1,2,oops]" }).result.options.channels, Channels({ 1, 2 }));
    EXPECT_TRUE(parse({ "--channel=three" }).result.options.channels.empty());
}

TEST(ChannelOption, HoldsOutOfRangeValuesToThe32BitRange)
{
    EXPECT_EQ(parse({ "--channel=[1e12, -1e12]" }).result.options.channels,
        Channels({ 2147483647, -2147483647 - 1 }));
    EXPECT_EQ(parse({ R"(--channel=["99999999999"])" }).result.options.channels,
        Channels({ 2147483647 }));
}

TEST(ChannelOption, CreateAndShortFormAreTheSameOption)
{
    Parsed create = parse({ "--create=[4,2]" });
    EXPECT_EQ(create.result.options.channels, Channels({ 4, 2 }));
    EXPECT_EQ(create.echo, "CHANNEL=[4,2]\n");
    Parsed short_form = parse({ "-c", "3" });
    EXPECT_EQ(short_form.result.options.channels, Channels({ 3 }));
    EXPECT_EQ(short_form.echo, "CHANNEL=3\n");
}

TEST(RepeatedOptions, LastValueWinsUnlessItYieldsNone)
{
    EXPECT_EQ(
        parse({ "--channel=[1,2,3]", "--channel=4" }).result.options.channels, Channels({ 4 }));
    EXPECT_EQ(
        parse({ "--channel=[1,2]", "--channel=[]" }).result.options.channels, Channels({ 1, 2 }));
    EXPECT_EQ(
        parse({ "--channel=[1,2]", "--channel=bad" }).result.options.channels, Channels({ 1, 2 }));
    // A 0 is a value: it empties the list.
    EXPECT_TRUE(parse({ "--channel=[1,2]", "--channel=0" }).result.options.channels.empty());

    Parsed texts = parse({ R"(--channelcsvfile=["a","b"])", R"(--channelcsvfile=["c"])",
        "--channelcsvfile=C:\\x.csv" });
    EXPECT_EQ(texts.result.options.channel_csv_files, Texts({ "c" }));

    Parsed single
        = parse({ "--ip=1.1.1.1", "--ip", "2.2.2.2", "--action=a", "--action=get_status" });
    EXPECT_EQ(single.result.options.ip, "2.2.2.2");
    EXPECT_EQ(single.result.options.action, "get_status");
}

TEST(FileListOptions, NeedJsonStrings)
{
    Parsed bare = parse({ "--channelcsvfile=C:\\data\\ch.csv" });
    EXPECT_TRUE(bare.result.options.channel_csv_files.empty());
    Parsed bare_unix = parse({ "--channelcsvfile=/data/ch.csv" });
    EXPECT_TRUE(bare_unix.result.options.channel_csv_files.empty());

    Parsed quoted = parse({ R"(--channelcsvfile="C:\\data\\ch.csv")" });
    EXPECT_EQ(quoted.result.options.channel_csv_files, Texts({ "C:\\data\\ch.csv" }));

    Parsed lists = parse({ R"(--channelgroupscsvfile=["/g1.csv", 7, "/g2.csv"])",
        R"(--channelinputscsvfile=["/i.csv"])",
        R"(--backupconfig=["systemconfig","dali_dt8_3_12"])" });
    EXPECT_EQ(lists.result.options.channel_groups_csv_files, Texts({ "/g1.csv", "/g2.csv" }));
    EXPECT_EQ(lists.result.options.channel_inputs_csv_files, Texts({ "/i.csv" }));
    EXPECT_EQ(lists.result.options.backup_config, Texts({ "systemconfig", "dali_dt8_3_12" }));
}

TEST(OptionEcho, EachOptionEchoesItsRawValue)
{
    Parsed parsed = parse({ "--action=get_backup", "--ip=10.0.0.5:8080", "--backupfileout=/out",
        "--backupfileouttype=zip", "--backupfilein=/in.zip", "--firmwarefile=/fw.zip",
        "--backupconfig=[\"x\"]", "--verbose", "--channelcsvfile=[\"a.csv\"]", "--delete=one",
        "--file", "two" });
    EXPECT_EQ(parsed.echo,
        "ACTION=get_backup\n"
        "IP=10.0.0.5:8080\n"
        "BackupFileOut/out\n"
        "BackupFileOutTypezip\n"
        "BackupFileIn/in.zip\n"
        "FIRMWAREFILE=/fw.zip\n"
        "BackupConfig[\"x\"]\n"
        "option verbose\n"
        "CHANNELCSVFILE=[\"a.csv\"]\n"
        "optarg=#[\"a.csv\"]#"
        "option delete with arg one\n"
        "option file with arg two\n");
    const CliOptions& options = parsed.result.options;
    EXPECT_TRUE(options.verbose);
    EXPECT_EQ(options.backup_file_out, "/out");
    EXPECT_EQ(options.backup_file_out_type, "zip");
    EXPECT_EQ(options.backup_file_in, "/in.zip");
    EXPECT_EQ(options.firmware_file, "/fw.zip");
    EXPECT_FALSE(options.no_window);
}

TEST(OptionEcho, DigitsAndUnexpectedCodes)
{
    EXPECT_EQ(parse({ "-01", "-2" }).echo,
        "option 0\noption 1\ndigits occur in two different argv-elements.\noption 2\n");
    EXPECT_EQ(parse({ "-b", "-d", "x", "-a" }).echo,
        "?? getopt returned character code 0142 ??\n"
        "?? getopt returned character code 0144 ??\n"
        "?? getopt returned character code 0141 ??\n");
    // Unknown letters, unknown and ambiguous names and missing values all come back as '?'.
    Parsed faults = parse({ "-x", "--bogus", "--chan=1", "--ip=1.2.3.4", "--action" });
    EXPECT_EQ(faults.echo,
        "?? getopt returned character code 077 ??\n"
        "?? getopt returned character code 077 ??\n"
        "?? getopt returned character code 077 ??\n"
        "IP=1.2.3.4\n"
        "?? getopt returned character code 077 ??\n");
    EXPECT_TRUE(faults.result.options.channels.empty());
    EXPECT_FALSE(faults.result.options.action);
    EXPECT_EQ(faults.result.options.ip, "1.2.3.4");
}

TEST(OptionNames, UniquePrefixesAndExactNamesMatch)
{
    Parsed parsed = parse({ "--act", "get_status", "--i=1.2.3.4", "--firm=/f", "--channel=2",
        "--channelc=[\"c\"]", "--backupfileout=/o", "--backupfilei=/i" });
    const CliOptions& options = parsed.result.options;
    EXPECT_EQ(options.action, "get_status");
    EXPECT_EQ(options.ip, "1.2.3.4");
    EXPECT_EQ(options.firmware_file, "/f");
    EXPECT_EQ(options.channels, Channels({ 2 }));
    EXPECT_EQ(options.channel_csv_files, Texts({ "c" }));
    EXPECT_EQ(options.backup_file_out, "/o");
    EXPECT_EQ(options.backup_file_in, "/i");
    // Names are case-sensitive.
    EXPECT_FALSE(parse({ "--ACTION=get_status" }).result.options.action);
}

TEST(Operands, AreCollectedWhereverTheyStand)
{
    Parsed parsed = parse({ "first", "--ip=1.2.3.4", "second", "--", "--action=x" });
    EXPECT_EQ(parsed.result.operands, Texts({ "first", "second", "--action=x" }));
    EXPECT_FALSE(parsed.result.options.action);
}

TEST(HelpAndVersion, EndTheParseAtOnce)
{
    Parsed help = parse({ "--ip=1", "--help", "--action=get_status" });
    EXPECT_EQ(help.result.outcome, ParseOutcome::finished);
    EXPECT_EQ(help.echo,
        "IP=1\n"
        "Help\n"
        "version\t\tShow the command version.\n"
        "help\t\tShow the command help.\n"
        "action\t\tsetup_channel|get_backup|put_backup|push_firmware|push_d2fw.\n"
        "ip\t\tIP address of the controller.\n"
        "channel\t\tChannel number (1-4).\n"
        "channelcsvfile\tChannel CSV file path.\n"
        "firmwarefile\tFirmware binary file path.\n"
        "verifyupgrade\tSeconds to wait for the controller to report the new firmware.\n"
        "channelgroupscsvfile\tGroup CSV file path.\n"
        "channelinputscsvfile\tInput device CSV file path.\n"
        "dryrun\t\tWith setup_channel: show what would change, push nothing.\n"
        "\t\tWith put_backup: compare the backup with the controller, push nothing.\n"
        "export_channel\tAction: write the controller's channel, group and input CSV files.\n"
        "compare_backup\tAction: compare backupfilein with comparewith or with the controller "
        "(ip).\n"
        "comparewith\tSecond backup file path for compare_backup.\n"
        "audit_lines\tAction: audit the DALI lines of the controller (ip) or of backupfilein.\n"
        "eventsfd\tWrite progress, log lines and the cause of a failure as JSON lines to this file "
        "descriptor.\n"
        "tftpwindowsize\tTFTP blocks per acknowledgement (1-64) for flash reads and uploads.\n");
    EXPECT_FALSE(help.result.options.action);

    Parsed version = parse({ "--vers", "--help" });
    EXPECT_EQ(version.result.outcome, ParseOutcome::finished);
    EXPECT_EQ(version.echo, "Version 1.4.1\n");

    EXPECT_EQ(parse({ "--verbose" }).result.outcome, ParseOutcome::run);
}

TEST(ConsoleOnly, NoWindowHelpAndVersionNeedNoWindow)
{
    EXPECT_TRUE(wants_console_only({ "kovru-cli", "--nowindow", "--action=get_status" }));
    EXPECT_TRUE(wants_console_only({ "kovru-cli", "--now" }));
    EXPECT_TRUE(wants_console_only({ "kovru-cli", "--help" }));
    EXPECT_TRUE(wants_console_only({ "kovru-cli", "--version" }));
    EXPECT_FALSE(wants_console_only({ "kovru-cli", "--action=get_status" }));
    // A value that looks like the option is still a value.
    EXPECT_FALSE(wants_console_only({ "kovru-cli", "--ip", "--nowindow" }));
}

TEST(ParserState, StartsOverOnEveryCall)
{
    parse({ "-0", "first", "--ip=1" });
    Parsed again = parse({ "-1" });
    EXPECT_EQ(again.echo, "option 1\n");
    EXPECT_TRUE(again.result.operands.empty());
    EXPECT_FALSE(parse({ "--action=x" }).result.options.verbose);
}

} // namespace
} // namespace kovru
