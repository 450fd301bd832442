#include "cli/main/option_parser.h"

#include "cli/log/log.h"
#include "cli/main/option_lists.h"

#include <getopt.h>

#include <cstdarg>
#include <cstdio>

namespace kovru {
namespace {

// Codes of the options that carry a value; flags and echo-only options return 0.
enum OptionCode : int {
    code_action = 256,
    code_ip,
    code_channel,
    code_channel_csv_file,
    code_channel_groups_csv_file,
    code_channel_inputs_csv_file,
    code_backup_file_out,
    code_backup_file_out_type,
    code_backup_config,
    code_backup_file_in,
    code_compare_with,
    code_firmware_file,
    code_verify_upgrade,
    code_tftp_block_size,
    code_events_fd,
    code_tftp_window_size,
    code_create,
    code_version,
    code_help,
};

constexpr const char* kShortOptions = "abc:d:012";

// Flags that getopt_long sets itself; they are copied into the options after parsing.
int verbose_seen = 0;
int no_window_seen = 0;
int dry_run_seen = 0;
int reuse_connection_seen = 0;

const option long_options[] = {
    { "version", no_argument, nullptr, code_version },
    { "help", no_argument, nullptr, code_help },
    { "verbose", no_argument, &verbose_seen, 1 },
    { "nowindow", no_argument, &no_window_seen, 1 },
    { "dryrun", no_argument, &dry_run_seen, 1 },
    { "action", required_argument, nullptr, code_action },
    { "ip", required_argument, nullptr, code_ip },
    { "channel", required_argument, nullptr, code_channel },
    { "channelcsvfile", required_argument, nullptr, code_channel_csv_file },
    { "channelgroupscsvfile", required_argument, nullptr, code_channel_groups_csv_file },
    { "channelinputscsvfile", required_argument, nullptr, code_channel_inputs_csv_file },
    { "backupfileout", required_argument, nullptr, code_backup_file_out },
    { "backupfileouttype", required_argument, nullptr, code_backup_file_out_type },
    { "backupconfig", required_argument, nullptr, code_backup_config },
    { "backupfilein", required_argument, nullptr, code_backup_file_in },
    { "comparewith", required_argument, nullptr, code_compare_with },
    { "firmwarefile", required_argument, nullptr, code_firmware_file },
    { "verifyupgrade", required_argument, nullptr, code_verify_upgrade },
    { "tftpblocksize", required_argument, nullptr, code_tftp_block_size },
    { "reuseconnection", no_argument, &reuse_connection_seen, 1 },
    { "eventsfd", required_argument, nullptr, code_events_fd },
    { "tftpwindowsize", required_argument, nullptr, code_tftp_window_size },
    { "create", required_argument, nullptr, code_create },
    { "delete", required_argument, nullptr, 0 },
    { "file", required_argument, nullptr, 0 },
    { nullptr, 0, nullptr, 0 },
};

// getopt_long permutes its argument vector, so it works on a private mutable copy.
class ArgumentVector {
public:
    explicit ArgumentVector(const std::vector<std::string>& arguments)
        : storage_(arguments)
    {
        if (storage_.empty())
            storage_.emplace_back("kovru-cli");
        for (std::string& argument : storage_)
            pointers_.push_back(argument.data());
        pointers_.push_back(nullptr);
    }
    int count() const { return static_cast<int>(storage_.size()); }
    char** data() { return pointers_.data(); }

private:
    std::vector<std::string> storage_;
    std::vector<char*> pointers_;
};

class OptionReader {
public:
    OptionReader(ParsedCommandLine& parsed, std::FILE* out)
        : parsed_(parsed)
        , out_(out)
    {
    }

    // False once --help or --version has ended the parse.
    bool take(int code, int long_index, int this_option_index)
    {
        CliOptions& options = parsed_.options;
        switch (code) {
        case 0:
            echo_long_option(long_options[long_index].name);
            return true;
        case code_version:
            echo("Version %s\n", kCliVersion);
            return finish();
        case code_help:
            print_help(out_);
            return finish();
        case code_action:
            echo("ACTION=%s\n", optarg);
            options.action = optarg;
            return true;
        case code_ip:
            echo("IP=%s\n", optarg);
            options.ip = optarg;
            return true;
        case 'c':
        case code_channel:
        case code_create:
            echo("CHANNEL=%s\n", optarg);
            replace_channel_list(options.channels, read_channel_values(optarg));
            return true;
        case code_channel_csv_file:
            echo("CHANNELCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_csv_files);
        case code_channel_groups_csv_file:
            echo("CHANNELGROUPSCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_groups_csv_files);
        case code_channel_inputs_csv_file:
            echo("CHANNELINPUTSCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_inputs_csv_files);
        case code_backup_file_out:
            echo("BackupFileOut%s\n", optarg);
            options.backup_file_out = optarg;
            return true;
        case code_backup_file_out_type:
            echo("BackupFileOutType%s\n", optarg);
            options.backup_file_out_type = optarg;
            return true;
        case code_backup_config:
            echo("BackupConfig%s\n", optarg);
            replace_text_list(options.backup_config, read_text_values(optarg));
            return true;
        case code_backup_file_in:
            echo("BackupFileIn%s\n", optarg);
            options.backup_file_in = optarg;
            return true;
        case code_compare_with:
            echo("COMPAREWITH=%s\n", optarg);
            options.compare_with = optarg;
            return true;
        case code_firmware_file:
            echo("FIRMWAREFILE=%s\n", optarg);
            options.firmware_file = optarg;
            return true;
        case code_verify_upgrade:
            echo("VERIFYUPGRADE=%s\n", optarg);
            options.verify_upgrade = optarg;
            return true;
        case code_tftp_block_size:
            echo("TFTPBLOCKSIZE=%s\n", optarg);
            options.tftp_block_size = optarg;
            return true;
        case code_events_fd:
            // No echo: standard output stays the same with and without the event stream.
            options.events_fd = optarg;
            return true;
        case code_tftp_window_size:
            echo("TFTPWINDOWSIZE=%s\n", optarg);
            options.tftp_window_size = optarg;
            return true;
        case '0':
        case '1':
        case '2':
            echo_digit(code, this_option_index);
            return true;
        default:
            echo("?? getopt returned character code 0%o ??\n", static_cast<unsigned>(code));
            return true;
        }
    }

private:
    void echo(const char* format, ...) KOVRU_PRINTF(2, 3)
    {
        if (!out_)
            return;
        va_list args;
        va_start(args, format);
        print_to_v(out_, format, args);
        va_end(args);
    }

    void echo_long_option(const char* name)
    {
        echo("option %s", name);
        if (optarg)
            echo(" with arg %s", optarg);
        echo("\n");
    }

    void echo_digit(int digit, int this_option_index)
    {
        if (digit_index_ != 0 && digit_index_ != this_option_index)
            echo("digits occur in two different argv-elements.\n");
        digit_index_ = this_option_index;
        echo("option %c\n", digit);
    }

    bool take_file_list(std::vector<std::string>& list)
    {
        echo("optarg=#%s#", optarg);
        replace_text_list(list, read_text_values(optarg));
        return true;
    }

    bool finish()
    {
        parsed_.outcome = ParseOutcome::finished;
        return false;
    }

    ParsedCommandLine& parsed_;
    std::FILE* out_;
    int digit_index_ = 0;
};

} // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments, std::FILE* out)
{
    ParsedCommandLine parsed;
    ArgumentVector argv(arguments);
    OptionReader reader(parsed, out);
    verbose_seen = 0;
    no_window_seen = 0;
    reuse_connection_seen = 0;
    // 0 makes glibc start over, including its permutation state.
    optind = 0;
    opterr = out ? 1 : 0;
    for (;;) {
        int this_option_index = optind ? optind : 1;
        int long_index = 0;
        int code = getopt_long(argv.count(), argv.data(), kShortOptions, long_options, &long_index);
        if (code == -1)
            break;
        if (!reader.take(code, long_index, this_option_index))
            return parsed;
    }
    for (int index = optind; index < argv.count(); ++index)
        parsed.operands.emplace_back(argv.data()[index]);
    parsed.options.verbose = verbose_seen != 0;
    parsed.options.no_window = no_window_seen != 0;
    parsed.options.dry_run = dry_run_seen != 0;
    parsed.options.reuse_connection = reuse_connection_seen != 0;
    return parsed;
}

bool wants_console_only(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed = parse_command_line(arguments, nullptr);
    return parsed.outcome == ParseOutcome::finished || parsed.options.no_window;
}

void print_help(std::FILE* out)
{
    static const char* const lines[] = {
        "Help\n",
        "version\t\tShow the command version.\n",
        "help\t\tShow the command help.\n",
        "action\t\tsetup_channel|get_backup|put_backup|push_firmware|push_d2fw.\n",
        "ip\t\tIP address of the controller.\n",
        "channel\t\tChannel number (1-4).\n",
        "channelcsvfile\tChannel CSV file path.\n",
        "firmwarefile\tFirmware binary file path.\n",
        "verifyupgrade\tSeconds to wait for the controller to report the new firmware.\n",
        "channelgroupscsvfile\tGroup CSV file path.\n",
        "channelinputscsvfile\tInput device CSV file path.\n",
        "dryrun\t\tWith setup_channel: show what would change, push nothing.\n"
        "\t\tWith put_backup: compare the backup with the controller, push nothing.\n",
        "export_channel\tAction: write the controller's channel, group and input CSV files.\n",
        "compare_backup\tAction: compare backupfilein with comparewith or with the controller "
        "(ip).\n",
        "comparewith\tSecond backup file path for compare_backup.\n",
        "audit_lines\tAction: audit the DALI lines of the controller (ip) or of backupfilein.\n",
        "eventsfd\tWrite progress, log lines and the cause of a failure as JSON lines to this file "
        "descriptor.\n",
        "tftpwindowsize\tTFTP blocks per acknowledgement (1-64) for flash reads and uploads.\n",
    };
    if (!out)
        return;
    for (const char* line : lines)
        print_to(out, "%s", line);
}

} // namespace kovru
