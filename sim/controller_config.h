// What one simulated controller is and which faults it shows, as given on the command line
// or in a config file.
#pragma once

#include "sim/backup_archive.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace kovru::sim {

struct FaultSettings {
    int latency_ms = 0; // added before every HTTP answer and every TFTP packet sent
    int fail_first = 0; // the first N attempts of each item fetch get no answer
    std::set<std::string> fail_items; // restricts fail_first to these items; empty: all items
    bool no_status_txt = false; // item images without "status.txt"
    bool truncated = false; // answers announce their full length and send half of it
    bool empty = false; // answers with an empty body
    int http_error = 0; // every request is answered with this HTTP status code
    bool http_drop = false; // every HTTP connection is closed without an answer
    bool http_reset = false; // half of each answer is sent, then the connection is reset
    int http_stall_ms = 0; // pause after half of each answer's body
    bool http_silent = false; // connections are accepted and never answered
    bool wrong_item = false; // item answers hold the next item's file instead
    std::size_t oversized_bytes = 0; // every answer body is padded to at least this size
    bool no_model_name = false; // the status document lacks "model_name"
    double tftp_loss = 0; // share of outgoing TFTP packets that are dropped
    int tftp_stall_ms = 0; // pause before sending block tftp_stall_block
    int tftp_stall_block = 1;
    int tftp_fail_first = 0; // the first N TFTP requests are refused with an ERROR packet
    bool tftp_silent = false; // TFTP requests are ignored
    bool tftp_truncated = false; // read transfers end after half the announced size
    // Chosen packets of each transfer (sim/tftp_faults.h): lost, late by tftp_delay_ms, sent
    // twice, sent after the next packet, echoed from another port, replaced by an ERROR; and
    // packets of the client's that are not seen.
    std::set<std::string> tftp_drop, tftp_delay, tftp_duplicate, tftp_reorder, tftp_stray,
        tftp_error_at, tftp_drop_in;
    int tftp_delay_ms = 1500;
    bool tftp_repeat_oack = false; // every OACK goes out twice at once
    bool tftp_oack_unasked = false; // OACKs carry an option no client asked for
    bool upgrade_keeps_firmware = false; // upgrades are accepted, the old firmware stays
};

// What a controller does with a block-size option above its largest size.
enum class BlockSizeAnswer {
    cap, // agrees to its largest size
    ignore, // leaves the option out of its answer: 512-byte blocks
    refuse, // answers the request with error 8, "option refused"
};

// What a connection made while the controller restarts after an upgrade gets.
enum class RebootMode {
    hold, // held unread and unanswered, closed when the restart is over
    refuse, // closed at once, unanswered, as by a controller that refuses connections
    silent, // its request is read and never answered; held until the client gives up
};

struct ControllerConfig {
    std::string ip = "127.0.0.1";
    int port = 0; // 0: a free port, printed on start
    std::string model = "VELDIR-2";
    std::string firmware = "1.5.0";
    std::string serial; // default derived from the port
    std::string mac; // default derived from the port
    std::string hostname; // default derived from the port
    std::size_t flash_size = 2 * 1024 * 1024;
    int tftp_timeout_ms = 1000;
    int tftp_retries = 5;
    bool tftp_tsize = true; // answers the transfer-size option of read requests
    std::size_t tftp_blksize_max = 65464;
    BlockSizeAnswer tftp_blksize_over = BlockSizeAnswer::cap;
    int tftp_windowsize_max = 64; // the largest window agreed to (RFC 7440); 1: option ignored
    int http_keepalive = 1; // answers per HTTP connection; 0: as many as the client sends
    bool http_close_unannounced = false; // every answer says keep-alive, even the last
    bool http_one_connection = false; // a connection made while another is open is reset
    int reboot_ms = 0; // after an accepted firmware upgrade nothing is answered for this long
    RebootMode reboot_mode = RebootMode::hold;
    FaultSettings faults;
    // from_backup: the archive whose items and flash file-system image the controller serves;
    // its model, firmware, serial and MAC apply unless the settings give them.
    std::string from_backup;
    std::shared_ptr<const BackupArchive> backup;
};

struct SimConfig {
    std::vector<ControllerConfig> controllers;
    std::optional<std::string> state_dir;
    std::optional<std::string> log_file; // --log: what the controllers did, a line each
    std::uint64_t seed = 1;
    bool report_served = false; // --served: the "served" lines at the end
};

// Applies "key=value" settings separated by commas or blanks, then reads the archive that
// from_backup names. false with a message on error.
bool apply_controller_settings(
    std::string_view settings, ControllerConfig& config, std::string& error);

// Lines "controller key=value ...", "seed N", "state DIR"; "#" starts a comment.
bool read_config_text(std::string_view text, SimConfig& config, std::string& error);

enum class ParseOutcome { run, help, error };
ParseOutcome parse_command_line(int argc, char** argv, SimConfig& config, std::string& error);

std::string usage_text();

} // namespace kovru::sim
