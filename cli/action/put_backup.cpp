#include "cli/action/put_backup.h"

#include "cli/action/restore_entries.h"
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"
#include "cli/transport/tftp_upload.h"
#include "common/exit_status.h"
#include "common/time_divisor.h"
#include "common/zip_handles.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

namespace kovru {
namespace {

constexpr const char* kBackupTag = "backup";
// Far above any plain image; refuses absurd sizes before allocating.
constexpr std::uint64_t kMaxEntrySize = 64ull << 20;

struct Restore {
    std::string address;
    std::string base;
    ControllerStatus status;
};

// Uploads a tar image and asks the controller to restore it.
bool push_image(const Restore& restore, std::span<const std::uint8_t> image)
{
    if (upload_image(restore.address, image, false) != 0)
        return false;
    print_out("%s\tbackup file pushed.\n", kBackupTag);
    if (request_restore(restore.base) != 0) {
        log_error("The controller did not take the restore request.");
        return false;
    }
    print_out("%s\tbackup file restore started.\n", kBackupTag);
    return true;
}

int restore_archive(const Restore& restore, zip_t* zip)
{
    const RestoreTally tally = restore_entries(zip, restore.status.firmware_version(),
        [&](std::span<const std::uint8_t> image) { return push_image(restore, image); });
    if (tally.applicable == 0) {
        log_error("The backup holds no configuration items.");
        return exit_failed;
    }
    if (tally.restored < tally.applicable) {
        log_warning("%zu of %zu configuration files were not restored.",
            tally.applicable - tally.restored, tally.applicable);
        return exit_failed;
    }
    return exit_complete;
}

// A file that is not a zip: a single tar image pushed as it is.
int restore_plain_tar(const Restore& restore, const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    int opened = tar_could_not_open;
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (file) {
        const auto size = static_cast<std::uint64_t>(file.tellg());
        opened = tar_could_not_read;
        if (size <= kMaxEntrySize) {
            bytes.resize(size);
            file.seekg(0);
            if (file.read(
                    reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
                opened = TarImageReader(bytes).open();
        }
    }
    if (opened != tar_success) {
        print_out("Error %d opening tar file.\n", opened);
        log_error("%s is neither a backup archive nor a configuration image.", path.c_str());
        return exit_refused;
    }
    if (!push_image(restore, bytes))
        return exit_failed;
    print_out("OK\n");
    return exit_complete;
}

} // namespace

int put_backup(const RestoreRequest& request)
{
    if (!request.address || !request.archive_path) {
        print_out("Missing arguments for action put_backup.\n");
        log_error("Missing arguments for action put_backup.");
        return exit_refused;
    }
    Restore restore;
    restore.address = *request.address;
    restore.base = base_url(restore.address);
    const int status_result = fetch_status(restore.base, restore.status);
    if (status_result == 0)
        print_out("model_name=%s\r\n", restore.status.model_name()->c_str());

    int zip_error = 0;
    ZipHandle zip(zip_open(request.archive_path->c_str(), ZIP_RDONLY, &zip_error));
    if (zip && !archive_marker_accepted(zip.get())) {
        log_error("The backup is not supported by the installed tool version. Please upgrade "
                  "the tool software.");
        std::this_thread::sleep_for(scaled_pause(request.refusal_pause));
        return exit_refused;
    }
    if (status_result != 0) {
        log_error("Could not read the controller status, nothing restored.");
        return exit_failed;
    }
    if (zip)
        return restore_archive(restore, zip.get());
    return restore_plain_tar(restore, *request.archive_path);
}

} // namespace kovru
