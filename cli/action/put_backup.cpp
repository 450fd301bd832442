#include "cli/action/put_backup.h"

#include "cli/action/restore_entries.h"
#include "cli/backup/tar_image.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"
#include "cli/transport/tftp_upload.h"
#include "common/exit_status.h"
#include "common/posix/input_file.h"
#include "common/time_divisor.h"
#include "common/zip_handles.h"

#include <cstdio>
#include <memory>
#include <new>
#include <thread>
#include <vector>

namespace kovru {
namespace {

constexpr const char* kBackupTag = "backup";

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
    if (tally.restored < tally.applicable) {
        log_warning("%zu of %zu configuration files were not restored.",
            tally.applicable - tally.restored, tally.applicable);
        return exit_failed;
    }
    return exit_complete;
}

// The file to restore, held in memory: a zip archive read from it, or a plain tar image.
struct RestoreInput {
    std::vector<std::uint8_t> bytes;
    ZipSourceHandle source;
    ZipHandle zip;
};

// Opens the bytes as a zip; a file that is no zip leaves input.zip empty.
void open_zip(RestoreInput& input)
{
    zip_error_t error;
    zip_error_init(&error);
    input.source.reset(zip_source_buffer_create(input.bytes.data(), input.bytes.size(), 0, &error));
    if (input.source) {
        input.zip.reset(zip_open_from_source(input.source.get(), ZIP_RDONLY, &error));
        // The archive owns the source once it opened.
        if (input.zip)
            input.source.release();
    }
    zip_error_fini(&error);
}

// Reads and checks the file before anything else happens; 0 when the restore may go ahead,
// otherwise the exit status after the lines that say why.
int load_restore_input(const RestoreRequest& request, RestoreInput& input)
{
    const std::string& path = *request.archive_path;
    InputBytes read;
    try {
        read = read_input_file(path, kBackupArchiveMaxSize);
    } catch (const std::bad_alloc&) {
        read.refusal = "out of memory";
    }
    if (!read.bytes) {
        log_error("The backup file %s cannot be read (%s), nothing restored.", path.c_str(),
            read.refusal.c_str());
        return exit_refused;
    }
    input.bytes = std::move(*read.bytes);
    open_zip(input);
    if (input.zip) {
        if (!archive_marker_accepted(input.zip.get())) {
            log_error("The backup is not supported by the installed tool version. Please upgrade "
                      "the tool software.");
            std::this_thread::sleep_for(scaled_pause(request.refusal_pause));
            return exit_refused;
        }
        if (count_config_entries(input.zip.get()) == 0) {
            log_error("The backup holds no configuration items.");
            return exit_failed;
        }
        return exit_complete;
    }
    const int opened = TarImageReader(input.bytes).open();
    if (opened != tar_success) {
        print_out("Error %d opening tar file.\n", opened);
        log_error("%s is neither a backup archive nor a configuration image.", path.c_str());
        return exit_refused;
    }
    return exit_complete;
}

} // namespace

int put_backup(const RestoreRequest& request)
{
    if (!request.address || !request.archive_path) {
        report_missing_arguments("put_backup");
        return exit_refused;
    }
    RestoreInput input;
    if (const int refused = load_restore_input(request, input); refused != exit_complete)
        return refused;
    if (request.before_changes)
        request.before_changes();

    Restore restore;
    restore.address = *request.address;
    restore.base = base_url(restore.address);
    if (fetch_status(restore.base, restore.status) != 0) {
        log_error("Could not read the controller status, nothing restored.");
        return exit_failed;
    }
    print_out("model_name=%s\r\n", restore.status.model_name()->c_str());
    if (input.zip)
        return restore_archive(restore, input.zip.get());
    if (!push_image(restore, input.bytes))
        return exit_failed;
    print_out("OK\n");
    return exit_complete;
}

} // namespace kovru
