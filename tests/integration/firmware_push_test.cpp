// push_firmware and push_d2fw end to end: kovru-cli against kovru-sim, packages made by 7z.
#include "fakes/fake_temp_folder.h"
#include "fakes/firmware_files.h"
#include "fakes/sim_process.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kovru {
namespace {

using kovrkit::testing::TempFolder;
using testing::controller_image;
using testing::make_package;
using testing::read_bytes;
using testing::run_cli;
using testing::sha256_text;
using testing::SimProcess;
using testing::write_bytes;

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The simulator keeps each controller's files in DIR/<ip>_<port>/.
std::filesystem::path state_of(const TempFolder& state, const SimProcess& sim, std::size_t index)
{
    return state.path() / ("127.0.0.1_" + std::to_string(sim.port(index)));
}

class FirmwarePush : public ::testing::Test {
protected:
    // The safety backup before an upgrade goes to $HOME/Downloads.
    void SetUp() override
    {
        std::filesystem::create_directories(home.path() / "Downloads");
        ::setenv("HOME", home.path().c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", home.file("config").c_str(), 1);
    }

    TempFolder home;
    TempFolder files;
    TempFolder state;
};

TEST_F(FirmwarePush, PackageIsUploadedAppliedAndVerifiedAfterTheReboot)
{
    SimProcess sim({ "reboot_ms=1500,firmware=1.5.0" }, { "--state", state.path().string() });
    ASSERT_TRUE(sim.ready());
    const auto image = controller_image(2'000'000, "VELDIR-3", "1.6.2");
    const std::string digest = sha256_text(image);
    auto package = make_package(files.path(), "upgrade.bin", image, digest);

    auto run = run_cli({ "--action=push_firmware", "--ip=" + sim.address(),
        "--firmwarefile=" + package.string(), "--verifyupgrade=30" });
    EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "Downloading backup before firmware upgrade ("));
    EXPECT_TRUE(contains(run.out,
        "== Firmware Info ==\r\nmodel_name=VELDIR-3\r\nmodel_description=Lighting gateway, 4 DALI "
        "lines\r\n"
        "version_string=1.6.2\r\nversion_number=67074\r\nversion_date=2026-11-02\r\n"
        "version_time=08:30:00\r\ndali_number_of_channel=4\r\n== ==\r\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out,
        "firmware\tpushing URL 'http://" + sim.address()
            + "/api/v100/status.ssi?action=firmwareupgrade&hash=" + digest + "&size=2000000'.\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "Transferring... PLEASE WAIT...\r\nOK\n"));
    EXPECT_TRUE(contains(run.out, "Verifying firmware upgrade... PLEASE WAIT...\r\nOK\n"));
    EXPECT_TRUE(contains(run.out, "Controller reports firmware 1.6.2\r\n")) << run.out;
    EXPECT_EQ(read_bytes(state_of(state, sim, 0) / "flashraw.bin"), image);

    auto status = run_cli({ "--action=get_status", "--ip=" + sim.address() });
    EXPECT_TRUE(contains(status.out, "model_name=VELDIR-3")) << status.out;
}

TEST_F(FirmwarePush, VerificationFailsWhenTheOldVersionStaysOrTheControllerIsSilent)
{
    // Controller 0 accepts upgrades and keeps its firmware; controller 1 reboots for ten
    // minutes, holding every connection without an answer.
    SimProcess sim({ "upgrade_keeps_firmware=1,reboot_ms=300", "reboot_ms=600000" });
    ASSERT_TRUE(sim.ready());
    auto raw = files.path() / "image.binary";
    write_bytes(raw, controller_image(1'835'192, "VELDIR-2", "1.7.0"));

    // Without the option the accepted request is the end of it.
    auto plain = run_cli(
        { "--action=push_firmware", "--ip=" + sim.address(0), "--firmwarefile=" + raw.string() });
    EXPECT_EQ(plain.exit_status, 0) << plain.out << plain.err;
    EXPECT_FALSE(contains(plain.out, "Controller reports"));

    auto stale = run_cli({ "--action=push_firmware", "--ip=" + sim.address(0),
        "--firmwarefile=" + raw.string(), "--verifyupgrade=3" });
    EXPECT_EQ(stale.exit_status, 1) << stale.out;
    EXPECT_EQ(testing::count_lines_with(stale.out, "Controller reports firmware 1.5.0"), 1)
        << stale.out;
    EXPECT_TRUE(contains(stale.out, "Controller did not report firmware 1.7.0 within 3 s\r\n"))
        << stale.out;

    ::setenv("HOME", "", 1);
    auto silent = run_cli({ "--action=push_firmware", "--ip=" + sim.address(1),
        "--firmwarefile=" + raw.string(), "--verifyupgrade=2" });
    EXPECT_EQ(silent.exit_status, 1) << silent.out;
    EXPECT_FALSE(contains(silent.out, "Controller reports"));
    EXPECT_TRUE(contains(silent.out, "Controller did not report firmware 1.7.0 within 2 s\r\n"))
        << silent.out;

    auto bad_value = run_cli({ "--action=push_firmware", "--ip=" + sim.address(0),
        "--firmwarefile=" + raw.string(), "--verifyupgrade=0" });
    EXPECT_EQ(bad_value.exit_status, 2);
    EXPECT_FALSE(contains(bad_value.out, "pushing URL"));
}

// A restart that closes every connection at once and one that takes the request and never
// answers it: both end after 2.5 s, and each poll waits a few seconds at most, so the next
// poll sees the new version well within the limit.
TEST_F(FirmwarePush, VerificationOutlastsARefusingAndASilentRestart)
{
    ::setenv("HOME", "", 1); // no safety backups: only the verification is of interest here
    SimProcess sim({ "reboot_ms=2500,reboot_mode=refuse", "reboot_ms=2500,reboot_mode=silent" });
    ASSERT_TRUE(sim.ready());
    auto raw = files.path() / "image.binary";
    write_bytes(raw, controller_image(1'835'192, "VELDIR-2", "1.7.0"));
    for (std::size_t controller : { 0u, 1u }) {
        auto run = run_cli({ "--action=push_firmware", "--ip=" + sim.address(controller),
            "--firmwarefile=" + raw.string(), "--verifyupgrade=20" });
        EXPECT_EQ(run.exit_status, 0) << controller << run.out;
        EXPECT_TRUE(contains(run.out, "Controller reports firmware 1.7.0\r\n")) << run.out;
        EXPECT_FALSE(contains(run.out, "did not report")) << run.out;
    }
}

TEST_F(FirmwarePush, RefusedFilesUploadNothing)
{
    ::setenv("HOME", "", 1); // no safety backups: only the refusals are of interest here
    SimProcess sim({}, { "--state", state.path().string() });
    ASSERT_TRUE(sim.ready());
    const auto flash_before = read_bytes(state_of(state, sim, 0) / "flashraw.bin");
    const auto image = controller_image(1'900'000, "VELDIR-2", "1.8.0");
    const std::string digest = sha256_text(image);
    std::string other_digest = digest;
    other_digest[0] = other_digest[0] == 'a' ? 'b' : 'a';
    std::string not_hex = digest;
    not_hex[5] = 'x';
    auto bad_model = image;
    bad_model[0x1C0000 + 12 + 8] = '0'; // "VELDIR-20"
    write_bytes(files.path() / "bad_model.binary", bad_model);
    write_bytes(files.path() / "small.binary",
        std::vector<std::uint8_t>(image.begin(), image.begin() + 1'835'191));
    auto valid = make_package(files.path(), "valid.bin", image, digest);
    std::filesystem::copy_file(valid, files.path() / "upper.BIN");
    write_bytes(files.path() / "device.d2fw", {});

    struct Case {
        std::string action;
        std::string file;
        std::string reason;
    };
    const Case cases[] = {
        { "push_firmware", (files.path() / "upper.BIN").string(), "File format not supported.\n" },
        { "push_firmware", make_package(files.path(), "mismatch.bin", image, other_digest).string(),
            "File is invalid (h).\n" },
        { "push_firmware", make_package(files.path(), "nothex.bin", image, not_hex).string(),
            "File is invalid (h).\n" },
        { "push_firmware",
            make_package(files.path(), "aes128.bin", image, digest,
                { "-mem=AES128", testing::aes256_options()[1] })
                .string(),
            "File format is invalid (ppfbh).\n" },
        { "push_firmware", (files.path() / "bad_model.binary").string(),
            "Model name is invalid.\n" },
        { "push_firmware", (files.path() / "small.binary").string(),
            "Image size is invalid (1835191 bytes).\n" },
        { "check_firmware", (files.path() / "bad_model.binary").string(),
            "Model name is invalid.\n" },
        { "check_firmware", (files.path() / "upper.BIN").string(), "File format not supported.\n" },
        { "push_d2fw", valid.string(), "File format not supported.\n" },
        { "push_d2fw", (files.path() / "device.d2fw").string(), "Preparing file...\n" },
    };
    for (const Case& c : cases) {
        auto run = run_cli(
            { "--action=" + c.action, "--ip=" + sim.address(), "--firmwarefile=" + c.file });
        EXPECT_EQ(run.exit_status, 2) << c.file << run.out;
        EXPECT_TRUE(contains(run.out, c.reason)) << c.file << run.out;
        EXPECT_TRUE(contains(run.out, "FIRMWARE FILE IS NOT VALID!\r\n")) << c.file;
        EXPECT_FALSE(contains(run.out, "pushing URL")) << c.file << run.out;
    }
    EXPECT_EQ(read_bytes(state_of(state, sim, 0) / "flashraw.bin"), flash_before);
    EXPECT_FALSE(std::filesystem::exists(state_of(state, sim, 0) / "devicefirmware.bin"));

    // check_firmware needs no controller and touches none.
    auto checked = run_cli({ "--action=check_firmware", "--firmwarefile=" + valid.string() });
    EXPECT_EQ(checked.exit_status, 0) << checked.out;
    EXPECT_TRUE(contains(checked.out, "version_string=1.8.0\r\n")) << checked.out;
    EXPECT_TRUE(contains(checked.out, "The firmware file is valid.\r\n"));
    EXPECT_FALSE(contains(checked.out, "Downloading backup"));
    EXPECT_EQ(read_bytes(state_of(state, sim, 0) / "flashraw.bin"), flash_before);

    auto missing = run_cli({ "--action=push_d2fw", "--firmwarefile=" + valid.string() });
    EXPECT_EQ(missing.exit_status, 2);
    EXPECT_TRUE(contains(missing.out, "Missing arguments for action push_d2fw.\n"));
}

// A dry run checks the file against the controller and uploads nothing, whatever it finds.
TEST_F(FirmwarePush, DryRunSaysWhatTheUpgradeWouldDoAndUploadsNothing)
{
    SimProcess sim({ "model=VELDIR-2,firmware=1.5.0" }, { "--state", state.path().string() });
    ASSERT_TRUE(sim.ready());
    const auto flash_before = read_bytes(state_of(state, sim, 0) / "flashraw.bin");
    struct Case {
        std::string model;
        std::string version;
        int exit_status;
        std::string line;
    };
    const Case cases[] = {
        { "VELDIR-2", "1.8.0", 0,
            "Dry run: controller model VELDIR-2 would be upgraded from firmware 1.5.0 to 1.8.0; "
            "nothing was uploaded.\r\n" },
        { "VELDIR-2", "1.5.0", 0,
            "Dry run: the controller already reports firmware 1.5.0; nothing was uploaded.\r\n" },
        { "VELDIR-3", "1.8.0", 2,
            "Dry run: controller model VELDIR-2 does not match the firmware file's model "
            "VELDIR-3; nothing was uploaded.\r\n" },
    };
    for (const Case& c : cases) {
        const auto image = controller_image(1'900'000, c.model, c.version);
        auto package = make_package(
            files.path(), c.model + "-" + c.version + ".bin", image, sha256_text(image));
        auto run = run_cli({ "--action=push_firmware", "--ip=" + sim.address(),
            "--firmwarefile=" + package.string(), "--dryrun", "--verifyupgrade=30" });
        EXPECT_EQ(run.exit_status, c.exit_status) << run.out;
        EXPECT_TRUE(contains(run.out, c.line)) << run.out;
        EXPECT_FALSE(contains(run.out, "pushing URL")) << run.out;
        EXPECT_FALSE(contains(run.out, "Downloading backup")) << run.out;
    }
    EXPECT_EQ(read_bytes(state_of(state, sim, 0) / "flashraw.bin"), flash_before);
    EXPECT_TRUE(std::filesystem::is_empty(home.path() / "Downloads"));

    sim.stop();
    const auto image = controller_image(1'900'000, "VELDIR-2", "1.8.0");
    auto package = make_package(files.path(), "silent.bin", image, sha256_text(image));
    auto run = run_cli({ "--action=push_firmware", "--ip=" + sim.address(),
        "--firmwarefile=" + package.string(), "--dryrun" });
    EXPECT_EQ(run.exit_status, 1) << run.out;
    EXPECT_TRUE(contains(
        run.out, "Dry run: the controller's status could not be read; nothing was uploaded.\r\n"))
        << run.out;
}

TEST_F(FirmwarePush, DeviceFirmwareIsHandedToTheController)
{
    SimProcess sim({}, { "--state", state.path().string() });
    ASSERT_TRUE(sim.ready());
    std::vector<std::uint8_t> firmware(70'001);
    for (std::size_t i = 0; i < firmware.size(); ++i)
        firmware[i] = static_cast<std::uint8_t>(i * 31 + 7);
    write_bytes(files.path() / "ballast.d2fw", firmware);

    auto run = run_cli({ "--action=push_d2fw", "--ip=" + sim.address(),
        "--firmwarefile=" + (files.path() / "ballast.d2fw").string() });
    EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
    EXPECT_FALSE(contains(run.out, "Downloading backup"));
    EXPECT_TRUE(contains(run.out,
        "d2fw\tpushing URL 'http://" + sim.address()
            + "/api/v100/status.ssi?action=deviced2fwupgrade&hash=" + sha256_text(firmware)
            + "&size=70001'.\n"))
        << run.out;
    EXPECT_TRUE(contains(run.out, "OK\nFile transfered.\r\n"));
    EXPECT_TRUE(
        contains(run.out, "Log in to the controller to continue the device firmware upgrade.\r\n"));
    EXPECT_EQ(read_bytes(state_of(state, sim, 0) / "devicefirmware.bin"), firmware);
}

} // namespace
} // namespace kovru
