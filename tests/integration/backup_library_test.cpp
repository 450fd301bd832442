// The backup library with real backups of kovru-sim taken by kovru-cli: unchanged backups
// share one archive, a change stores another, retention drops the oldest changed backups with
// the records that lean on them, and a write that fails leaves the library as it was.
#include "cli/backup/tar_image.h"
#include "fakes/backup_test_support.h"
#include "fakes/file_size_cap.h"
#include "fakes/sim_process.h"
#include "host/backups/backup_library.h"
#include "host/backups/backup_record.h"
#include "host/backups/device_key.h"
#include "host/jobs/job_engine.h"
#include "host/jobs/tool_device_runner.h"
#include "host/platform/glib/glib_child_processes.h"

#include <glib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace kovrkit {
namespace {

namespace fs = std::filesystem;
using kovru::testing::read_bytes;
using kovru::testing::ScratchFolder;
using kovru::testing::SimProcess;
using kovru::testing::ZipEntry;

std::set<std::string> namesIn(const fs::path& folder, const std::string& extension)
{
    std::set<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        if (entry->path().extension() == extension)
            names.insert(entry->path().filename().string());
    }
    return names;
}

// Every file under the folder with its bytes.
std::map<std::string, std::vector<std::uint8_t>> snapshot(const fs::path& folder)
{
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[fs::relative(entry.path(), folder).string()] = read_bytes(entry.path().string());
    }
    return files;
}

class BackupLibraryTest : public ::testing::Test {
protected:
    // A backup of the controller by kovru-cli into a fresh folder; the archive's path.
    fs::path takeBackup(const std::string& address)
    {
        fs::path out = fs::path(scratch_.path()) / ("run" + std::to_string(++runs_));
        fs::create_directories(out);
        kovru::testing::ProgramRun run = kovru::testing::run_cli({ "--action=get_backup",
            "--ip=" + address, "--backupfileouttype=zip", "--backupfileout=" + out.string() });
        EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
        std::set<std::string> archives = namesIn(out, ".zip");
        EXPECT_EQ(archives.size(), 1u);
        return archives.empty() ? fs::path() : out / *archives.begin();
    }

    FiledBackup file(BackupLibrary& library, const fs::path& archive, const std::string& time,
        const std::string& address = "127.0.0.1:7000")
    {
        BackupAttempt attempt;
        attempt.address = address;
        attempt.time = time;
        attempt.archive = archive;
        attempt.success = true;
        return library.file(attempt);
    }

    // An archive of three items whose "systemconfig" file holds the text.
    fs::path madeArchive(const std::string& content)
    {
        const std::string status = R"({"model_name":"VELDIR-2","firmware_version":"1.5.0",)"
                                   R"("serial_number":"SN-42","mac":"00:11"})";
        auto image = [&status](const std::string& path, const std::string& file) {
            kovru::TarImageWriter writer;
            kovru::TarHeader header;
            header.name = path;
            header.size = file.size();
            header.mode = kovru::kTarDefaultMode;
            writer.write_header(header);
            writer.write_data(kovru::testing::bytes_of(file));
            header.name = "status.txt";
            header.size = status.size();
            writer.write_header(header);
            writer.write_data(kovru::testing::bytes_of(status));
            writer.finish();
            return writer.take();
        };
        std::vector<ZipEntry> entries {
            { "tool.txt", 0, kovru::testing::bytes_of("kovru-cli") },
            { "systemconfig.tar", 0, image("/etc/config/system/systemconfig.bin", content) },
            { "rlc.tar", 0, image("/etc/config/rlc/rlc.bin", "rlc") },
        };
        fs::path path = fs::path(scratch_.path()) / ("made" + std::to_string(++runs_) + ".zip");
        EXPECT_TRUE(kovru::testing::write_zip(path.string(), entries));
        return path;
    }

    ScratchFolder scratch_;
    int runs_ = 0;
};

TEST_F(BackupLibraryTest, UnchangedBackupsShareOneArchiveAndAChangeStoresASecond)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    BackupLibrary library(fs::path(scratch_.path()) / "library");

    std::vector<FiledBackup> filed;
    for (const char* time :
        { "2026-03-01T01:00:00Z", "2026-03-02T01:00:00Z", "2026-03-03T01:00:00Z" })
        filed.push_back(file(library, takeBackup(sim.address()), time, sim.address()));
    for (const FiledBackup& backup : filed)
        ASSERT_TRUE(backup.filed) << backup.error;
    const std::string key = filed[0].key;
    const fs::path folder = library.deviceFolder(key);
    EXPECT_FALSE(filed[0].record.serial.empty());
    EXPECT_EQ(key, deviceKey(filed[0].record.serial, sim.address()));
    EXPECT_EQ(filed[0].record.firmware, "1.5.0");
    EXPECT_EQ(filed[0].record.items.size(), 612u);
    EXPECT_EQ(namesIn(folder, ".zip"), std::set<std::string> { "20260301T010000Z.zip" });
    EXPECT_EQ(filed[1].record.result, "unchanged");
    EXPECT_EQ(filed[2].record.archive, "20260301T010000Z.zip");

    // One item restored with other content: the next backup is a change of its own.
    fs::path first = folder / "20260301T010000Z.zip";
    ZipEntry rlc;
    for (ZipEntry& entry : kovru::testing::read_zip(first.string())) {
        if (entry.name == "rlc.tar")
            rlc = entry;
    }
    ASSERT_FALSE(rlc.bytes.empty());
    std::vector<std::uint8_t> changedFile(64, 0x5A);
    fs::path image = fs::path(scratch_.path()) / "rlc.tar";
    kovru::testing::write_bytes(image.string(),
        kovru::make_single_file_tar("/etc/config/rlc/rlc.bin", changedFile, 1793836800));
    kovru::testing::ProgramRun restore = kovru::testing::run_cli(
        { "--action=put_backup", "--ip=" + sim.address(), "--backupfilein=" + image.string() });
    ASSERT_EQ(restore.exit_status, 0) << restore.out << restore.err;

    FiledBackup after
        = file(library, takeBackup(sim.address()), "2026-03-04T01:00:00Z", sim.address());
    ASSERT_TRUE(after.filed) << after.error;
    EXPECT_EQ(after.record.result, "changed");
    EXPECT_NE(after.record.items.at("rlc"), filed[0].record.items.at("rlc"));
    EXPECT_EQ(namesIn(folder, ".zip").size(), 2u);

    std::vector<BackupRecord> records = library.records(key);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(library.lastGood(key)->id, "20260304T010000Z");
    EXPECT_EQ(library.keyOfAddress(sim.address()), key);
}

TEST_F(BackupLibraryTest, RetentionDropsTheOldestChangedBackupsAndTheRecordsThatLeanOnThem)
{
    BackupLibrary library(fs::path(scratch_.path()) / "library", 2);
    const std::string sameSecond = "2026-04-01T00:00:00Z";
    // a, a (unchanged), b, c, c (unchanged), d: the same second, so the ids are numbered.
    for (const char* content : { "a", "a", "b", "c", "c", "d" }) {
        FiledBackup filed = file(library, madeArchive(content), sameSecond);
        ASSERT_TRUE(filed.filed) << filed.error;
        EXPECT_EQ(filed.key, "SN-42");
    }
    BackupAttempt failure;
    failure.address = "127.0.0.1:7000";
    failure.time = "2026-04-02T00:00:00Z";
    failure.cause = "unreachable";
    failure.reason = "Could not connect";
    FiledBackup failed = library.file(failure);
    ASSERT_TRUE(failed.filed) << failed.error;
    EXPECT_EQ(failed.key, "SN-42"); // the folder of the device last seen at that address

    std::vector<BackupRecord> records = library.records("SN-42");
    std::vector<std::string> kept;
    for (const BackupRecord& record : records)
        kept.push_back(record.id + " " + record.result + " " + record.archive);
    EXPECT_EQ(kept,
        (std::vector<std::string> { "20260401T000000Z_4 changed 20260401T000000Z_4.zip",
            "20260401T000000Z_5 unchanged 20260401T000000Z_4.zip",
            "20260401T000000Z_6 changed 20260401T000000Z_6.zip", "20260402T000000Z failed " }));
    EXPECT_EQ(namesIn(library.deviceFolder("SN-42"), ".zip"),
        (std::set<std::string> { "20260401T000000Z_4.zip", "20260401T000000Z_6.zip" }));
    EXPECT_EQ(library.lastGood("SN-42")->id, "20260401T000000Z_6");
}

TEST_F(BackupLibraryTest, AFullDiskLeavesTheLibraryAsItWas)
{
    BackupLibrary library(fs::path(scratch_.path()) / "library");
    ASSERT_TRUE(file(library, madeArchive("a"), "2026-05-01T00:00:00Z").filed);
    ASSERT_TRUE(file(library, madeArchive("a"), "2026-05-02T00:00:00Z").filed);
    const std::vector<std::pair<fs::path, std::string>> attempts {
        { madeArchive("b"), "2026-05-03T00:00:00Z" }, { madeArchive("a"), "2026-05-04T00:00:00Z" }
    };
    auto before = snapshot(library.root());
    for (const auto& [archive, time] : attempts) {
        FiledBackup filed;
        {
            testing::FileSizeCap cap(64);
            filed = file(library, archive, time);
        }
        EXPECT_FALSE(filed.filed);
        EXPECT_NE(filed.error.find("File too large"), std::string::npos) << filed.error;
        EXPECT_EQ(snapshot(library.root()), before);
    }
}

class Replies final : public UiReplySink {
public:
    void sendToUi(std::string text) override { sent.push_back(nlohmann::json::parse(text)); }
    std::vector<nlohmann::json> results() const
    {
        std::vector<nlohmann::json> found;
        for (const nlohmann::json& message : sent) {
            if (message["command"] == "jobDeviceResult")
                found.push_back(message["payload"]);
        }
        return found;
    }
    std::vector<nlohmann::json> sent;
};

// Device jobs with the option "library": the real tool writes into the library's staging
// folder, the run is filed, its result names the record; a picked folder still gets the zip.
TEST_F(BackupLibraryTest, BackupJobsGoToTheLibraryUnlessAFolderIsNamed)
{
    SimProcess sim({ "", "http_error=500" });
    ASSERT_TRUE(sim.ready());
    BackupLibrary library(fs::path(scratch_.path()) / "library");
    GLibChildProcesses processes;
    ToolDeviceRunner tools(
        processes, kovru::testing::built_program("cli/main/kovru-cli"), &library);
    Replies replies;
    JobEngine engine(tools, replies);
    auto runJob = [&](JobRequest request) {
        replies.sent.clear();
        engine.start(std::move(request));
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (engine.busy() && std::chrono::steady_clock::now() < deadline)
            g_main_context_iteration(nullptr, TRUE);
        return replies.results();
    };
    JobRequest request;
    request.action = JobAction::backup;
    request.actionName = "backup";
    request.devices = { { sim.address(0), "A" }, { sim.address(1), "B" } };
    request.toLibrary = true;
    std::string key;
    for (bool changed : { true, false }) {
        std::vector<nlohmann::json> results = runJob(request);
        ASSERT_EQ(results.size(), 2u);
        for (const nlohmann::json& result : results) {
            if (result["deviceIp"] == sim.address(0)) {
                EXPECT_TRUE(result["success"]) << result.dump();
                EXPECT_EQ(result["data"]["changed"], changed) << result.dump();
                EXPECT_TRUE(fs::is_regular_file(result["data"]["record"].get<std::string>()));
                key = result["data"]["device"];
            } else {
                EXPECT_EQ(result["cause"], "controller-refused") << result.dump();
                EXPECT_FALSE(result.contains("data"));
            }
        }
    }
    EXPECT_EQ(namesIn(library.deviceFolder(key), ".zip").size(), 1u);
    std::vector<BackupRecord> failures = library.records(deviceKey("", sim.address(1)));
    ASSERT_EQ(failures.size(), 2u);
    EXPECT_EQ(failures[0].result, "failed");
    EXPECT_EQ(failures[0].cause, "controller-refused");
    EXPECT_FALSE(
        fs::exists(library.root() / ".incoming") && !fs::is_empty(library.root() / ".incoming"));

    fs::path picked = fs::path(scratch_.path()) / "picked";
    fs::create_directories(picked);
    request.toLibrary = false;
    request.input = picked.string();
    request.devices.resize(1);
    std::vector<nlohmann::json> results = runJob(request);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_TRUE(results[0]["success"]);
    EXPECT_FALSE(results[0].contains("data"));
    EXPECT_EQ(namesIn(picked, ".zip").size(), 1u);
    EXPECT_EQ(library.records(key).size(), 2u);
}

// A staging folder left by a run that was killed goes when the next run takes one; a folder a
// live run holds (another host on the same library) stays, and so does one a run is just making
// (no lock file yet), until it is old.
TEST_F(BackupLibraryTest, TakingAStagingFolderRemovesOnlyThoseNoLiveRunHolds)
{
    const fs::path root = fs::path(scratch_.path()) / "library";
    const fs::path incoming = root / ".incoming";
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(report[0]);
        std::string error;
        const BackupLibrary held(root);
        std::optional<fs::path> made = held.makeStagingFolder(error);
        const std::string text = made ? made->string() : "";
        if (::write(report[1], text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            ::_exit(1);
        ::close(report[1]);
        for (;;)
            ::pause();
    }
    ::close(report[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(report[0]);
    const fs::path killed(text);
    ASSERT_TRUE(!text.empty() && fs::is_directory(killed)) << text;

    std::string error;
    BackupLibrary library(root);
    std::optional<fs::path> first = library.makeStagingFolder(error);
    ASSERT_TRUE(first) << error;
    EXPECT_TRUE(fs::is_directory(killed)) << "held by a live process";
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    const fs::path making = incoming / "run-making";
    const fs::path stale = incoming / "run-stale1";
    const fs::path other = incoming / "other";
    for (const fs::path& folder : { making, stale, other })
        fs::create_directories(folder / "sub");
    fs::last_write_time(stale, fs::file_time_type::clock::now() - std::chrono::hours(48));
    fs::last_write_time(other, fs::file_time_type::clock::now() - std::chrono::hours(48));

    BackupLibrary another(root);
    std::optional<fs::path> second = another.makeStagingFolder(error);
    ASSERT_TRUE(second) << error;
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::is_directory(*first));
    EXPECT_TRUE(fs::is_directory(making / "sub"));
    EXPECT_TRUE(fs::is_directory(other / "sub"));

    library.removeStagingFolder(*first);
    another.removeStagingFolder(*second);
    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(incoming))
        left.insert(entry.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string> { "other", "run-making" }));
}

} // namespace
} // namespace kovrkit
