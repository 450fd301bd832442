#include "cli/firmware/push_d2fw.h"

#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/firmware/firmware_file.h"
#include "cli/firmware/sha256_digest.h"
#include "cli/log/log.h"
#include "cli/transport/tftp_upload.h"

#include <new>

namespace kovru {
namespace {

void print_line(const char* line)
{
    print_out("%s", line);
}

int refuse_file()
{
    log_error("FIRMWARE FILE IS NOT VALID!");
    return exit_refused;
}

} // namespace

int push_d2fw(const FirmwarePushRequest& request)
{
    if (!request.address || request.address->empty()) {
        report_missing_arguments("push_d2fw");
        return exit_refused;
    }
    const std::string path = request.file_path.value_or("");
    print_line("\n");
    if (file_extension(path) != "d2fw") {
        print_line("File format not supported.\n");
        return refuse_file();
    }
    print_line("Preparing file...\n");
    log_plain("Preparing file '%s'.", path.c_str());
    std::vector<std::uint8_t> file;
    try {
        file = read_firmware_file(path, kFirmwareImageMaxSize)
                   .value_or(std::vector<std::uint8_t> {});
    } catch (const std::bad_alloc&) {
        print_line("memory error\n");
    }
    if (file.empty())
        return refuse_file();
    std::optional<Sha256Digest> digest = sha256_of(file);
    if (!digest) {
        log_error("Device firmware file push failed, the file digest could not be computed.");
        return exit_failed;
    }

    const std::string& address = *request.address;
    if (upload_image(address, file, true) != 0)
        return exit_failed;
    print_line("OK\n");
    log_plain("File transfered.");
    if (request_d2fw_upgrade(base_url(address), *digest, file.size()) != 0)
        return exit_failed;
    print_line("OK\n");
    log_success("Log in to the controller to continue the device firmware upgrade.");
    return exit_complete;
}

} // namespace kovru
