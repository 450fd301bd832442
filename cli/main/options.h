// What the command line of kovru-cli holds once parsed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kovru {

struct CliOptions {
    std::optional<std::string> action;
    std::optional<std::string> ip;
    std::optional<std::string> backup_file_out;
    std::optional<std::string> backup_file_out_type;
    std::optional<std::string> backup_file_in;
    // compare_backup: the second archive.
    std::optional<std::string> compare_with;
    std::optional<std::string> firmware_file;
    // Seconds push_firmware waits for the controller to report the new version, as typed.
    std::optional<std::string> verify_upgrade;
    // --tftpblocksize as typed: the TFTP block size of flash reads, backups and uploads.
    std::optional<std::string> tftp_block_size;
    // --eventsfd as typed: the descriptor the event lines go to (docs/tool_events.md).
    std::optional<std::string> events_fd;
    // --tftpwindowsize as typed: blocks per acknowledgement of TFTP transfers (RFC 7440).
    std::optional<std::string> tftp_window_size;
    // --fetchconnections as typed: a backup's item fetches at once, each on its own connection.
    std::optional<std::string> fetch_connections;
    // Lists hold their entries only; an empty list is an absent one.
    std::vector<std::int32_t> channels;
    std::vector<std::string> channel_csv_files;
    std::vector<std::string> channel_groups_csv_files;
    std::vector<std::string> channel_inputs_csv_files;
    std::vector<std::string> backup_config;
    bool verbose = false;
    bool no_window = false;
    bool dry_run = false; // setup_channel and put_backup compare and report, and push nothing
    bool reuse_connection = false; // item fetches keep one HTTP connection open
};

} // namespace kovru
