// The fault matrix: every kovru-cli action and the host's status client against a simulated
// controller showing one fault at a time. Each cell must end with its log line and exit
// status, leave no partial file under a final name and end within its time-outs (divided by
// KOVRU_TEST_TIME_DIVISOR). The rows go to fault_matrix.md in the build folder; the copy in
// docs/ must match it (scripts/update_fault_matrix.sh).
#include "fakes/backup_test_support.h"
#include "fakes/firmware_files.h"
#include "fakes/sim_process.h"
#include "host/actions/status_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace kovru {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kDivisor = "60";
constexpr std::size_t kFlashSize = 65536;
constexpr int kParallelCells = 12;
// A run still going after its bound times this is taken as hung and killed.
constexpr double kHangFactor = 3;

struct Fault {
    const char* name;
    const char* settings;
    const char* effect;
};

const Fault kFaults[] = {
    { "loss",
        "tftp_loss=0.03,tftp_timeout_ms=20,tftp_retries=400,fail_first=2,fail_items=systemconfig|"
        "dali1",
        "3 % of the TFTP packets it sends are lost; the first two fetches of two items get no "
        "answer" },
    { "stall", "http_stall_ms=600000,tftp_stall_ms=4000,tftp_stall_block=1",
        "answers stop after their head and first byte; TFTP reads stop after the options" },
    { "reset", "http_reset=1", "half of each HTTP answer, then a TCP reset" },
    { "truncated", "truncated=1,tftp_truncated=1",
        "HTTP answers announce their length and send half; TFTP reads end halfway" },
    { "http404", "http_error=404", "every HTTP request is answered 404" },
    { "http500", "http_error=500", "every HTTP request is answered 500" },
    { "silent", "http_silent=1,tftp_silent=1",
        "connections are accepted and never answered; TFTP requests are ignored" },
    { "wrong_entry", "wrong_item=1", "item answers hold the next item's file" },
    { "oversized", "oversized_bytes=20000000", "every HTTP answer body is 20 MB long" },
};

// What a cell leaves behind in the folders the action writes to.
enum class Output { nothing, backup, flash_file, csv_file, safety_backup };

const char* output_name(Output output)
{
    switch (output) {
    case Output::nothing:
        return "nothing";
    case Output::backup:
        return "whole backup";
    case Output::flash_file:
        return "whole flashraw.bin";
    case Output::csv_file:
        return "line1.csv";
    case Output::safety_backup:
        return "whole safety backup";
    }
    return "?";
}

struct Expected {
    int status; // exit status, or the status client's code
    const char* cause; // a line of its output that names the fault, or the client's message
    const char* outcome; // a line that says what came of the action; nullptr: none asked
    Output output;
    double bound_s; // at the divided time-outs
};

struct Cell {
    const char* action;
    const char* fault;
    Expected expected;
};

// clang-format off
const Cell kCells[] = {
    { "get_status", "loss", { 0, "model_name=VELDIR-2", nullptr, Output::nothing, 15 } },
    { "get_status", "stall", { 1, "curl_easy_perform() failed: Timeout was reached", nullptr, Output::nothing, 10 } },
    { "get_status", "reset", { 1, "curl_easy_perform() failed: Failure when receiving data from the peer", nullptr, Output::nothing, 15 } },
    { "get_status", "truncated", { 1, "curl_easy_perform() failed: Transferred a partial file", nullptr, Output::nothing, 15 } },
    { "get_status", "http404", { 1, "Status request failed with HTTP 404.", nullptr, Output::nothing, 15 } },
    { "get_status", "http500", { 1, "Status request failed with HTTP 500.", nullptr, Output::nothing, 15 } },
    { "get_status", "silent", { 1, "curl_easy_perform() failed: Timeout was reached", nullptr, Output::nothing, 10 } },
    { "get_status", "wrong_entry", { 0, "model_name=VELDIR-2", nullptr, Output::nothing, 15 } },
    { "get_status", "oversized", { 1, "curl_easy_perform() failed: Answer larger than 16 MiB, or out of memory", nullptr, Output::nothing, 15 } },
    { "get_backup", "loss", { 0, "Retrying backup fetch (retry 2 of 5)...", "100% Completed (", Output::backup, 15 } },
    { "get_backup", "stall", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "No configuration item could be fetched; no backup written.", Output::nothing, 60 } },
    { "get_backup", "reset", { 1, "Transfer failed: Failure when receiving data from the peer (attempt 5/5)", "No configuration item could be fetched; no backup written.", Output::nothing, 15 } },
    { "get_backup", "truncated", { 1, "Transfer failed: Transferred a partial file (attempt 5/5)", "No configuration item could be fetched; no backup written.", Output::nothing, 15 } },
    { "get_backup", "http404", { 1, "The controller answered HTTP 404 for systemconfig.", "No configuration item could be fetched; no backup written.", Output::nothing, 15 } },
    { "get_backup", "http500", { 1, "The controller answered HTTP 500 for systemconfig.", "No configuration item could be fetched; no backup written.", Output::nothing, 15 } },
    { "get_backup", "silent", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "No configuration item could be fetched; no backup written.", Output::nothing, 60 } },
    { "get_backup", "wrong_entry", { 1, "Error, the answer for systemconfig does not hold /etc/config/system/systemconfig.bin.", "No configuration item could be fetched; no backup written.", Output::nothing, 15 } },
    { "get_backup", "oversized", { 1, "Transfer failed: Answer larger than 16 MiB, or out of memory (attempt 5/5)", "No configuration item could be fetched; no backup written.", Output::nothing, 30 } },
    { "put_backup", "loss", { 0, "Retrying backup fetch (retry 2 of 5)...", "100% Restore operation completed.", Output::safety_backup, 15 } },
    { "put_backup", "stall", { 1, "3 items in a row could not be transferred", "Could not read the controller status, nothing restored.", Output::nothing, 60 } },
    { "put_backup", "reset", { 1, "3 items in a row could not be transferred", "Could not read the controller status, nothing restored.", Output::nothing, 15 } },
    { "put_backup", "truncated", { 1, "3 items in a row could not be transferred", "Could not read the controller status, nothing restored.", Output::nothing, 15 } },
    { "put_backup", "http404", { 1, "Status request failed with HTTP 404.", "Could not read the controller status, nothing restored.", Output::nothing, 15 } },
    { "put_backup", "http500", { 1, "Status request failed with HTTP 500.", "Could not read the controller status, nothing restored.", Output::nothing, 15 } },
    { "put_backup", "silent", { 1, "3 items in a row could not be transferred", "Could not read the controller status, nothing restored.", Output::nothing, 60 } },
    { "put_backup", "wrong_entry", { 0, "No configuration item could be fetched; no backup written.", "100% Restore operation completed.", Output::nothing, 15 } },
    { "put_backup", "oversized", { 1, "3 items in a row could not be transferred", "Could not read the controller status, nothing restored.", Output::nothing, 30 } },
    { "push_firmware", "loss", { 0, "Retrying backup fetch (retry 2 of 5)...", "Firmware push completed.", Output::safety_backup, 20 } },
    { "push_firmware", "stall", { 1, "3 items in a row could not be transferred", "Firmware push failed, Timeout was reached.", Output::nothing, 60 } },
    { "push_firmware", "reset", { 1, "3 items in a row could not be transferred", "Firmware push failed, Failure when receiving data from the peer.", Output::nothing, 15 } },
    { "push_firmware", "truncated", { 1, "3 items in a row could not be transferred", "Firmware push failed, Transferred a partial file.", Output::nothing, 15 } },
    { "push_firmware", "http404", { 1, "No configuration item could be fetched; no backup written.", "Firmware push failed, the controller refused it (HTTP status 404).", Output::nothing, 15 } },
    { "push_firmware", "http500", { 1, "No configuration item could be fetched; no backup written.", "Firmware push failed, the controller refused it (HTTP status 500).", Output::nothing, 15 } },
    { "push_firmware", "silent", { 1, "3 items in a row could not be transferred", "Firmware push failed, Timeout was reached.", Output::nothing, 60 } },
    { "push_firmware", "wrong_entry", { 0, "No configuration item could be fetched; no backup written.", "Firmware push completed.", Output::nothing, 15 } },
    { "push_firmware", "oversized", { 0, "3 items in a row could not be transferred", "Firmware push completed.", Output::nothing, 30 } },
    { "push_d2fw", "loss", { 0, "File transfered.", "Log in to the controller to continue the device firmware upgrade.", Output::nothing, 15 } },
    { "push_d2fw", "stall", { 1, "Device firmware file push failed, Timeout was reached.", nullptr, Output::nothing, 10 } },
    { "push_d2fw", "reset", { 1, "Device firmware file push failed, Failure when receiving data from the peer.", nullptr, Output::nothing, 15 } },
    { "push_d2fw", "truncated", { 1, "Device firmware file push failed, Transferred a partial file.", nullptr, Output::nothing, 15 } },
    { "push_d2fw", "http404", { 1, "Device firmware file push failed, the controller refused it (HTTP status 404).", nullptr, Output::nothing, 15 } },
    { "push_d2fw", "http500", { 1, "Device firmware file push failed, the controller refused it (HTTP status 500).", nullptr, Output::nothing, 15 } },
    { "push_d2fw", "silent", { 1, "Firmware push failed, Timeout was reached.", nullptr, Output::nothing, 10 } },
    { "push_d2fw", "wrong_entry", { 0, "File transfered.", "Log in to the controller to continue the device firmware upgrade.", Output::nothing, 15 } },
    { "push_d2fw", "oversized", { 0, "File transfered.", "Log in to the controller to continue the device firmware upgrade.", Output::nothing, 15 } },
    { "setup_channel", "loss", { 0, "Retrying backup fetch (retry 2 of 5)...", "Channel set-up completed.", Output::nothing, 15 } },
    { "setup_channel", "stall", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "Could not fetch the channel configuration of line 1.", Output::nothing, 20 } },
    { "setup_channel", "reset", { 1, "Transfer failed: Failure when receiving data from the peer (attempt 5/5)", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "setup_channel", "truncated", { 1, "Transfer failed: Transferred a partial file (attempt 5/5)", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "setup_channel", "http404", { 1, "The controller answered HTTP 404 for dali1.", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "setup_channel", "http500", { 1, "The controller answered HTTP 500 for dali1.", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "setup_channel", "silent", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "Could not fetch the channel configuration of line 1.", Output::nothing, 20 } },
    { "setup_channel", "wrong_entry", { 1, "Error, the answer for dali1 does not hold /etc/config/dali/dali1.bin.", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "setup_channel", "oversized", { 1, "Transfer failed: Answer larger than 16 MiB, or out of memory (attempt 5/5)", "Could not fetch the channel configuration of line 1.", Output::nothing, 15 } },
    { "export_channel", "loss", { 0, "Retrying backup fetch (retry 2 of 5)...", "Channel export completed.", Output::csv_file, 15 } },
    { "export_channel", "stall", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "Could not fetch dali1 from the controller.", Output::nothing, 20 } },
    { "export_channel", "reset", { 1, "Transfer failed: Failure when receiving data from the peer (attempt 5/5)", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "export_channel", "truncated", { 1, "Transfer failed: Transferred a partial file (attempt 5/5)", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "export_channel", "http404", { 1, "The controller answered HTTP 404 for dali1.", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "export_channel", "http500", { 1, "The controller answered HTTP 500 for dali1.", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "export_channel", "silent", { 1, "Transfer failed: Timeout was reached (attempt 5/5)", "Could not fetch dali1 from the controller.", Output::nothing, 20 } },
    { "export_channel", "wrong_entry", { 1, "Error, the answer for dali1 does not hold /etc/config/dali/dali1.bin.", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "export_channel", "oversized", { 1, "Transfer failed: Answer larger than 16 MiB, or out of memory (attempt 5/5)", "Could not fetch dali1 from the controller.", Output::nothing, 15 } },
    { "read_file_flashraw", "loss", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "read_file_flashraw", "stall", { 1, "Failed: Timeout was reached (28) (attempt 5/5)", "Failed to read the file flashraw.bin.", Output::nothing, 30 } },
    { "read_file_flashraw", "reset", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "read_file_flashraw", "truncated", { 1, "Failed: Transferred a partial file (18) (attempt 5/5)", "Failed to read the file flashraw.bin.", Output::nothing, 15 } },
    { "read_file_flashraw", "http404", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "read_file_flashraw", "http500", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "read_file_flashraw", "silent", { 1, "Failed: Timeout was reached (28) (attempt 5/5)", "Failed to read the file flashraw.bin.", Output::nothing, 30 } },
    { "read_file_flashraw", "wrong_entry", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "read_file_flashraw", "oversized", { 0, "Download of flashraw.bin completed (65536 bytes).", "File flashraw.bin downloaded and written to: ", Output::flash_file, 15 } },
    { "host_status", "loss", { 0, "Status retrieved successfully", nullptr, Output::nothing, 5 } },
    { "host_status", "stall", { 200, "Failed to read status response body", nullptr, Output::nothing, 5 } },
    { "host_status", "reset", { 200, "Failed to read status response body", nullptr, Output::nothing, 5 } },
    { "host_status", "truncated", { 200, "Failed to read status response body", nullptr, Output::nothing, 5 } },
    { "host_status", "http404", { 404, "Status request failed with HTTP 404", nullptr, Output::nothing, 5 } },
    { "host_status", "http500", { 500, "Status request failed with HTTP 500", nullptr, Output::nothing, 5 } },
    { "host_status", "silent", { -1, "Timed out waiting for status response", nullptr, Output::nothing, 5 } },
    { "host_status", "wrong_entry", { 0, "Status retrieved successfully", nullptr, Output::nothing, 5 } },
    { "host_status", "oversized", { 200, "Failed to read status response body", nullptr, Output::nothing, 5 } },
};
// clang-format on

struct Inputs {
    std::string archive;
    std::string firmware;
    std::string device_firmware;
    std::string channel_csv;
};

struct CellFolders {
    fs::path out;
    fs::path home;
    fs::path tmp;
};

std::vector<std::string> action_arguments(
    const std::string& action, const std::string& address, const Inputs& in, const CellFolders& f)
{
    std::vector<std::string> words { "--nowindow", "--action=" + action, "--ip=" + address };
    if (action == "get_backup" || action == "read_file_flashraw") {
        words.push_back("--backupfileouttype=zip");
        words.push_back("--backupfileout=" + f.out.string());
    } else if (action == "put_backup") {
        words.push_back("--backupfilein=" + in.archive);
    } else if (action == "push_firmware") {
        words.push_back("--firmwarefile=" + in.firmware);
    } else if (action == "push_d2fw") {
        words.push_back("--firmwarefile=" + in.device_firmware);
    } else if (action == "setup_channel") {
        words.push_back("--channel=1");
        words.push_back("--channelcsvfile=[\"" + in.channel_csv + "\"]");
    } else if (action == "export_channel") {
        words.push_back("--channel=1");
        words.push_back("--channelcsvfile=[\"" + (f.out / "line1.csv").string() + "\"]");
    }
    return words;
}

struct ChildRun {
    int status = -1;
    std::string text;
    double seconds = 0;
    bool killed = false;
};

// Runs the program with a private environment; kills it once it outlives the limit.
ChildRun run_with_limit(const std::string& program, const std::vector<std::string>& arguments,
    const std::vector<std::string>& environment, double limit_s)
{
    std::vector<std::string> words { program };
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_words = environment;
    std::vector<char*> envp;
    for (std::string& word : env_words)
        envp.push_back(word.data());
    envp.push_back(nullptr);

    ChildRun run;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return run;
    const Clock::time_point start = Clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    const Clock::time_point deadline
        = start + std::chrono::milliseconds(static_cast<long>(limit_s * 1000));
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd poll_fd { fds[0], POLLIN, 0 };
        if (left.count() <= 0 || ::poll(&poll_fd, 1, static_cast<int>(left.count())) == 0) {
            ::kill(pid, SIGKILL);
            run.killed = true;
            break;
        }
        char chunk[4096];
        ssize_t received = ::read(fds[0], chunk, sizeof chunk);
        if (received <= 0)
            break;
        run.text.append(chunk, static_cast<std::size_t>(received));
    }
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Every file the cell left in the folders it writes to, checked for wholeness. Returns what
// it found in words, or the first fault.
std::string inspect_output(const CellFolders& folders)
{
    std::vector<std::string> found;
    for (const fs::path& folder : { folders.out, folders.home / "Downloads" }) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (!entry.is_regular_file())
                continue;
            const fs::path& path = entry.path();
            const std::string name = path.filename().string();
            if (path.extension() == ".zip") {
                std::vector<testing::ZipEntry> entries = testing::read_zip(path.string());
                auto has = [&](const char* wanted) {
                    return std::any_of(entries.begin(), entries.end(),
                        [&](const testing::ZipEntry& e) { return e.name == wanted; });
                };
                // Only get_backup stores its log; a safety backup holds the marker and items.
                const bool own = folder == folders.out;
                if (!has("tool.txt") || (own && !has("log.txt")) || entries.size() < 3)
                    return "partial archive " + name;
                found.push_back(output_name(own ? Output::backup : Output::safety_backup));
            } else if (name == "flashraw.bin") {
                if (entry.file_size() != kFlashSize)
                    return "partial flashraw.bin (" + std::to_string(entry.file_size()) + " bytes)";
                found.push_back(output_name(Output::flash_file));
            } else if (name == "line1.csv") {
                found.push_back(output_name(Output::csv_file));
            } else {
                return "stray file " + name;
            }
        }
    }
    if (!fs::is_empty(folders.tmp))
        return "temporary file left in TMPDIR";
    if (found.empty())
        return output_name(Output::nothing);
    std::sort(found.begin(), found.end());
    std::string words;
    for (const std::string& word : found)
        words += (words.empty() ? "" : ", ") + word;
    return words;
}

struct Row {
    std::string status;
    std::string line;
    std::string output;
    std::string time;
    bool passed = false;
};

std::string first_line_with(const std::string& text, const std::string& needle)
{
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(needle) != std::string::npos)
            return line;
    return {};
}

class FaultMatrix : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ::setenv("KOVRU_TEST_TIME_DIVISOR", kDivisor, 1);
        scratch_ = new testing::ScratchFolder();
        const fs::path inputs = fs::path(scratch_->path()) / "inputs";
        fs::create_directories(inputs / "backup");
        testing::SimProcess sim;
        ASSERT_TRUE(sim.ready());
        testing::run_cli({ "--action=get_backup", "--ip=" + sim.address(),
            "--backupfileouttype=zip", "--backupfileout=" + (inputs / "backup").string(),
            "--backupconfig=[\"systemconfig\",\"dali1\"]" });
        for (const auto& entry : fs::directory_iterator(inputs / "backup"))
            inputs_.archive = entry.path().string();
        ASSERT_FALSE(inputs_.archive.empty());
        inputs_.firmware = (inputs / "image.binary").string();
        testing::write_bytes(
            inputs_.firmware, testing::controller_image(1'835'192, "VELDIR-2", "1.7.0"));
        inputs_.device_firmware = (inputs / "ballast.d2fw").string();
        std::vector<std::uint8_t> device(70'001);
        for (std::size_t i = 0; i < device.size(); ++i)
            device[i] = static_cast<std::uint8_t>(i * 31 + 7);
        testing::write_bytes(inputs_.device_firmware, device);
        inputs_.channel_csv = (inputs / "line1.csv").string();
        std::ofstream(inputs_.channel_csv) << "#dali-channel-csv-version: 1\n"
                                              "4,0,3,Hall,[0],200,1,2,3,0,20,[7]\n";
    }

    static void TearDownTestSuite()
    {
        delete scratch_;
        scratch_ = nullptr;
    }

    static std::vector<std::string> cli_environment(const CellFolders& folders)
    {
        std::vector<std::string> env { "HOME=" + folders.home.string(),
            "XDG_CONFIG_HOME=" + (folders.home / "config").string(),
            "TMPDIR=" + folders.tmp.string(), std::string("KOVRU_TEST_TIME_DIVISOR=") + kDivisor };
        if (const char* path = std::getenv("PATH"))
            env.push_back(std::string("PATH=") + path);
        for (const char* name : { "ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS" })
            if (const char* value = std::getenv(name))
                env.push_back(std::string(name) + "=" + value);
        return env;
    }

    static Row run_cell(const Cell& cell, std::size_t index)
    {
        const Fault& fault = *std::find_if(std::begin(kFaults), std::end(kFaults),
            [&](const Fault& f) { return std::string(f.name) == cell.fault; });
        const fs::path root = fs::path(scratch_->path()) / ("cell" + std::to_string(index));
        CellFolders folders { root / "out", root / "home", root / "tmp" };
        for (const fs::path& folder : { folders.out, folders.home / "Downloads", folders.tmp })
            fs::create_directories(folder);
        testing::SimProcess sim(
            { std::string(fault.settings) + ",flash_size=" + std::to_string(kFlashSize) });
        Row row;
        if (!sim.ready()) {
            row.status = "simulator did not start";
            return row;
        }
        const Expected& want = cell.expected;
        ChildRun run;
        if (std::string(cell.action) == "host_status") {
            const Clock::time_point start = Clock::now();
            kovrkit::StatusReading reading = kovrkit::readDeviceStatus(sim.address());
            run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
            run.status = reading.code;
            run.text = reading.message;
            row.status = "code " + std::to_string(reading.code);
        } else {
            run = run_with_limit(testing::built_program("cli/main/kovru-cli"),
                action_arguments(cell.action, sim.address(), inputs_, folders),
                cli_environment(folders), want.bound_s * kHangFactor);
            row.status = run.killed ? "killed, still running" : std::to_string(run.status);
        }
        sim.stop();
        bool lines_found = true;
        for (const char* needle : { want.cause, want.outcome }) {
            if (!needle)
                continue;
            const bool found = !first_line_with(run.text, needle).empty();
            lines_found = lines_found && found;
            row.line
                += (row.line.empty() ? "" : " / ") + std::string(found ? "" : "MISSING: ") + needle;
        }
        row.output = inspect_output(folders);
        const bool in_time = run.seconds <= want.bound_s;
        std::ostringstream time;
        time << (in_time ? "within " : "OVER ") << want.bound_s;
        row.time = time.str();
        row.passed = !run.killed && run.status == want.status && lines_found
            && row.output == output_name(want.output) && in_time;
        if (!row.passed)
            ADD_FAILURE() << cell.action << " x " << cell.fault << ": status " << run.status
                          << " (want " << want.status << "), " << run.seconds << " s (bound "
                          << want.bound_s << "), output '" << row.output << "', line " << row.line
                          << "\n"
                          << run.text;
        if (std::string(cell.action) != "host_status")
            row.status = run.killed ? row.status : std::to_string(run.status);
        return row;
    }

    static testing::ScratchFolder* scratch_;
    static Inputs inputs_;
};

testing::ScratchFolder* FaultMatrix::scratch_ = nullptr;
Inputs FaultMatrix::inputs_;

std::string escape_cell(std::string text)
{
    std::string escaped;
    for (char c : text) {
        if (c == '|')
            escaped += "\\|";
        else if (c == '\t')
            escaped += "\\t";
        else if (c != '\r')
            escaped += c;
    }
    return escaped;
}

void write_table(const std::vector<Row>& rows, const fs::path& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "# Fault matrix\n\n"
           "Generated by `fault_matrix_test` (`ctest -L faults`); do not edit by hand, run\n"
           "`scripts/update_fault_matrix.sh` after a change of behaviour.\n\n"
           "Each cell runs one `kovru-cli` action (or, for `host_status`, the host's status\n"
           "client in the test process) against a `kovru-sim` controller showing one fault,\n"
           "with `KOVRU_TEST_TIME_DIVISOR="
        << kDivisor
        << "` (see docs/platform.md): every time-out and retry pause\n"
           "is divided by "
        << kDivisor
        << ", libcurl's low-speed windows are at least 1 s. A cell passes when the\n"
           "run ends with the exit status (for `host_status`: the reading's code) and the log "
           "line\nshown, leaves nothing but whole files in the folders it writes to (output "
           "folder,\nthe download folder of safety backups, TMPDIR), and ends within the "
           "bound.\n\n"
           "## Faults\n\n| fault | simulator settings | effect |\n|---|---|---|\n";
    for (const Fault& fault : kFaults)
        out << "| " << fault.name << " | `" << escape_cell(fault.settings) << "` | " << fault.effect
            << " |\n";
    out << "\n## Cells\n\n| action | fault | exit status | log line | left behind | seconds | "
           "result |\n|---|---|---|---|---|---|---|\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        out << "| " << kCells[i].action << " | " << kCells[i].fault << " | " << row.status << " | `"
            << escape_cell(row.line) << "` | " << row.output << " | " << row.time << " | "
            << (row.passed ? "pass" : "FAIL") << " |\n";
    }
}

TEST_F(FaultMatrix, EveryActionEndsCleanlyUnderEveryFault)
{
    const std::size_t count = std::size(kCells);
    // The slowest cells start first, so that they do not set the end of the run alone.
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [](std::size_t a, std::size_t b) {
        return kCells[a].expected.bound_s > kCells[b].expected.bound_s;
    });
    std::vector<Row> rows(count);
    std::atomic<std::size_t> next { 0 };
    std::vector<std::thread> workers;
    for (int w = 0; w < kParallelCells; ++w)
        workers.emplace_back([&] {
            for (std::size_t k = next++; k < count; k = next++)
                rows[order[k]] = run_cell(kCells[order[k]], order[k]);
        });
    for (std::thread& worker : workers)
        worker.join();
    write_table(rows, testing::built_program("fault_matrix.md"));
}

} // namespace
} // namespace kovru
