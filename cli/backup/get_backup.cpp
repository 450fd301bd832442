#include "cli/backup/get_backup.h"

#include "cli/backup/archive_name.h"
#include "cli/backup/backup_output.h"
#include "cli/backup/config_items.h"
#include "cli/backup/fetch_item.h"
#include "cli/backup/held_file.h"
#include "cli/backup/item_prefetch.h"
#include "cli/backup/tool_marker.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"
#include "cli/log/run_cancel.h"
#include "cli/transport/tftp_read.h"
#include "cli/transport/transfer_settings.h"
#include "common/exit_status.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace kovru {
namespace {

constexpr const char* kTag = "backup";
constexpr std::uint64_t kFlashSnapshotSize = 0x200000;
constexpr std::string_view kFlashSnapshotName = "flashfs.bin";
constexpr std::string_view kLogName = "log.txt";
// Items in a row whose every attempt failed in transfer before the controller counts as
// gone; without this a controller that stopped answering would hold a backup for hours.
constexpr std::size_t kUnreachableItemsBeforeGivingUp = 3;

std::span<const std::uint8_t> bytes_of(std::string_view text)
{
    return { reinterpret_cast<const std::uint8_t*>(text.data()), text.size() };
}

// Item names go into a URL and, in directory mode, into a file name.
bool is_safe_item_name(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
            || c == '_' || c == '-';
    });
}

// The names to fetch, in order, without repeats; false when a name had to be refused.
bool items_to_fetch(const std::vector<std::string>& selection, std::vector<std::string>& names)
{
    if (selection.empty()) {
        for (unsigned kind : default_fetch_order())
            names.push_back(config_items()[kind].item_name);
        return true;
    }
    bool all_taken = true;
    for (const std::string& name : selection) {
        if (!is_safe_item_name(name)) {
            log_error("Invalid configuration item name '%s', not fetched.", name.c_str());
            all_taken = false;
        } else if (std::find(names.begin(), names.end(), name) == names.end()) {
            names.push_back(name);
        }
    }
    return all_taken;
}

std::tm local_time_now()
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    return local;
}

std::unique_ptr<BackupOutput> open_zip_output(const std::string& address, const std::string& folder)
{
    const std::string path = join_path(folder, archive_file_name(address, local_time_now()));
    std::string error;
    auto archive = BackupArchive::create(path, error);
    if (!archive)
        log_error("Could not open zip file for writing: %s", path.c_str());
    return make_archive_output(std::move(archive), path);
}

// Stores one file; a failure is logged when the output could take files until then.
bool store_entry(
    BackupOutput& output, std::string_view name, std::span<const std::uint8_t> bytes, bool zip_mode)
{
    const bool was_ready = output.ready();
    std::string error;
    if (output.store(name, bytes, error))
        return true;
    if (zip_mode && was_ready)
        log_error("Could not add %s to the backup archive.", std::string(name).c_str());
    else if (!zip_mode)
        log_error(
            "Could not write %s: %s.", join_path(output.location(), name).c_str(), error.c_str());
    return false;
}

bool store_flash_snapshot(const std::string& address, bool zip_mode, BackupOutput& output)
{
    MemoryBuffer snapshot;
    if (tftp_read_memory(address, std::string(kFlashSnapshotName), kFlashSnapshotSize, snapshot)
            != 0
        || snapshot.empty()) {
        log_warning("[WARN] Could not fetch flashfs.bin for backup");
        return false;
    }
    return store_entry(output, kFlashSnapshotName, snapshot, zip_mode);
}

enum class ItemOutcome { stored, missing, unreachable };

// Fetches one item and stores it.
ItemOutcome back_up_item(const std::string& base, const std::string& name, unsigned percent,
    bool zip_mode, BackupOutput& output, std::optional<RecordedFetch> recorded)
{
    FetchedItem item;
    if (int fetched = fetch_item(base, name, item, recorded ? &*recorded : nullptr); fetched != 0) {
        print_out_in(
            ConsoleColour::red, "%s\tbackup file not found for action get_backup.\r\n\r\n", kTag);
        log_error("%s\tbackup file not found for action get_backup.", kTag);
        return fetched == kFetchTransferFailed ? ItemOutcome::unreachable : ItemOutcome::missing;
    }
    print_out_in(
        ConsoleColour::green, "%s\tbackup file OK, adding to backup archive...\r\n\r\n", kTag);
    const std::string entry = name + ".tar";
    if (!store_entry(output, entry, item.image, zip_mode))
        return ItemOutcome::missing;
    if (zip_mode)
        log_success("%u%% Backup file %s...", percent, entry.c_str());
    return ItemOutcome::stored;
}

} // namespace

int get_backup(const BackupRequest& request)
{
    if (!request.address || !request.output_folder) {
        report_missing_arguments("get_backup");
        return exit_refused;
    }
    const std::string type = request.output_type.value_or("directory");
    if (type != "zip" && type != "directory") {
        log_error("Unknown backup output type '%s' (use zip or directory).", type.c_str());
        return exit_refused;
    }
    const bool zip_mode = type == "zip";
    const std::string& address = *request.address;
    const std::string base = base_url(address);
    std::vector<std::string> names;
    bool complete = items_to_fetch(request.items, names);

    remove_dead_partials(*request.output_folder);
    auto output = zip_mode ? open_zip_output(address, *request.output_folder)
                           : make_directory_output(*request.output_folder);
    complete
        = store_entry(*output, kToolMarkerName, bytes_of(kToolMarkerText), zip_mode) && complete;
    complete = output->ready() && store_flash_snapshot(address, zip_mode, *output) && complete;

    std::optional<ItemPrefetch> prefetch;
    if (const int connections = transfer_settings().fetch_connections;
        connections > 1 && names.size() > 1 && output->ready())
        prefetch.emplace(base, names, connections);
    std::size_t left_out = 0;
    std::size_t stored = 0;
    std::size_t unreachable_in_row = 0;
    for (std::size_t k = 0; k < names.size() && !transfer_cancelled(); ++k) {
        if (!output->ready()) {
            // Nothing more can be stored (a full disk): fetching the rest would only take time.
            left_out += names.size() - k;
            break;
        }
        const unsigned percent = static_cast<unsigned>(k * 100 / names.size());
        set_progress(static_cast<int>(percent));
        const ItemOutcome outcome = back_up_item(base, names[k], percent, zip_mode, *output,
            prefetch ? prefetch->take(k) : std::nullopt);
        if (outcome == ItemOutcome::stored) {
            ++stored;
            unreachable_in_row = 0;
            continue;
        }
        ++left_out;
        unreachable_in_row = outcome == ItemOutcome::unreachable ? unreachable_in_row + 1 : 0;
        if (unreachable_in_row == kUnreachableItemsBeforeGivingUp && k + 1 < names.size()) {
            log_error("%zu items in a row could not be transferred; the other %zu configuration "
                      "items are not fetched.",
                kUnreachableItemsBeforeGivingUp, names.size() - k - 1);
            left_out = names.size() - stored;
            break;
        }
    }
    prefetch.reset(); // fetches ahead of a stop are not wanted
    // A cancelled backup is no backup: the archive being written is removed with its output.
    if (transfer_cancelled())
        return exit_failed;
    if (left_out > 0) {
        log_warning(
            "%zu of %zu configuration items are missing from the backup.", left_out, names.size());
        complete = false;
    }
    // An archive without a single item is no backup; none is left to be taken for one. (An
    // archive that could take nothing more says why when it is finished, below.)
    if (stored == 0 && !names.empty() && zip_mode && output->ready()) {
        log_error("No configuration item could be fetched; no backup written.");
        return exit_failed;
    }
    set_progress(100);
    // A backup that lacks a file the disk refused is not complete: no completion to report.
    if (output->ready() && output->all_stored())
        log_success("%u%% Completed (%s).", 100u, output->location().c_str());

    const std::string_view log_text = capture_text();
    std::string ignored;
    if (!log_text.empty() && zip_mode)
        complete = output->store(kLogName, bytes_of(log_text), ignored) && complete;
    else if (!log_text.empty())
        complete = store_entry(*output, kLogName, bytes_of(log_text), zip_mode) && complete;
    const std::string reserved = output->location();
    std::string error;
    if (!output->finish(error)) {
        log_error("Backup not written: %s (%s).", reserved.c_str(), error.c_str());
        complete = false;
    } else if (output->location() != reserved) {
        log_warning("Another file took the name %s meanwhile; the backup is %s.", reserved.c_str(),
            output->location().c_str());
    }
    return complete ? exit_complete : exit_failed;
}

} // namespace kovru
