#include "sim/controller_config.h"

#include <charconv>
#include <fstream>
#include <sstream>

namespace kovru::sim {
namespace {

constexpr std::size_t kLargestOversizedBody = 256 * 1024 * 1024;

std::vector<std::string> split_words(std::string_view text, std::string_view separators)
{
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t begin = text.find_first_not_of(separators, at);
        if (begin == std::string_view::npos)
            break;
        std::size_t end = text.find_first_of(separators, begin);
        if (end == std::string_view::npos)
            end = text.size();
        words.emplace_back(text.substr(begin, end - begin));
        at = end;
    }
    return words;
}

template <typename Number> bool parse_number(std::string_view text, Number& out)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parse_flag(std::string_view text, bool& out)
{
    if (text == "1" || text == "true" || text == "yes") {
        out = true;
        return true;
    }
    if (text == "0" || text == "false" || text == "no") {
        out = false;
        return true;
    }
    return false;
}

bool parse_share(std::string_view text, double& out)
{
    std::string copy(text);
    char* end = nullptr;
    out = std::strtod(copy.c_str(), &end);
    return !copy.empty() && end == copy.c_str() + copy.size() && out >= 0 && out <= 1;
}

bool parse_block_size_answer(std::string_view text, BlockSizeAnswer& out)
{
    if (text == "cap")
        out = BlockSizeAnswer::cap;
    else if (text == "ignore")
        out = BlockSizeAnswer::ignore;
    else if (text == "refuse")
        out = BlockSizeAnswer::refuse;
    else
        return false;
    return true;
}

bool parse_reboot_mode(std::string_view text, RebootMode& out)
{
    if (text == "hold")
        out = RebootMode::hold;
    else if (text == "refuse")
        out = RebootMode::refuse;
    else if (text == "silent")
        out = RebootMode::silent;
    else
        return false;
    return true;
}

bool is_model_name(std::string_view model)
{
    return model == "VELDIR-1" || model == "VELDIR-2" || model == "VELDIR-3" || model == "VELDIR-4";
}

bool apply_fault(std::string_view key, std::string_view value, FaultSettings& faults, bool& known)
{
    known = true;
    if (key == "latency_ms")
        return parse_number(value, faults.latency_ms) && faults.latency_ms >= 0;
    if (key == "fail_first")
        return parse_number(value, faults.fail_first) && faults.fail_first >= 0;
    if (key == "fail_items") {
        for (auto& item : split_words(value, "|"))
            faults.fail_items.insert(item);
        return true;
    }
    if (key == "no_status_txt")
        return parse_flag(value, faults.no_status_txt);
    if (key == "truncated")
        return parse_flag(value, faults.truncated);
    if (key == "empty")
        return parse_flag(value, faults.empty);
    if (key == "http_error")
        return parse_number(value, faults.http_error) && faults.http_error >= 100
            && faults.http_error <= 599;
    if (key == "http_drop")
        return parse_flag(value, faults.http_drop);
    if (key == "http_reset")
        return parse_flag(value, faults.http_reset);
    if (key == "http_stall_ms")
        return parse_number(value, faults.http_stall_ms) && faults.http_stall_ms >= 0;
    if (key == "http_silent")
        return parse_flag(value, faults.http_silent);
    if (key == "wrong_item")
        return parse_flag(value, faults.wrong_item);
    if (key == "oversized_bytes")
        return parse_number(value, faults.oversized_bytes)
            && faults.oversized_bytes <= kLargestOversizedBody;
    if (key == "tftp_truncated")
        return parse_flag(value, faults.tftp_truncated);
    if (key == "no_model_name")
        return parse_flag(value, faults.no_model_name);
    if (key == "tftp_loss")
        return parse_share(value, faults.tftp_loss);
    if (key == "tftp_stall_ms")
        return parse_number(value, faults.tftp_stall_ms) && faults.tftp_stall_ms >= 0;
    if (key == "tftp_stall_block")
        return parse_number(value, faults.tftp_stall_block) && faults.tftp_stall_block >= 1;
    if (key == "tftp_fail_first")
        return parse_number(value, faults.tftp_fail_first) && faults.tftp_fail_first >= 0;
    if (key == "tftp_silent")
        return parse_flag(value, faults.tftp_silent);
    for (auto [name, list] : { std::pair { "tftp_drop", &faults.tftp_drop },
             std::pair { "tftp_delay", &faults.tftp_delay },
             std::pair { "tftp_duplicate", &faults.tftp_duplicate },
             std::pair { "tftp_reorder", &faults.tftp_reorder },
             std::pair { "tftp_stray", &faults.tftp_stray },
             std::pair { "tftp_error_at", &faults.tftp_error_at },
             std::pair { "tftp_drop_in", &faults.tftp_drop_in } }) {
        if (key == name) {
            for (auto& packet : split_words(value, "|"))
                list->insert(packet);
            return true;
        }
    }
    if (key == "tftp_delay_ms")
        return parse_number(value, faults.tftp_delay_ms) && faults.tftp_delay_ms >= 0;
    if (key == "tftp_repeat_oack")
        return parse_flag(value, faults.tftp_repeat_oack);
    if (key == "tftp_oack_unasked")
        return parse_flag(value, faults.tftp_oack_unasked);
    if (key == "upgrade_keeps_firmware")
        return parse_flag(value, faults.upgrade_keeps_firmware);
    known = false;
    return false;
}

bool apply_setting(
    std::string_view key, std::string_view value, ControllerConfig& config, bool& known)
{
    known = true;
    if (key == "ip") {
        config.ip = value;
        return !value.empty();
    }
    if (key == "port")
        return parse_number(value, config.port) && config.port >= 0 && config.port <= 65535;
    if (key == "reboot_ms")
        return parse_number(value, config.reboot_ms) && config.reboot_ms >= 0
            && config.reboot_ms <= 600000;
    if (key == "reboot_mode")
        return parse_reboot_mode(value, config.reboot_mode);
    if (key == "model") {
        config.model = value;
        return is_model_name(value);
    }
    if (key == "firmware") {
        config.firmware = value;
        return !value.empty() && value.size() < 34;
    }
    if (key == "serial") {
        config.serial = value;
        return true;
    }
    if (key == "mac") {
        config.mac = value;
        return true;
    }
    if (key == "from_backup") {
        config.from_backup = value;
        return !value.empty();
    }
    if (key == "hostname") {
        config.hostname = value;
        return true;
    }
    if (key == "flash_size")
        return parse_number(value, config.flash_size) && config.flash_size > 0
            && config.flash_size <= 64u * 1024 * 1024;
    if (key == "tftp_timeout_ms")
        return parse_number(value, config.tftp_timeout_ms) && config.tftp_timeout_ms > 0;
    if (key == "tftp_tsize")
        return parse_flag(value, config.tftp_tsize);
    if (key == "tftp_retries")
        return parse_number(value, config.tftp_retries) && config.tftp_retries > 0;
    if (key == "tftp_blksize_max")
        return parse_number(value, config.tftp_blksize_max) && config.tftp_blksize_max >= 8
            && config.tftp_blksize_max <= 65464;
    if (key == "tftp_windowsize_max")
        return parse_number(value, config.tftp_windowsize_max) && config.tftp_windowsize_max >= 1
            && config.tftp_windowsize_max <= 64;
    if (key == "tftp_blksize_over")
        return parse_block_size_answer(value, config.tftp_blksize_over);
    if (key == "http_keepalive")
        return parse_number(value, config.http_keepalive) && config.http_keepalive >= 0;
    if (key == "http_close_unannounced")
        return parse_flag(value, config.http_close_unannounced);
    if (key == "http_one_connection")
        return parse_flag(value, config.http_one_connection);
    return apply_fault(key, value, config.faults, known);
}

bool read_config_file(const std::string& path, SimConfig& config, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read config file " + path;
        return false;
    }
    std::stringstream text;
    text << file.rdbuf();
    return read_config_text(text.str(), config, error);
}

// The archive's identity for every identity key the settings left out, through the same
// checks as those keys.
bool load_backup(
    ControllerConfig& config, const std::set<std::string>& given_keys, std::string& error)
{
    auto archive = load_backup_archive(config.from_backup, error);
    if (!archive)
        return false;
    for (auto [key, value] :
        { std::pair { "model", &archive->model }, std::pair { "firmware", &archive->firmware },
            std::pair { "serial", &archive->serial }, std::pair { "mac", &archive->mac } }) {
        bool known = false;
        if (value->empty() || given_keys.contains(key))
            continue;
        if (!apply_setting(key, *value, config, known)) {
            error = "cannot use backup " + config.from_backup + ": its status gives " + key + " \""
                + *value + "\"";
            return false;
        }
    }
    config.backup = std::make_shared<const BackupArchive>(std::move(*archive));
    return true;
}

} // namespace

bool apply_controller_settings(
    std::string_view settings, ControllerConfig& config, std::string& error)
{
    std::set<std::string> given_keys;
    for (const std::string& word : split_words(settings, ", \t")) {
        std::size_t equals = word.find('=');
        if (equals == std::string::npos) {
            error = "setting without '=': " + word;
            return false;
        }
        std::string_view key = std::string_view(word).substr(0, equals);
        std::string_view value = std::string_view(word).substr(equals + 1);
        bool known = false;
        if (!apply_setting(key, value, config, known)) {
            error = known ? "bad value in " + word : "unknown setting " + std::string(key);
            return false;
        }
        given_keys.emplace(key);
    }
    return config.from_backup.empty() || load_backup(config, given_keys, error);
}

bool read_config_text(std::string_view text, SimConfig& config, std::string& error)
{
    int line_number = 0;
    for (const std::string& raw_line : split_words(text, "\n")) {
        ++line_number;
        std::string_view line = raw_line;
        line = line.substr(0, line.find('#'));
        std::vector<std::string> words = split_words(line, " \t\r");
        if (words.empty())
            continue;
        std::string prefix = "line " + std::to_string(line_number) + ": ";
        if (words[0] == "controller") {
            ControllerConfig controller;
            std::size_t rest = line.find("controller") + 10;
            if (!apply_controller_settings(line.substr(rest), controller, error)) {
                error = prefix + error;
                return false;
            }
            config.controllers.push_back(controller);
        } else if (words[0] == "seed" && words.size() == 2) {
            if (!parse_number(std::string_view(words[1]), config.seed)) {
                error = prefix + "bad seed";
                return false;
            }
        } else if (words[0] == "state" && words.size() == 2) {
            config.state_dir = words[1];
        } else {
            error = prefix + "expected 'controller', 'seed' or 'state'";
            return false;
        }
    }
    return true;
}

ParseOutcome parse_command_line(int argc, char** argv, SimConfig& config, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        std::string_view value;
        std::size_t equals = argument.find('=');
        std::string_view name = argument.substr(0, equals);
        bool takes_value = name == "--controller" || name == "--config" || name == "--seed"
            || name == "--state" || name == "--log";
        if (name == "--help" || name == "-h")
            return ParseOutcome::help;
        if (argument == "--served") {
            config.report_served = true;
            continue;
        }
        if (!takes_value) {
            error = "unknown argument " + std::string(argument);
            return ParseOutcome::error;
        }
        if (equals != std::string_view::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = std::string(name) + " needs a value";
            return ParseOutcome::error;
        }
        if (name == "--controller") {
            ControllerConfig controller;
            if (!apply_controller_settings(value, controller, error))
                return ParseOutcome::error;
            config.controllers.push_back(controller);
        } else if (name == "--config") {
            if (!read_config_file(std::string(value), config, error))
                return ParseOutcome::error;
        } else if (name == "--seed") {
            if (!parse_number(value, config.seed)) {
                error = "bad seed";
                return ParseOutcome::error;
            }
        } else if (name == "--log") {
            config.log_file = std::string(value);
        } else {
            config.state_dir = std::string(value);
        }
    }
    if (config.controllers.empty())
        config.controllers.emplace_back();
    return ParseOutcome::run;
}

std::string usage_text()
{
    return R"(Usage: kovru-sim [--controller SETTINGS]... [--config FILE] [--seed N] [--state DIR]
                 [--served] [--log FILE]

Simulates controllers: each serves HTTP (TCP) and TFTP (UDP) on the same address and port.
Without --controller or --config one controller runs on 127.0.0.1 with a free port.

SETTINGS are key=value pairs separated by commas, for example
  --controller ip=127.0.0.1,port=6969,model=VELDIR-2,firmware=1.5.0

Controller keys: ip, port (0 = free port), model (VELDIR-1..VELDIR-4), firmware,
  serial, mac, hostname, flash_size (bytes of flashraw.bin and flashfs.bin),
  from_backup (a kovru-cli backup archive: its items, flashfs.bin, model, firmware,
  serial and mac; keys given beside it win),
  tftp_timeout_ms (retransmission time-out), tftp_retries,
  tftp_tsize (0: read requests get no transfer size),
  tftp_blksize_max (8..65464, largest TFTP block size agreed to),
  tftp_blksize_over (cap|ignore|refuse: the answer to a larger block size),
  tftp_windowsize_max (1..64, largest TFTP window agreed to; 1 ignores the option),
  http_keepalive (answers per HTTP connection, 1 = close after each, 0 = no limit),
  http_close_unannounced (the last answer on a connection still says keep-alive),
  http_one_connection (a connection made while another is open is reset at once),
  reboot_ms (after a firmware upgrade, no answers for this long),
  reboot_mode (hold|refuse|silent: a connection during that time is held and closed
  at its end, closed at once, or read and never answered).
Fault keys: latency_ms, fail_first (first N attempts of each item get no answer),
  fail_items (item names separated by '|'), no_status_txt, truncated, empty,
  http_error (status code), http_drop, http_reset, http_stall_ms, http_silent,
  wrong_item, oversized_bytes, no_model_name, tftp_loss (0..1),
  tftp_stall_ms, tftp_stall_block, tftp_fail_first, tftp_silent, tftp_truncated,
  tftp_drop, tftp_delay, tftp_duplicate, tftp_reorder, tftp_stray, tftp_error_at,
  tftp_drop_in (packets 'oack', 'dataN', 'ackN' separated by '|'), tftp_delay_ms,
  tftp_repeat_oack, tftp_oack_unasked,
  upgrade_keeps_firmware (upgrades are accepted, the old version stays).

--config FILE  lines "controller SETTINGS", "seed N", "state DIR"; '#' starts a comment.
--seed N       seed of the random faults (packet loss); same seed, same losses.
--state DIR    keeps each controller's files in DIR/<ip>_<port> across runs.
--served       on SIGINT or SIGTERM, prints for each controller
               "served ip=IP port=PORT connections=N requests=M" (HTTP connections
               accepted, request heads read) before it ends.
--log FILE     appends a line for each upload and action request a controller takes:
  "IP:PORT upload BYTES", "IP:PORT firmwareupgrade accepted|refused TEXT", ...

On start it prints one line per controller:
  listening ip=127.0.0.1 port=PORT model=MODEL firmware=VERSION
then "ready". It runs until SIGINT or SIGTERM.
)";
}

} // namespace kovru::sim
