// One simulated controller: its identity, configuration files, flash images, the TFTP upload
// area, and the fault decisions. Shared by its HTTP and TFTP servers, so every member
// function locks.
#pragma once

#include "sim/controller_config.h"
#include "sim/event_log.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kovru::sim {

inline constexpr std::size_t kUploadSizeLimit = 16 * 1024 * 1024;

struct ActionAnswer {
    bool accepted = false;
    std::string message;
};

class Controller {
public:
    // Files are made fresh for the configured model and firmware, or loaded from state_dir
    // when it holds a saved controller.
    Controller(ControllerConfig config, std::uint64_t seed,
        std::optional<std::filesystem::path> state_dir);

    // The port is known once the servers are bound.
    void set_port(int port);
    // Where uploads and action requests are noted; nullptr: nowhere.
    void set_event_log(EventLog* log);
    // "IP:PORT event" into the event log.
    void note(const std::string& event) const;
    int port() const;
    const ControllerConfig& config() const { return config_; }
    std::string model() const;
    std::string firmware() const;

    std::string status_document() const;
    // The item's tar image; nullopt for an unknown item name.
    std::optional<std::vector<std::uint8_t>> item_image(const std::string& item_name) const;
    // "flashraw.bin" or "flashfs.bin"; nullopt for any other name.
    std::optional<std::vector<std::uint8_t>> read_flash(const std::string& name) const;
    void store_upload(std::vector<std::uint8_t> image);

    // While a firmware upgrade reboots the controller, neither server answers.
    bool rebooting() const;
    std::chrono::steady_clock::time_point reboot_end() const;

    ActionAnswer restore_upload();
    ActionAnswer upgrade_firmware(const std::string& hash, const std::string& size);
    ActionAnswer accept_device_firmware(const std::string& hash, const std::string& size);

    // Fault decisions; each call counts as one attempt.
    bool fail_item_attempt(const std::string& item_name);
    bool fail_tftp_request();
    bool drop_tftp_packet();

    // The files currently held, by device path (for tests and the state folder).
    std::map<std::string, std::vector<std::uint8_t>> files() const;

    // HTTP connections accepted and request heads read, for the "served" line at the end.
    void count_http_connection() { ++http_connections_; }
    void count_http_request() { ++http_requests_; }
    std::uint64_t http_connections() const { return http_connections_; }
    std::uint64_t http_requests() const { return http_requests_; }

private:
    void make_fresh_state();
    bool load_state();
    void save_state() const;
    std::optional<std::string> check_upload(const std::string& hash, const std::string& size) const;

    const ControllerConfig config_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    std::optional<std::filesystem::path> state_root_;

    std::atomic<std::uint64_t> http_connections_ { 0 };
    std::atomic<std::uint64_t> http_requests_ { 0 };

    mutable std::mutex mutex_;
    int port_ = 0;
    EventLog* log_ = nullptr;
    std::string model_;
    std::string firmware_;
    std::map<std::string, std::vector<std::uint8_t>> files_;
    std::vector<std::uint8_t> flash_raw_;
    std::vector<std::uint8_t> flash_fs_;
    std::vector<std::uint8_t> upload_area_;
    std::vector<std::uint8_t> device_firmware_;
    unsigned boot_count_ = 1;
    std::chrono::steady_clock::time_point reboot_end_ {};
    std::map<std::string, int> item_attempts_;
    int tftp_requests_ = 0;
    std::mt19937_64 random_;
};

} // namespace kovru::sim
