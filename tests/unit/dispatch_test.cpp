#include "cli/log/log.h"
#include "cli/main/action_table.h"
#include "cli/main/dispatch.h"
#include "cli/main/download_directory.h"
#include "common/exit_status.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kovru {
namespace {

// What the fake handlers saw, in call order.
struct Call {
    std::string name;
    std::string detail;
    bool capturing;

    bool operator==(const Call&) const = default;
};

std::vector<Call> calls;
std::optional<std::string> fake_download_folder;
int fake_status = 0;

bool capture_is_on()
{
    // A line logged while capture is on lands in the capture text.
    std::size_t before = capture_text().size();
    log_plain("probe");
    return capture_text().size() > before;
}

// Goes ahead (the safety backup, if any) unless told to refuse its input first.
bool fake_refuses_input = false;

int record(const CliOptions& options, const GoAhead& go_ahead)
{
    if (fake_refuses_input) {
        calls.push_back({ *options.action, "refused", capture_is_on() });
        return exit_refused;
    }
    go_ahead();
    go_ahead(); // a second call takes no second backup
    calls.push_back({ *options.action, options.ip.value_or("<none>"), capture_is_on() });
    return fake_status;
}

int record_safety_backup(const std::string& ip, const std::string& folder)
{
    calls.push_back({ "safety_backup", ip + " " + folder, capture_is_on() });
    return exit_failed;
}

std::optional<std::string> fake_download_directory()
{
    return fake_download_folder;
}

constexpr char put_backup[] = "put_backup";
constexpr char get_backup[] = "get_backup";
constexpr char push_firmware[] = "push_firmware";
constexpr char push_d2fw[] = "push_d2fw";
constexpr char setup_channel[] = "setup_channel";
constexpr char get_status[] = "get_status";
constexpr char read_file_flashraw[] = "read_file_flashraw";
constexpr char read_file_flashfs[] = "read_file_flashfs";

// The rows of this build with every handler replaced by the recorder: names, safety backups
// and log capture are the real ones.
const ActionTable& fakes()
{
    static const std::vector<ActionRow> rows = [] {
        std::vector<ActionRow> copied;
        for (ActionRow row : linked_action_table().rows) {
            if (row.handler)
                row.handler = record;
            copied.push_back(row);
        }
        return copied;
    }();
    static const ActionTable table { rows, record_safety_backup, fake_download_directory };
    return table;
}

// A log sink that keeps the lines it is given, for the kind of each.
class KindRecorder : public LogSink {
public:
    void add_line(LogKind kind, const std::string& line) override
    {
        lines.push_back({ kind, line });
    }
    void set_progress(int) override { }
    std::vector<std::pair<LogKind, std::string>> lines;
};

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        calls.clear();
        fake_download_folder = "/home/tech/Downloads";
        fake_status = 0;
        fake_refuses_input = false;
        set_log_sink(&sink_);
    }
    void TearDown() override { set_log_sink(nullptr); }

    int dispatch(std::optional<std::string> action, std::optional<std::string> ip = "10.0.0.9",
        bool dry_run = false)
    {
        CliOptions options;
        options.action = std::move(action);
        options.ip = std::move(ip);
        options.dry_run = dry_run;
        ::testing::internal::CaptureStdout();
        int status = dispatch_action(options, fakes());
        out_ = ::testing::internal::GetCapturedStdout();
        return status;
    }

    bool logged(LogKind kind, const std::string& text) const
    {
        for (const auto& [line_kind, line] : sink_.lines) {
            if (line_kind == kind && line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

    KindRecorder sink_;
    std::string out_;
};

TEST_F(Dispatch, EachNameRunsItsOwnHandlerAndReturnsItsStatus)
{
    for (const char* name : { get_status, push_d2fw, setup_channel, read_file_flashraw,
             read_file_flashfs, "compare_backup", "audit_lines" }) {
        calls.clear();
        fake_status = exit_refused;
        EXPECT_EQ(dispatch(name), exit_refused) << name;
        EXPECT_EQ(calls, (std::vector<Call> { { name, "10.0.0.9", false } }));
    }
}

TEST_F(Dispatch, AbsentArgumentsArePassedOnAsAbsent)
{
    dispatch("get_status", std::nullopt);
    EXPECT_EQ(calls, (std::vector<Call> { { get_status, "<none>", false } }));
    // No address, no safety backup: the restore itself reports what is missing.
    calls.clear();
    dispatch("put_backup", std::nullopt);
    EXPECT_EQ(calls, (std::vector<Call> { { put_backup, "<none>", false } }));
}

TEST_F(Dispatch, GetBackupRunsWithCaptureOnAndReleasesItAfterwards)
{
    capture_on();
    log_plain("before");
    fake_status = exit_failed;
    EXPECT_EQ(dispatch("get_backup"), exit_failed);
    EXPECT_EQ(calls, (std::vector<Call> { { get_backup, "10.0.0.9", true } }));
    EXPECT_TRUE(capture_text().empty());
    EXPECT_FALSE(capture_is_on());
}

TEST_F(Dispatch, RestoreAndUpgradeTakeASafetyBackupFirst)
{
    fake_status = exit_complete;
    EXPECT_EQ(dispatch("put_backup"), exit_complete);
    EXPECT_EQ(calls,
        (std::vector<Call> { { "safety_backup", "10.0.0.9 /home/tech/Downloads", false },
            { put_backup, "10.0.0.9", false } }));
    EXPECT_TRUE(logged(
        LogKind::success, "Downloading backup before restoring (/home/tech/Downloads)...\r\n"));

    calls.clear();
    EXPECT_EQ(dispatch("push_firmware"), exit_complete);
    EXPECT_EQ(calls,
        (std::vector<Call> { { "safety_backup", "10.0.0.9 /home/tech/Downloads", false },
            { push_firmware, "10.0.0.9", false } }));
    EXPECT_TRUE(logged(LogKind::success,
        "Downloading backup before firmware upgrade (/home/tech/Downloads)...\r\n"));
}

TEST_F(Dispatch, RefusedInputTakesNoSafetyBackup)
{
    fake_refuses_input = true;
    for (const char* name : { put_backup, push_firmware }) {
        calls.clear();
        EXPECT_EQ(dispatch(name), exit_refused);
        EXPECT_EQ(calls, (std::vector<Call> { { name, "refused", false } }));
    }
    EXPECT_FALSE(logged(LogKind::success, "Downloading backup before"));
}

// A dry run of a restore or an upgrade pushes nothing and needs no safety backup; without
// --dryrun both take it first.
TEST_F(Dispatch, DryRunsGoWithoutASafetyBackup)
{
    for (const char* name : { put_backup, push_firmware }) {
        calls.clear();
        EXPECT_EQ(dispatch(name, "10.0.0.9", true), exit_complete);
        EXPECT_EQ(calls, (std::vector<Call> { { name, "10.0.0.9", false } })) << name;
        EXPECT_FALSE(logged(LogKind::success, "Downloading backup before")) << name;
    }

    calls.clear();
    EXPECT_EQ(dispatch("push_firmware", "10.0.0.9", false), exit_complete);
    EXPECT_EQ(calls,
        (std::vector<Call> { { "safety_backup", "10.0.0.9 /home/tech/Downloads", false },
            { push_firmware, "10.0.0.9", false } }));
}

TEST_F(Dispatch, WithoutADownloadFolderTheSafetyBackupIsSkippedWithAWarning)
{
    fake_download_folder.reset();
    fake_status = exit_complete;
    EXPECT_EQ(dispatch("put_backup"), exit_complete);
    EXPECT_EQ(calls, (std::vector<Call> { { put_backup, "10.0.0.9", false } }));
    EXPECT_TRUE(logged(LogKind::warning,
        "[WARN] Could not determine user download directory, skipping get_backup.\r\n"));
}

TEST_F(Dispatch, UnknownAndWrongCaseNamesAreNotDefined)
{
    EXPECT_EQ(dispatch("Get_Backup"), exit_refused);
    EXPECT_EQ(out_, "\nAction 'Get_Backup' not defined.\n");
    EXPECT_EQ(dispatch("get_backup "), exit_refused);
    EXPECT_EQ(dispatch(""), exit_refused);
    EXPECT_EQ(out_, "\nAction '' not defined.\n");
    EXPECT_TRUE(calls.empty());
}

TEST_F(Dispatch, NoActionRunsNothingAndSucceeds)
{
    EXPECT_EQ(dispatch(std::nullopt), exit_complete);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(out_.empty());
}

TEST_F(Dispatch, WriteActionsAreKnownButNeverClaimSuccess)
{
    EXPECT_EQ(dispatch("write_file_flashraw"), exit_failed);
    EXPECT_EQ(dispatch("write_file_flashfs"), exit_failed);
    EXPECT_EQ(out_.find("not defined"), std::string::npos);
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(logged(LogKind::error, "write_file_flashfs"));
}

// Sets environment variables for one test and puts them back afterwards.
class ScopedEnvironment {
public:
    void set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.push_back({ name, old ? std::optional<std::string>(old) : std::nullopt });
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnvironment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

class DownloadDirectory : public ::testing::Test {
protected:
    void SetUp() override
    {
        home_ = std::filesystem::temp_directory_path() / ("kovru-home-" + std::to_string(getpid()));
        std::filesystem::create_directories(home_ / ".config");
        environment_.set("HOME", home_.c_str());
        environment_.set("XDG_CONFIG_HOME", nullptr);
    }
    void TearDown() override { std::filesystem::remove_all(home_); }

    void write_user_dirs(const std::filesystem::path& folder, const std::string& text)
    {
        std::filesystem::create_directories(folder);
        std::ofstream(folder / "user-dirs.dirs") << text;
    }

    std::filesystem::path home_;
    ScopedEnvironment environment_;
};

TEST_F(DownloadDirectory, FallsBackToDownloadsInHome)
{
    EXPECT_EQ(user_download_directory(), home_.string() + "/Downloads");
}

TEST_F(DownloadDirectory, ReadsTheUserDirsFile)
{
    write_user_dirs(home_ / ".config",
        "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
        "XDG_DOWNLOAD_DIR=\"$HOME/Téléchargements\"\n");
    EXPECT_EQ(user_download_directory(), home_.string() + "/Téléchargements");

    write_user_dirs(home_ / ".config", "XDG_DOWNLOAD_DIR=\"/srv/downloads\"\n");
    EXPECT_EQ(user_download_directory(), "/srv/downloads");
}

TEST_F(DownloadDirectory, HonoursXdgConfigHome)
{
    std::filesystem::path config = home_ / "elsewhere";
    write_user_dirs(config, "XDG_DOWNLOAD_DIR=\"$HOME/dl\"\n");
    environment_.set("XDG_CONFIG_HOME", config.c_str());
    EXPECT_EQ(user_download_directory(), home_.string() + "/dl");
}

TEST_F(DownloadDirectory, IgnoresEntriesItCannotUse)
{
    for (const char* entry : { "XDG_DOWNLOAD_DIR=\"relative/dl\"\n", "XDG_DOWNLOAD_DIR=$HOME/dl\n",
             "XDG_DOWNLOAD_DIR=\"$HOMEdl\"\n", "XDG_DOWNLOAD_DIR=\"$HOME/\"\n",
             "XDG_DOWNLOAD_DIR=\"\n" }) {
        write_user_dirs(home_ / ".config", entry);
        EXPECT_EQ(user_download_directory(), home_.string() + "/Downloads") << entry;
    }
}

TEST_F(DownloadDirectory, IsUnknownWithoutHome)
{
    environment_.set("HOME", nullptr);
    EXPECT_FALSE(user_download_directory());
    environment_.set("HOME", "");
    EXPECT_FALSE(user_download_directory());
}

} // namespace
} // namespace kovru
