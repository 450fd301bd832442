#include "cli/firmware/push_firmware.h"

#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/firmware/firmware_file.h"
#include "cli/firmware/firmware_info.h"
#include "cli/firmware/firmware_package.h"
#include "cli/firmware/verify_upgrade.h"
#include "cli/log/log.h"
#include "cli/transport/tftp_upload.h"

#include <new>

namespace kovru {
namespace {

struct PreparedImage {
    std::vector<std::uint8_t> bytes;
    std::optional<Sha256Digest> digest;
};

void print_line(const char* line)
{
    print_out("%s", line);
}

// A package is valid when it opens and "kovru.bh" names the digest of "kovru.binary".
bool prepare_from_package(const std::string& path, PreparedImage& prepared)
{
    FirmwarePackage package;
    if (check_package(path, package) != package_valid)
        return false;
    if (!package.expected_digest || package.expected_digest != package.image_digest) {
        print_line("File is invalid (h).\n");
        return false;
    }
    prepared.bytes = std::move(package.image);
    prepared.digest = package.image_digest;
    return true;
}

bool prepare_raw_image(const std::string& path, PreparedImage& prepared)
{
    print_line("Preparing file...\n");
    log_plain("Preparing file '%s'.", path.c_str());
    std::optional<std::vector<std::uint8_t>> bytes;
    try {
        bytes = read_firmware_file(path, kFirmwareImageMaxSize);
    } catch (const std::bad_alloc&) {
        print_line("memory error\n");
        return false;
    }
    // A refused file has said why; an "invalid size" line would only confuse.
    if (!bytes)
        return false;
    prepared.bytes = std::move(*bytes);
    prepared.digest = sha256_of(prepared.bytes);
    return true;
}

bool check_firmware_info(const PreparedImage& prepared, FirmwareInfo& info)
{
    int result = read_firmware_info(prepared.bytes, info);
    if (result == info_bad_size) {
        print_out("Image size is invalid (%zu bytes).\n", prepared.bytes.size());
    } else if (result == info_bad_model) {
        print_line("Model name is invalid.\n");
    }
    return result == info_valid;
}

// Reads the file, checks it and its information block; false when the file is refused
// (it has said why).
bool prepare_and_check(const std::string& path, PreparedImage& prepared, FirmwareInfo& info)
{
    print_line("\n");
    std::string_view extension = file_extension(path);
    bool prepared_ok = false;
    if (extension == "bin") {
        prepared_ok = prepare_from_package(path, prepared);
    } else if (extension == "binary") {
        prepared_ok = prepare_raw_image(path, prepared);
    } else {
        print_line("File format not supported.\n");
    }
    return prepared_ok && check_firmware_info(prepared, info);
}

int refuse_file()
{
    log_error("FIRMWARE FILE IS NOT VALID!");
    return exit_refused;
}

int upload_and_apply(const FirmwarePushRequest& request, const PreparedImage& prepared,
    const FirmwareInfo& info, std::optional<std::chrono::seconds> verify_limit)
{
    const std::string& address = *request.address;
    if (!prepared.digest) {
        log_error("Firmware push failed, the image digest could not be computed.");
        return exit_failed;
    }
    if (request.before_changes)
        request.before_changes();
    if (upload_image(address, prepared.bytes, true) != 0)
        return exit_failed;
    print_line("OK\n");
    const std::string base = base_url(address);
    if (request_firmware_upgrade(base, *prepared.digest, prepared.bytes.size()) != 0)
        return exit_failed;
    print_line("OK\n");
    if (verify_limit && !verify_upgrade(base, info.version_string, *verify_limit))
        return exit_failed;
    log_success("Firmware push completed.");
    return exit_complete;
}

// What the upgrade would do, from the controller's status; nothing is uploaded. 0 when it
// would go ahead or the controller already runs the image's version, 2 for another model, 1
// when the status cannot be read.
int dry_run_upgrade(const std::string& address, const FirmwareInfo& info)
{
    ControllerStatus status;
    if (fetch_status(base_url(address), status) != 0) {
        log_error("Dry run: the controller's status could not be read; nothing was uploaded.");
        return exit_failed;
    }
    const std::string model = printable_text(status.model_name().value_or(""));
    const std::string version = printable_text(status.firmware_version().value_or(""));
    if (model != info.model_name) {
        log_error("Dry run: controller model %s does not match the firmware file's model %s; "
                  "nothing was uploaded.",
            model.c_str(), info.model_name.c_str());
        return exit_refused;
    }
    if (version == info.version_string) {
        log_success("Dry run: the controller already reports firmware %s; nothing was uploaded.",
            version.c_str());
        return exit_complete;
    }
    log_success("Dry run: controller model %s would be upgraded from firmware %s to %s; nothing "
                "was uploaded.",
        model.c_str(), version.empty() ? "(none)" : version.c_str(), info.version_string.c_str());
    return exit_complete;
}

} // namespace

int check_firmware(const std::optional<std::string>& file_path)
{
    PreparedImage prepared;
    FirmwareInfo info;
    if (!prepare_and_check(file_path.value_or(""), prepared, info))
        return refuse_file();
    log_firmware_info(info);
    log_success("The firmware file is valid.");
    return exit_complete;
}

int push_firmware(const FirmwarePushRequest& request)
{
    if (!request.address || request.address->empty()) {
        report_missing_arguments("push_firmware");
        return exit_refused;
    }
    std::optional<std::chrono::seconds> verify_limit;
    if (request.verify_seconds) {
        verify_limit = parse_verify_seconds(*request.verify_seconds);
        if (!verify_limit) {
            log_error("Invalid --verifyupgrade value '%s': whole seconds from 1 to %lld expected.",
                printable_text(*request.verify_seconds).c_str(),
                static_cast<long long>(kVerifyUpgradeMax.count()));
            return exit_refused;
        }
    }
    PreparedImage prepared;
    FirmwareInfo info;
    if (!prepare_and_check(request.file_path.value_or(""), prepared, info))
        return refuse_file();
    log_firmware_info(info);
    if (request.dry_run)
        return dry_run_upgrade(*request.address, info);
    return upload_and_apply(request, prepared, info, verify_limit);
}

} // namespace kovru
