#include "cli/action/config_file_header.h"
#include "cli/backup/config_items.h"
#include "cli/backup/tar_image.h"
#include "sim/config_files.h"
#include "sim/controller.h"
#include "sim/firmware_image.h"
#include "sim/http_routes.h"
#include "sim/sha256.h"

#include <gtest/gtest.h>

namespace kovru::sim {
namespace {

std::vector<std::uint8_t> file_in_image(
    const std::vector<std::uint8_t>& image, const std::string& name)
{
    TarImageReader reader(image);
    std::span<const std::uint8_t> data;
    if (reader.find(name) != tar_success || reader.read_data(data) != tar_success)
        return {};
    return { data.begin(), data.end() };
}

HttpAnswer get(Controller& controller, const std::string& target)
{
    auto request = parse_request_head("GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_TRUE(request) << target;
    return request ? answer_request(controller, *request) : HttpAnswer {};
}

TEST(SimConfig, ReadsSettingsAndRefusesBadOnes)
{
    ControllerConfig config;
    std::string error;
    ASSERT_TRUE(apply_controller_settings(
        "port=6969,model=VELDIR-4,firmware=1.3.1,fail_first=2,fail_items=dali1|cd2,tftp_loss=0.25",
        config, error))
        << error;
    EXPECT_EQ(config.port, 6969);
    EXPECT_EQ(config.model, "VELDIR-4");
    EXPECT_EQ(config.faults.fail_first, 2);
    EXPECT_EQ(config.faults.fail_items, (std::set<std::string> { "dali1", "cd2" }));
    EXPECT_DOUBLE_EQ(config.faults.tftp_loss, 0.25);
    for (const char* bad : { "model=VELDIR-5", "port=70000", "tftp_loss=2", "colour=blue",
             "latency_ms=-1", "fail_first", "http_error=42" }) {
        ControllerConfig other;
        EXPECT_FALSE(apply_controller_settings(bad, other, error)) << bad;
    }

    SimConfig file;
    ASSERT_TRUE(read_config_text("# demo\nseed 7\ncontroller port=1 firmware=2.3.0\n"
                                 "controller ip=127.0.0.2 no_model_name=1 # faulty\n",
        file, error))
        << error;
    EXPECT_EQ(file.seed, 7u);
    ASSERT_EQ(file.controllers.size(), 2u);
    EXPECT_EQ(file.controllers[0].firmware, "2.3.0");
    EXPECT_EQ(file.controllers[1].ip, "127.0.0.2");
    EXPECT_TRUE(file.controllers[1].faults.no_model_name);
    EXPECT_FALSE(read_config_text("controller port=1\nbogus line\n", file, error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
}

TEST(SimConfigFiles, LayoutsFollowTheFirmwareVersionAndCarryAValidHeader)
{
    struct Case {
        const char* firmware;
        std::uint32_t channel_version;
        std::size_t channel_size;
        std::uint32_t input_version;
        std::size_t input_size;
    };
    for (Case c : { Case { "1.0.0", 1, 11168, 2, 9436 }, Case { "1.3.1", 2, 10912, 2, 9436 },
             Case { "1.10.0", 3, 7072, 2, 9436 }, Case { "2.2.4", 3, 7072, 3, 9564 } }) {
        SCOPED_TRACE(c.firmware);
        auto channel = make_item_file(*find_controller_item("dali3"), c.firmware);
        auto input = make_item_file(*find_controller_item("cd1"), c.firmware);
        ASSERT_EQ(channel.size(), c.channel_size);
        ASSERT_EQ(input.size(), c.input_size);
        EXPECT_TRUE(config_file_header_valid(channel));
        EXPECT_TRUE(config_file_header_valid(input));
        EXPECT_EQ(read_config_file_header(channel)->version, c.channel_version);
        EXPECT_EQ(read_config_file_header(input)->version, c.input_version);
        EXPECT_EQ(read_u32_le(channel, 16), 3u);
    }
    EXPECT_TRUE(config_file_header_valid(make_item_file(*find_controller_item("views7"), "1.5.0")));
}

TEST(SimController, ItemImagesHoldTheFileAndStatusUnlessFaulted)
{
    ControllerConfig config;
    config.flash_size = 4096;
    Controller controller(config, 1, std::nullopt);
    auto image = controller.item_image("dali_dt8_3_12");
    ASSERT_TRUE(image);
    EXPECT_EQ(file_in_image(*image, "/etc/config/dali/dali_dt8_3_12.bin"),
        controller.files().at("/etc/config/dali/dali_dt8_3_12.bin"));
    std::vector<std::uint8_t> status = file_in_image(*image, "status.txt");
    EXPECT_NE(std::string(status.begin(), status.end()).find("\"model_name\": \"VELDIR-2\""),
        std::string::npos);
    EXPECT_FALSE(controller.item_image("dali5"));
    EXPECT_EQ(get(controller, "/api/v100/backup.ssi?config=nothing").status, 404);

    config.faults.no_status_txt = true;
    Controller faulty(config, 1, std::nullopt);
    EXPECT_TRUE(file_in_image(*faulty.item_image("dali1"), "status.txt").empty());
}

TEST(SimController, FirstAttemptsFailOnlyForTheNamedItems)
{
    ControllerConfig config;
    config.flash_size = 4096;
    config.faults.fail_first = 2;
    config.faults.fail_items = { "dali1" };
    Controller controller(config, 1, std::nullopt);
    EXPECT_TRUE(get(controller, "/api/v100/backup.ssi?config=dali1").drop_connection);
    EXPECT_FALSE(get(controller, "/api/v100/backup.ssi?config=dali2").drop_connection);
    EXPECT_TRUE(get(controller, "/api/v100/backup.ssi?config=dali1").drop_connection);
    EXPECT_EQ(get(controller, "/api/v100/backup.ssi?config=dali1").status, 200);
}

TEST(SimController, RestoreAppliesTheUploadedImage)
{
    ControllerConfig config;
    config.flash_size = 4096;
    Controller controller(config, 1, std::nullopt);
    EXPECT_EQ(get(controller, "/api/v100/status.ssi?action=restoreconfig").status, 409);

    std::vector<std::uint8_t> changed(100, 0x5A);
    controller.store_upload(make_single_file_tar("/etc/config/rlc/rlc.bin", changed, 0));
    EXPECT_EQ(get(controller, "/api/v100/status.ssi?action=restoreconfig").status, 200);
    EXPECT_EQ(file_in_image(*controller.item_image("rlc"), "/etc/config/rlc/rlc.bin"), changed);

    // A broken image changes nothing.
    auto broken = make_single_file_tar("/etc/config/rlc/rlc.bin", std::vector<std::uint8_t>(9), 0);
    broken[148] ^= 1;
    controller.store_upload(broken);
    EXPECT_EQ(get(controller, "/api/v100/status.ssi?action=restoreconfig").status, 409);
    EXPECT_EQ(controller.files().at("/etc/config/rlc/rlc.bin"), changed);
}

TEST(SimController, FirmwareUpgradeChecksDigestAndSizeThenTakesModelAndVersion)
{
    ControllerConfig config;
    config.flash_size = 4096;
    Controller controller(config, 1, std::nullopt);
    auto image = make_flash_raw(2 * 1024 * 1024, "VELDIR-3", "1.6.2", "new");
    std::string digest = sha256_hex(image);
    std::string size = std::to_string(image.size());
    controller.store_upload(image);
    EXPECT_EQ(get(controller,
                  "/api/v100/status.ssi?action=firmwareupgrade&hash=" + std::string(64, '0')
                      + "&size=" + size)
                  .status,
        409);
    EXPECT_EQ(
        get(controller, "/api/v100/status.ssi?action=firmwareupgrade&hash=" + digest + "&size=1")
            .status,
        409);
    EXPECT_EQ(controller.firmware(), "1.5.0");
    EXPECT_EQ(get(controller,
                  "/api/v100/status.ssi?action=firmwareupgrade&hash=" + digest + "&size=" + size)
                  .status,
        200);
    EXPECT_EQ(controller.model(), "VELDIR-3");
    EXPECT_EQ(controller.firmware(), "1.6.2");
    EXPECT_EQ(*controller.read_flash("flashraw.bin"), image);
    EXPECT_NE(
        controller.status_document().find(R"("firmware_version":"1.6.2")"), std::string::npos);

    // An image without an information block is refused.
    auto blank = std::vector<std::uint8_t>(1000, 1);
    controller.store_upload(blank);
    EXPECT_EQ(
        get(controller,
            "/api/v100/status.ssi?action=firmwareupgrade&hash=" + sha256_hex(blank) + "&size=1000")
            .status,
        409);
}

TEST(SimHttp, RequestHeadsAreParsedStrictly)
{
    auto request = parse_request_head("GET /api/v100/backup.ssi?config=dali%31&x HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(request);
    EXPECT_EQ(request->path, "/api/v100/backup.ssi");
    EXPECT_EQ(request->query.at("config"), "dali1");
    EXPECT_EQ(request->query.at("x"), "");
    for (const char* bad : { "", "GET", "GET /x", "GET x HTTP/1.1", "GET /x FTP/1\r\n" })
        EXPECT_FALSE(parse_request_head(bad)) << bad;
    auto odd = parse_request_head("GET /a?b=%4 HTTP/1.1\r\n");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->query.at("b"), "%4");
}

} // namespace
} // namespace kovru::sim
