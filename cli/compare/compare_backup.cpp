#include "cli/compare/compare_backup.h"

#include "cli/compare/backup_reader.h"
#include "cli/compare/config_comparison.h"
#include "cli/compare/controller_source.h"
#include "cli/controller/controller_client.h"
#include "cli/import/record_changes.h"
#include "cli/log/log.h"
#include "common/exit_status.h"

#include <memory>

namespace kovru {
namespace {

int missing_arguments(const char* action)
{
    report_missing_arguments(action);
    return exit_refused;
}

std::unique_ptr<BackupReader> open_backup(const std::string& path)
{
    std::string error;
    auto reader = BackupReader::open(path, error);
    if (!reader)
        log_error("Could not read the backup %s: %s.", path.c_str(), error.c_str());
    return reader;
}

int compare_with_controller(
    BackupReader& archive, const std::string& archive_path, const std::string& address)
{
    const std::string base = base_url(address);
    ControllerStatus status;
    if (fetch_status(base, status) != 0) {
        log_error("Could not read the controller status at %s; nothing compared.", address.c_str());
        return exit_refused;
    }
    print_out("model_name=%s\r\n", status.model_name()->c_str());
    log_plain("Comparing %s with the controller at %s.", archive_path.c_str(), address.c_str());
    ControllerSource controller(base);
    return compare_configurations(archive, controller, kChanged);
}

} // namespace

int compare_backup(const CompareRequest& request)
{
    if (!request.archive_path || (!request.compare_with && !request.address))
        return missing_arguments("compare_backup");
    if (request.compare_with && request.address) {
        log_error("compare_backup takes --comparewith or --ip, not both.");
        return exit_refused;
    }
    auto archive = open_backup(*request.archive_path);
    if (!archive)
        return exit_refused;
    if (request.address)
        return compare_with_controller(*archive, *request.archive_path, *request.address);
    auto other = open_backup(*request.compare_with);
    if (!other)
        return exit_refused;
    log_plain(
        "Comparing %s with %s.", request.archive_path->c_str(), request.compare_with->c_str());
    return compare_configurations(*archive, *other, kChanged);
}

int preview_restore(
    const std::optional<std::string>& address, const std::optional<std::string>& archive_path)
{
    if (!address || !archive_path)
        return missing_arguments("put_backup");
    auto archive = open_backup(*archive_path);
    if (!archive)
        return exit_refused;
    const int result = compare_with_controller(*archive, *archive_path, *address);
    log_plain("Nothing was pushed (dry run).");
    return result;
}

} // namespace kovru
