#include "cli/main/option_lists.h"
#include "cli/main/option_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
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

// The tool's original help lines, in their order; the lines of later options follow them.
const std::string specified_help = "Help\n"
                                   "version\t\tShow the command version.\n"
                                   "help\t\tShow the command help.\n"
                                   "action\t\tsetup_channel|get_backup|put_backup|push_firmware|"
                                   "push_d2fw.\n"
                                   "ip\t\tIP address of the controller.\n"
                                   "channel\t\tChannel number (1-4).\n"
                                   "channelcsvfile\tChannel CSV file path.\n"
                                   "firmwarefile\tFirmware binary file path.\n";

TEST(HelpAndVersion, EndTheParseAtOnce)
{
    Parsed help = parse({ "--ip=1", "--help", "--action=get_status" });
    EXPECT_EQ(help.result.outcome, ParseOutcome::finished);
    EXPECT_TRUE(help.echo.starts_with("IP=1\n" + specified_help)) << help.echo;
    EXPECT_FALSE(help.result.options.action);

    Parsed version = parse({ "--vers", "--help" });
    EXPECT_EQ(version.result.outcome, ParseOutcome::finished);
    EXPECT_EQ(version.echo, "Version 1.4.1\n");

    EXPECT_EQ(parse({ "--verbose" }).result.outcome, ParseOutcome::run);
}

// An option a user cannot find does not exist for them: each one the parser takes has its
// line in --help ("name", a tab) and its entry in the man page ("\-\-name").
TEST(HelpAndVersion, EveryOptionIsInTheHelpAndTheManPage)
{
    Parsed help = parse({ "--help" });
    const char* source = std::getenv("KOVRU_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    std::ifstream page(std::string(source) + "/packaging/man/kovru-cli.1");
    const std::string man((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(man.empty());
    for (const std::string& name : long_option_names()) {
        EXPECT_NE(help.echo.find("\n" + name + "\t"), std::string::npos) << name;
        std::string escaped;
        for (char c : name)
            escaped += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_NE(man.find("\\-\\-" + escaped), std::string::npos) << name;
    }
    EXPECT_NE(help.echo.find("\ntftpblocksize\t"), std::string::npos);
    EXPECT_NE(help.echo.find("\nreuseconnection\t"), std::string::npos);
    EXPECT_NE(help.echo.find("\ntftpwindowsize\t"), std::string::npos);
    // Every line after "Help" is a name, one or two tabs as the name's length asks, and text.
    std::istringstream lines(help.echo.substr(std::string("Help\n").size()));
    for (std::string line; std::getline(lines, line);) {
        const std::size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos) << line;
        EXPECT_EQ(line.compare(tab, 2, "\t\t") == 0, tab < 8) << line;
    }
}

// A mistyped option or a list that is not JSON must not run the action without it.
TEST(Faults, UnknownOptionsMissingValuesAndBadListsAreNamed)
{
    Parsed typo = parse({ "--action=setup_channel", "--dry-run", "--channel=[1", "--ip" });
    EXPECT_EQ(typo.result.faults,
        Texts({ "Unknown option or option without its value: --dry-run",
            "Not a JSON value for --channel: '[1'",
            "Unknown option or option without its value: --ip" }));
    // The echo stays as it was: the parser's unexpected code for each refused option.
    EXPECT_EQ(typo.echo,
        "ACTION=setup_channel\n"
        "?? getopt returned character code 077 ??\n"
        "CHANNEL=[1\n"
        "?? getopt returned character code 077 ??\n");
    // What the list read up to its fault stays, as before.
    EXPECT_EQ(typo.result.options.channels, Channels({ 1 }));

    EXPECT_EQ(parse({ "-x", "-c", "[2,", "--backupconfig=[\"a\"]]", "--channelcsvfile=C:\\a.csv" })
                  .result.faults,
        Texts({ "Unknown option or option without its value: -x", "Not a JSON value for -c: '[2,'",
            "Not a JSON value for --backupconfig: '[\"a\"]]'",
            "Not a JSON value for --channelcsvfile: 'C:\\a.csv'" }));
    EXPECT_TRUE(parse({ "--channel=2", "--channel=[1, 3]", "--channelcsvfile=[\"a.csv\"]",
                          "--backupconfig=[]", "--dryrun", "-b", "--delete=x" })
                    .result.faults.empty());
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
