// kovru-cli's controller transport against kovru-sim.
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/tftp_upload.h"
#include "fakes/sim_process.h"
#include "fakes/transport_log_sink.h"
#include "sim/firmware_image.h"
#include "sim/sha256.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace kovru {
namespace {

using testing::count_lines_with;
using testing::run_cli;
using testing::SimProcess;
using testing::TransportLogSink;

std::array<std::uint8_t, 32> digest_of(std::span<const std::uint8_t> bytes)
{
    std::string hex = sim::sha256_hex(bytes);
    std::array<std::uint8_t, 32> digest {};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
    return digest;
}

std::vector<std::uint8_t> read_file(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>() };
}

std::vector<std::uint8_t> file_in_item(const MemoryBuffer& image, const std::string& name)
{
    TarImageReader reader(image);
    std::span<const std::uint8_t> data;
    if (reader.find(name) != tar_success || reader.read_data(data) != tar_success)
        return {};
    return { data.begin(), data.end() };
}

struct TemporaryFolder {
    std::filesystem::path path;
    TemporaryFolder()
    {
        path = std::filesystem::temp_directory_path()
            / ("kovru-transport-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(path);
    }
    ~TemporaryFolder() { std::filesystem::remove_all(path); }
    static inline int counter = 0;
};

TEST(CliStatus, PrintsTheModelNameOrFails)
{
    SimProcess sim({ "model=VELDIR-3", "no_model_name=1" });
    ASSERT_TRUE(sim.ready());
    auto good = run_cli({ "--action=get_status", "--ip=" + sim.address(0) });
    EXPECT_EQ(good.exit_status, 0) << good.out << good.err;
    EXPECT_NE(good.out.find("model_name=VELDIR-3\r\n"), std::string::npos);
    EXPECT_NE(
        good.out.find("status\tfetching URL 'http://" + sim.address(0) + "/api/v100/status.ssi'."),
        std::string::npos);

    auto without_model = run_cli({ "--action=get_status", "--ip=" + sim.address(1) });
    EXPECT_EQ(without_model.exit_status, 1);
    EXPECT_EQ(without_model.out.find("model_name="), std::string::npos);
    EXPECT_NE(without_model.out.find("status\treceived "), std::string::npos);

    auto missing = run_cli({ "--action=get_status" });
    EXPECT_EQ(missing.exit_status, 2);
    EXPECT_NE(missing.out.find("Missing arguments for action get_status."), std::string::npos);
}

TEST(ItemFetch, RetriesFiveTimesWithNumberedLinesThenGivesUp)
{
    SimProcess sim({ "fail_first=5", "fail_first=2" });
    ASSERT_TRUE(sim.ready());
    TransportLogSink log;
    MemoryBuffer image { 1, 2, 3 };
    EXPECT_EQ(fetch_item_bytes(base_url(sim.address(0)), "dali1", image), 1);
    EXPECT_TRUE(image.empty());
    auto errors = log.of_kind(LogKind::error);
    auto warnings = log.of_kind(LogKind::warning);
    ASSERT_EQ(errors.size(), 5u);
    ASSERT_EQ(warnings.size(), 4u);
    for (int n = 1; n <= 5; ++n)
        EXPECT_NE(errors[n - 1].find("backup\tTransfer failed: "), std::string::npos);
    for (int n = 1; n <= 5; ++n)
        EXPECT_NE(errors[n - 1].find("(attempt " + std::to_string(n) + "/5)"), std::string::npos);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(
            warnings[n - 1], "Retrying backup fetch (retry " + std::to_string(n) + " of 5)...");

    // Two failures, then the answer arrives whole.
    log.lines.clear();
    EXPECT_EQ(fetch_item_bytes(base_url(sim.address(1)), "dali1", image), 0);
    EXPECT_EQ(log.of_kind(LogKind::error).size(), 2u);
    EXPECT_EQ(log.of_kind(LogKind::warning).size(), 2u);
    EXPECT_EQ(file_in_item(image, "/etc/config/dali/dali1.bin").size(), 7072u);
    EXPECT_FALSE(file_in_item(image, "status.txt").empty());
}

TEST(ImagePush, UploadThenRestoreChangesWhatTheNextBackupReturns)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    std::vector<std::uint8_t> schedule(1000);
    for (std::size_t i = 0; i < schedule.size(); ++i)
        schedule[i] = static_cast<std::uint8_t>(i * 7);
    std::vector<std::uint8_t> image
        = make_single_file_tar("/etc/config/schedule/schedule.bin", schedule, 1700000000);
    std::vector<std::uint8_t> before = image;

    TransportLogSink log;
    ASSERT_EQ(upload_image(sim.address(), image, false), 0);
    EXPECT_EQ(image, before);
    EXPECT_TRUE(log.progress.empty());
    EXPECT_EQ(
        log.of_kind(LogKind::plain), std::vector<std::string> { "Transferring... PLEASE WAIT..." });
    ASSERT_EQ(request_restore(base_url(sim.address())), 0);

    MemoryBuffer item;
    ASSERT_EQ(fetch_item_bytes(base_url(sim.address()), "schedules", item), 0);
    EXPECT_EQ(file_in_item(item, "/etc/config/schedule/schedule.bin"), schedule);

    // Restoring again without a fresh upload is refused by the controller.
    EXPECT_EQ(request_restore(base_url(sim.address())), 1);
    EXPECT_EQ(upload_image(sim.address(), {}, false), 1);
    EXPECT_EQ(upload_image("", image, false), 1);
}

TEST(ImagePush, FirmwareUpgradeTakesModelAndVersionFromTheImage)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    std::vector<std::uint8_t> firmware
        = sim::make_flash_raw(kFlashImageSize, "VELDIR-4", "1.7.0", "upgrade");
    auto digest = digest_of(firmware);

    TransportLogSink log;
    ASSERT_EQ(upload_image(sim.address(), firmware, true), 0);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_EQ(log.progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));

    // A wrong size is refused and reported; the image stays in the upload area.
    log.lines.clear();
    EXPECT_EQ(request_firmware_upgrade(base_url(sim.address()), digest, firmware.size() - 1), 2);
    EXPECT_EQ(log.of_kind(LogKind::error),
        std::vector<std::string> {
            "Firmware push failed, the controller refused it (HTTP status 409)." });
    EXPECT_EQ(log.of_kind(LogKind::plain),
        (std::vector<std::string> { "Applying firmware upgrade... PLEASE WAIT...",
            "Verifying firmware upgrade... PLEASE WAIT..." }));

    EXPECT_EQ(request_firmware_upgrade(base_url(sim.address()), digest, firmware.size()), 0);
    ControllerStatus status;
    ASSERT_EQ(fetch_status(base_url(sim.address()), status), 0);
    EXPECT_EQ(status.model_name(), "VELDIR-4");
    EXPECT_EQ(status.firmware_version(), "1.7.0");

    MemoryBuffer raw;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashraw.bin", kFlashImageSize, raw), 0);
    EXPECT_EQ(raw, firmware);

    std::vector<std::uint8_t> device_firmware(5000, 0xD2);
    ASSERT_EQ(upload_image(sim.address(), device_firmware, true), 0);
    EXPECT_EQ(request_d2fw_upgrade(
                  base_url(sim.address()), digest_of(device_firmware), device_firmware.size()),
        0);
    EXPECT_EQ(request_d2fw_upgrade(
                  base_url(sim.address()), digest_of(device_firmware), device_firmware.size()),
        2);
    EXPECT_EQ(sim.stop(), 0);
}

TEST(FlashRead, IntoMemoryAndIntoAFile)
{
    SimProcess sim;
    ASSERT_TRUE(sim.ready());
    TransportLogSink log;
    MemoryBuffer flash_fs;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, flash_fs), 0);
    EXPECT_EQ(flash_fs.size(), kFlashImageSize);
    EXPECT_EQ(log.of_kind(LogKind::success),
        (std::vector<std::string> {
            "Downloading flashfs.bin...", "Download of flashfs.bin completed (2097152 bytes)." }));
    EXPECT_EQ(log.progress.back(), 100);

    TemporaryFolder folder;
    auto run = run_cli({ "--action=read_file_flashfs", "--ip=" + sim.address(),
        "--backupfileout=" + folder.path.string() + "/", "--backupfileouttype=zip" });
    EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
    EXPECT_EQ(read_file(folder.path / "flashfs.bin"), flash_fs);
    EXPECT_NE(run.out.find("[INFO] Output file: " + folder.path.string() + "/flashfs.bin"),
        std::string::npos);
    EXPECT_NE(run.out.find("File flashfs.bin downloaded and written to: "), std::string::npos);

    auto raw = run_cli({ "--action=read_file_flashraw", "--ip=" + sim.address(),
        "--backupfileout=" + folder.path.string(), "--backupfileouttype=x" });
    EXPECT_EQ(raw.exit_status, 0);
    EXPECT_EQ(std::filesystem::file_size(folder.path / "flashraw.bin"), kFlashImageSize);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path),
                  std::filesystem::directory_iterator()),
        2);
}

// Without an announced size the bar follows the expected 2 MiB and stops where the file ends.
TEST(FlashRead, ProgressFollowsTheExpectedSizeWhenNoneIsAnnounced)
{
    SimProcess sim({ "tftp_tsize=0,flash_size=1048576" });
    ASSERT_TRUE(sim.ready());
    TransportLogSink log;
    MemoryBuffer flash_fs;
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", kFlashImageSize, flash_fs), 0);
    EXPECT_EQ(flash_fs.size(), 1048576u);
    ASSERT_FALSE(log.progress.empty());
    EXPECT_EQ(log.progress.back(), 50);
    EXPECT_TRUE(std::is_sorted(log.progress.begin(), log.progress.end()));

    log.progress.clear();
    ASSERT_EQ(tftp_read_memory(sim.address(), "flashfs.bin", 0, flash_fs), 0);
    EXPECT_EQ(log.progress.back(), 100);
}

TEST(FlashRead, RefusedArgumentsAndFailedReadsLeaveNoFile)
{
    SimProcess sim({ "tftp_fail_first=5" });
    ASSERT_TRUE(sim.ready());
    TemporaryFolder folder;
    auto no_type = run_cli({ "--action=read_file_flashfs", "--ip=" + sim.address(),
        "--backupfileout=" + folder.path.string() });
    EXPECT_EQ(no_type.exit_status, 2);
    EXPECT_NE(no_type.out.find("[ERROR] Invalid arguments to action_read_file"), std::string::npos);

    auto failed = run_cli({ "--action=read_file_flashfs", "--ip=" + sim.address(),
        "--backupfileout=" + folder.path.string(), "--backupfileouttype=zip" });
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_EQ(count_lines_with(failed.out, "Failed: "), 5);
    for (int n = 1; n <= 4; ++n)
        EXPECT_EQ(count_lines_with(failed.out,
                      "Retrying download of flashfs.bin (retry " + std::to_string(n) + " of 5)..."),
            1);
    EXPECT_NE(failed.out.find("Failed to read the file flashfs.bin."), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path));

    auto no_folder = run_cli({ "--action=read_file_flashfs", "--ip=" + sim.address(),
        "--backupfileout=" + (folder.path / "missing").string(), "--backupfileouttype=zip" });
    EXPECT_EQ(no_folder.exit_status, 1);
    EXPECT_NE(no_folder.out.find("[ERROR] Cannot open output file: "), std::string::npos);
    EXPECT_EQ(no_folder.out.find("Downloading"), std::string::npos);
}

} // namespace
} // namespace kovru
