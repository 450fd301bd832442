#include "cli/main/command_line.h"

#include "cli/log/log.h"
#include "cli/log/tool_events.h"
#include "cli/main/option_parser.h"
#include "cli/transport/reused_connection.h"
#include "cli/transport/transfer_settings.h"
#include "common/exit_status.h"

#include <curl/curl.h>

#include <cstdio>

namespace kovru {
namespace {

class CurlGlobal {
public:
    CurlGlobal() { curl_global_init(CURL_GLOBAL_ALL); }
    ~CurlGlobal() { curl_global_cleanup(); }
    CurlGlobal(const CurlGlobal&) = delete;
    CurlGlobal& operator=(const CurlGlobal&) = delete;
};

void echo_operands(const std::vector<std::string>& operands)
{
    if (operands.empty())
        return;
    print_out("non-option ARGV-elements: ");
    for (const std::string& operand : operands)
        print_out("%s ", operand.c_str());
    print_out("\n");
}

void echo_if_present(const char* name, const std::optional<std::string>& value)
{
    if (value)
        print_out("opt%s=%s\n", name, value->c_str());
}

// --tftpblocksize, --tftpwindowsize, --fetchconnections and --reuseconnection; false with a message
// for a value out of range.
bool apply_transfer_options(const CliOptions& options)
{
    TransferSettings settings;
    if (options.tftp_block_size) {
        std::optional<long> size = parse_tftp_block_size(*options.tftp_block_size);
        if (!size) {
            log_error(
                "Invalid --tftpblocksize value '%s': a whole number from %ld to %ld expected.",
                options.tftp_block_size->c_str(), kSmallestTftpBlockSize, kLargestTftpBlockSize);
            return false;
        }
        settings.tftp_block_size = *size;
    }
    if (options.tftp_window_size) {
        std::optional<int> window = parse_tftp_window_size(*options.tftp_window_size);
        if (!window) {
            log_error("Invalid --tftpwindowsize value '%s': a whole number from 1 to %d expected.",
                options.tftp_window_size->c_str(), kLargestTftpWindowSize);
            return false;
        }
        settings.tftp_window_size = *window;
    }
    if (options.fetch_connections) {
        std::optional<int> connections = parse_fetch_connections(*options.fetch_connections);
        if (!connections) {
            log_error(
                "Invalid --fetchconnections value '%s': a whole number from 1 to %d expected.",
                options.fetch_connections->c_str(), kLargestFetchConnections);
            return false;
        }
        settings.fetch_connections = *connections;
    }
    settings.reuse_connection = options.reuse_connection || options.tftp_block_size;
    set_transfer_settings(settings);
    return true;
}

// A mistyped option must not run the action without it: "--dry-run" for "--dryrun" would
// push for real.
bool refuse_faults(const std::vector<std::string>& faults)
{
    if (faults.empty())
        return false;
    for (const std::string& fault : faults)
        log_error("%s", fault.c_str());
    log_error("The command line was refused; nothing was done.");
    return true;
}

// --eventsfd; false with a message for a value that names no descriptor open for writing.
bool start_events(const CliOptions& options)
{
    if (!options.events_fd)
        return true;
    std::optional<int> fd = parse_events_fd(*options.events_fd);
    if (!fd) {
        log_error("Invalid --eventsfd value '%s': a file descriptor from 3 up, open for writing, "
                  "expected.",
            options.events_fd->c_str());
        return false;
    }
    start_tool_events(*fd);
    return true;
}

} // namespace

int run_command_line(const std::vector<std::string>& arguments, const ActionTable& actions)
{
    print_out("%s\n", "kovru-cli");
    CurlGlobal curl;
    ParsedCommandLine parsed = parse_command_line(arguments, stdout);
    if (parsed.outcome == ParseOutcome::finished) {
        return 0;
    }
    const CliOptions& options = parsed.options;
    echo_operands(parsed.operands);
    echo_if_present("Action", options.action);
    echo_if_present("IP", options.ip);
    echo_if_present("BackupFileOut", options.backup_file_out);
    echo_if_present("BackupFileOutType", options.backup_file_out_type);
    set_verbose(options.verbose);
    if (!start_events(options))
        return exit_refused;
    int status = exit_refused;
    if (!refuse_faults(parsed.faults) && apply_transfer_options(options))
        status = dispatch_action(options, actions);
    close_reused_connection();
    report_run_end(status);
    stop_tool_events();
    return status;
}

} // namespace kovru
