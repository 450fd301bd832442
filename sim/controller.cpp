#include "sim/controller.h"

#include "common/posix/atomic_replace.h"
#include "sim/config_files.h"
#include "sim/firmware_image.h"
#include "sim/sha256.h"
#include "sim/tar_reader.h"
#include "sim/tar_writer.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

namespace kovru::sim {
namespace {

// Every file the controller hands out carries this modification time.
constexpr std::uint64_t kFileMtime = 1793836800;

std::string two_digits(unsigned value)
{
    char text[4];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string utc_time_text()
{
    std::time_t now = std::time(nullptr);
    std::tm utc {};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

std::string uptime_text(std::chrono::steady_clock::duration elapsed)
{
    long long seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    char text[48];
    std::snprintf(text, sizeof text, "%lld days %02lld:%02lld:%02lld", seconds / 86400,
        seconds / 3600 % 24, seconds / 60 % 60, seconds % 60);
    return text;
}

bool read_whole_file(const std::filesystem::path& path, std::vector<std::uint8_t>& out)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    out.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

void write_whole_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::filesystem::path temporary = path;
    temporary += ".tmp";
    auto replacement = AtomicReplacement::begin(path, temporary);
    if (replacement)
        replacement->commit(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string lower_hex(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

} // namespace

Controller::Controller(
    ControllerConfig config, std::uint64_t seed, std::optional<std::filesystem::path> state_dir)
    : config_(std::move(config))
    , state_root_(std::move(state_dir))
    , random_(seed)
{
    model_ = config_.model;
    firmware_ = config_.firmware;
    make_fresh_state();
}

// From a backup only its items exist; the raw flash image is never in a backup, so it is made
// for the backup's model and firmware.
void Controller::make_fresh_state()
{
    files_.clear();
    if (config_.backup) {
        files_ = config_.backup->files;
    } else {
        for (const ControllerItem& item : controller_items())
            files_[std::string(item.device_path)] = make_item_file(item, firmware_);
    }
    std::string seed_text = config_.ip + ":" + std::to_string(config_.port);
    flash_raw_ = make_flash_raw(config_.flash_size, model_, firmware_, seed_text);
    if (config_.backup && config_.backup->flash_fs)
        flash_fs_ = *config_.backup->flash_fs;
    else
        flash_fs_ = make_flash_fs(config_.flash_size, seed_text + "/fs");
}

void Controller::set_event_log(EventLog* log)
{
    std::lock_guard lock(mutex_);
    log_ = log;
}

void Controller::note(const std::string& event) const
{
    EventLog* log = nullptr;
    std::string prefix;
    {
        std::lock_guard lock(mutex_);
        log = log_;
        prefix = config_.ip + ":" + std::to_string(port_) + " ";
    }
    if (log)
        log->write(prefix + event);
}

void Controller::set_port(int port)
{
    std::lock_guard lock(mutex_);
    port_ = port;
    if (!state_root_)
        return;
    state_root_ = *state_root_ / (config_.ip + "_" + std::to_string(port));
    if (!load_state())
        save_state();
}

int Controller::port() const
{
    std::lock_guard lock(mutex_);
    return port_;
}

std::string Controller::model() const
{
    std::lock_guard lock(mutex_);
    return model_;
}

std::string Controller::firmware() const
{
    std::lock_guard lock(mutex_);
    return firmware_;
}

bool Controller::load_state()
{
    std::vector<std::uint8_t> raw;
    if (!read_whole_file(*state_root_ / "flashraw.bin", raw))
        return false;
    std::optional<FirmwareInfo> info = read_firmware_info(raw);
    if (info) {
        model_ = info->model;
        firmware_ = info->version;
    }
    flash_raw_ = std::move(raw);
    read_whole_file(*state_root_ / "flashfs.bin", flash_fs_);
    files_.clear();
    for (const ControllerItem& item : controller_items()) {
        std::vector<std::uint8_t> file;
        if (read_whole_file(*state_root_ / "config" / (std::string(item.item_name) + ".bin"), file))
            files_[std::string(item.device_path)] = std::move(file);
    }
    return true;
}

void Controller::save_state() const
{
    std::error_code ignored;
    std::filesystem::create_directories(*state_root_ / "config", ignored);
    write_whole_file(*state_root_ / "flashraw.bin", flash_raw_);
    write_whole_file(*state_root_ / "flashfs.bin", flash_fs_);
    for (const ControllerItem& item : controller_items()) {
        auto held = files_.find(std::string(item.device_path));
        if (held != files_.end())
            write_whole_file(
                *state_root_ / "config" / (std::string(item.item_name) + ".bin"), held->second);
    }
}

std::string Controller::status_document() const
{
    std::lock_guard lock(mutex_);
    unsigned port_tag = static_cast<unsigned>(port_);
    std::string mac = config_.mac;
    if (mac.empty())
        mac = "00:1E:C0:4A:" + two_digits(port_tag >> 8) + ":" + two_digits(port_tag);
    std::string serial
        = config_.serial.empty() ? "VD" + std::to_string(100000 + port_tag) : config_.serial;
    std::string hostname
        = config_.hostname.empty() ? "veldir-" + std::to_string(port_tag) : config_.hostname;
    nlohmann::ordered_json status;
    if (!config_.faults.no_model_name)
        status["model_name"] = model_;
    status["firmware_version"] = firmware_;
    status["build_date"] = "2026-11-02 08:30:00";
    status["license"] = "standard";
    status["license_number"] = "LIC-" + serial;
    status["hostname"] = hostname;
    status["serial_number"] = serial;
    status["mac"] = mac;
    status["rtc_temperature"] = "31.5";
    status["ram_memory"] = "65536 kB";
    status["flash_memory"] = std::to_string(config_.flash_size / 1024) + " kB";
    status["boot_count"] = std::to_string(boot_count_);
    status["time"] = utc_time_text();
    status["uptime"] = uptime_text(std::chrono::steady_clock::now() - started_);
    for (int line = 1; line <= 4; ++line)
        status["dali_channel_" + std::to_string(line)] = line <= 2 ? "ok" : "no power";
    status["ip"] = config_.ip;
    status["bacnet_ip"] = config_.ip + ":47808";
    status["bacnet_device_id"] = std::to_string(260000 + port_tag);
    status["session_id"] = "";
    status["username"] = "";
    return status.dump();
}

std::optional<std::vector<std::uint8_t>> Controller::item_image(const std::string& item_name) const
{
    const ControllerItem* item = find_controller_item(item_name);
    if (!item)
        return std::nullopt;
    std::lock_guard lock(mutex_);
    TarWriter writer;
    if (config_.faults.wrong_item) {
        const auto items = controller_items();
        item = &items[(item->kind + 1) % items.size()];
    }
    auto held = files_.find(std::string(item->device_path));
    if (held == files_.end())
        return std::nullopt;
    writer.add_file(held->first, held->second, kFileMtime);
    if (!config_.faults.no_status_txt) {
        nlohmann::ordered_json status;
        status["model_name"] = model_;
        status["firmware_version"] = firmware_;
        status["serial_number"]
            = config_.serial.empty() ? "VD" + std::to_string(100000 + port_) : config_.serial;
        status["mac"] = config_.mac.empty()
            ? "00:1E:C0:4A:" + two_digits(unsigned(port_) >> 8) + ":" + two_digits(unsigned(port_))
            : config_.mac;
        std::string text = status.dump(2) + "\n";
        writer.add_file("status.txt",
            std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), kFileMtime);
    }
    return writer.finish();
}

std::optional<std::vector<std::uint8_t>> Controller::read_flash(const std::string& name) const
{
    std::lock_guard lock(mutex_);
    if (name == "flashraw.bin")
        return flash_raw_;
    if (name == "flashfs.bin")
        return flash_fs_;
    return std::nullopt;
}

void Controller::store_upload(std::vector<std::uint8_t> image)
{
    const std::size_t bytes = image.size();
    {
        std::lock_guard lock(mutex_);
        upload_area_ = std::move(image);
    }
    note("upload " + std::to_string(bytes));
}

ActionAnswer Controller::restore_upload()
{
    std::lock_guard lock(mutex_);
    if (upload_area_.empty())
        return { false, "no uploaded image" };
    TarListing listing = read_tar_files(upload_area_);
    if (!listing.error.empty())
        return { false, "bad tar image: " + listing.error };
    std::map<std::string, std::vector<std::uint8_t>> restored;
    for (const TarFile& file : listing.files) {
        if (find_controller_item_by_path(file.name))
            restored[file.name].assign(file.data.begin(), file.data.end());
    }
    if (restored.empty())
        return { false, "no configuration file in the image" };
    for (auto& [path, bytes] : restored)
        files_[path] = std::move(bytes);
    upload_area_.clear();
    if (state_root_)
        save_state();
    return { true, "restored " + std::to_string(restored.size()) + " file(s)" };
}

std::optional<std::string> Controller::check_upload(
    const std::string& hash, const std::string& size) const
{
    if (upload_area_.empty())
        return "no uploaded image";
    if (size != std::to_string(upload_area_.size()))
        return "size mismatch";
    if (lower_hex(hash) != sha256_hex(upload_area_))
        return "digest mismatch";
    return std::nullopt;
}

ActionAnswer Controller::upgrade_firmware(const std::string& hash, const std::string& size)
{
    std::lock_guard lock(mutex_);
    if (auto refusal = check_upload(hash, size))
        return { false, *refusal };
    std::optional<FirmwareInfo> info = read_firmware_info(upload_area_);
    if (!info)
        return { false, "no firmware information block" };
    if (!config_.faults.upgrade_keeps_firmware) {
        model_ = info->model;
        firmware_ = info->version;
        flash_raw_ = std::move(upload_area_);
    }
    upload_area_.clear();
    ++boot_count_;
    reboot_end_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(config_.reboot_ms);
    if (state_root_)
        save_state();
    return { true, "firmware " + info->version + " installed" };
}

bool Controller::rebooting() const
{
    std::lock_guard lock(mutex_);
    return std::chrono::steady_clock::now() < reboot_end_;
}

std::chrono::steady_clock::time_point Controller::reboot_end() const
{
    std::lock_guard lock(mutex_);
    return reboot_end_;
}

ActionAnswer Controller::accept_device_firmware(const std::string& hash, const std::string& size)
{
    std::lock_guard lock(mutex_);
    if (auto refusal = check_upload(hash, size))
        return { false, *refusal };
    device_firmware_ = std::move(upload_area_);
    upload_area_.clear();
    if (state_root_)
        write_whole_file(*state_root_ / "devicefirmware.bin", device_firmware_);
    return { true, "device firmware accepted" };
}

bool Controller::fail_item_attempt(const std::string& item_name)
{
    std::lock_guard lock(mutex_);
    const FaultSettings& faults = config_.faults;
    if (faults.fail_first == 0)
        return false;
    if (!faults.fail_items.empty() && !faults.fail_items.contains(item_name))
        return false;
    return ++item_attempts_[item_name] <= faults.fail_first;
}

bool Controller::fail_tftp_request()
{
    std::lock_guard lock(mutex_);
    return ++tftp_requests_ <= config_.faults.tftp_fail_first;
}

bool Controller::drop_tftp_packet()
{
    std::lock_guard lock(mutex_);
    if (config_.faults.tftp_loss <= 0)
        return false;
    return std::uniform_real_distribution<double>(0, 1)(random_) < config_.faults.tftp_loss;
}

std::map<std::string, std::vector<std::uint8_t>> Controller::files() const
{
    std::lock_guard lock(mutex_);
    return files_;
}

} // namespace kovru::sim
