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
    code_tftp_window_size,
    code_fetch_connections,
    code_events_fd,
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
    { "tftpwindowsize", required_argument, nullptr, code_tftp_window_size },
    { "fetchconnections", required_argument, nullptr, code_fetch_connections },
    { "eventsfd", required_argument, nullptr, code_events_fd },
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
    OptionReader(ParsedCommandLine& parsed, std::FILE* out, char** argv)
        : parsed_(parsed)
        , out_(out)
        , argv_(argv)
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
            check_json_list(code == 'c' ? "c" : long_options[long_index].name);
            replace_channel_list(options.channels, read_channel_values(optarg));
            return true;
        case code_channel_csv_file:
            echo("CHANNELCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_csv_files, long_index);
        case code_channel_groups_csv_file:
            echo("CHANNELGROUPSCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_groups_csv_files, long_index);
        case code_channel_inputs_csv_file:
            echo("CHANNELINPUTSCSVFILE=%s\n", optarg);
            return take_file_list(options.channel_inputs_csv_files, long_index);
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
            check_json_list(long_options[long_index].name);
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
        case code_tftp_window_size:
            echo("TFTPWINDOWSIZE=%s\n", optarg);
            options.tftp_window_size = optarg;
            return true;
        case code_fetch_connections:
            echo("FETCHCONNECTIONS=%s\n", optarg);
            options.fetch_connections = optarg;
            return true;
        case code_events_fd:
            // No echo: standard output stays the same with and without the event stream.
            options.events_fd = optarg;
            return true;
        case '0':
        case '1':
        case '2':
            echo_digit(code, this_option_index);
            return true;
        case '?':
            // The option parser has said why on standard error; the echo stays as specified.
            echo("?? getopt returned character code 0%o ??\n", static_cast<unsigned>(code));
            parsed_.faults.push_back("Unknown option or option without its value: " + offender());
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

    bool take_file_list(std::vector<std::string>& list, int long_index)
    {
        echo("optarg=#%s#", optarg);
        check_json_list(long_options[long_index].name);
        replace_text_list(list, read_text_values(optarg));
        return true;
    }

    // A list value that is not JSON would be read up to its fault and taken as if closed.
    void check_json_list(const char* name)
    {
        if (is_json_text(optarg))
            return;
        const char* dashes = name[1] ? "--" : "-";
        parsed_.faults.push_back(
            std::string("Not a JSON value for ") + dashes + name + ": '" + optarg + "'");
    }

    // The argument getopt_long refused: a short option by its letter, a long one as typed.
    std::string offender() const
    {
        if (optopt > 0 && optopt < 256)
            return std::string("-") + static_cast<char>(optopt);
        return optind > 0 ? argv_[optind - 1] : "";
    }

    bool finish()
    {
        parsed_.outcome = ParseOutcome::finished;
        return false;
    }

    ParsedCommandLine& parsed_;
    std::FILE* out_;
    char** argv_;
    int digit_index_ = 0;
};

} // namespace

ParsedCommandLine parse_command_line(const std::vector<std::string>& arguments, std::FILE* out)
{
    ParsedCommandLine parsed;
    ArgumentVector argv(arguments);
    OptionReader reader(parsed, out, argv.data());
    verbose_seen = 0;
    no_window_seen = 0;
    dry_run_seen = 0;
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

std::vector<std::string> long_option_names()
{
    std::vector<std::string> names;
    for (const option* entry = long_options; entry->name; ++entry)
        names.emplace_back(entry->name);
    return names;
}

bool wants_console_only(const std::vector<std::string>& arguments)
{
    ParsedCommandLine parsed = parse_command_line(arguments, nullptr);
    return parsed.outcome == ParseOutcome::finished || parsed.options.no_window;
}

} // namespace kovru
