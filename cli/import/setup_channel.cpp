#include "cli/import/setup_channel.h"

#include "cli/action/config_file_header.h"
#include "cli/backup/fetch_item.h"
#include "cli/controller/action_requests.h"
#include "cli/controller/controller_client.h"
#include "cli/import/channel_files.h"
#include "cli/import/csv_reader.h"
#include "cli/import/line_image.h"
#include "cli/import/line_import.h"
#include "cli/import/record_changes.h"
#include "cli/log/log.h"
#include "cli/log/tool_events.h"
#include "cli/transport/tftp_upload.h"
#include "common/exit_status.h"

#include <algorithm>
#include <cstdio>

namespace kovru {
namespace {

constexpr const char* backup_tag = "backup";

enum class LineOutcome { done, failed, stop };

// An empty entry names no file of its kind for that line.
std::optional<std::string> entry(const std::vector<std::string>& list, std::size_t i)
{
    return i < list.size() && !list[i].empty() ? std::optional(list[i]) : std::nullopt;
}

LineSources sources_at(const ChannelSetupRequest& request, std::size_t i)
{
    return { entry(request.channel_files, i), entry(request.group_files, i),
        entry(request.input_files, i) };
}

bool push_line_image(const std::string& address, std::span<const std::uint8_t> image)
{
    if (upload_image(address, image, false) != 0) {
        log_error("The upload of the line's files failed.");
        return false;
    }
    print_out("%s\tbackup file pushed.\n", backup_tag);
    if (request_restore(base_url(address)) != 0) {
        log_error("The controller did not take the restore request.");
        return false;
    }
    print_out("%s\tbackup file restore started.\n", backup_tag);
    log_success("File restored.");
    return true;
}

// The controller's current input-device file, for the comparison of a dry run.
std::vector<std::uint8_t> current_input_file(const std::string& base, unsigned line)
{
    FetchedItem item;
    if (fetch_item(base, "cd" + std::to_string(line), item) != 0)
        return {};
    return take_config_file(item.image, input_device_file_path(line))
        .value_or(std::vector<std::uint8_t> {});
}

void report_dry_run(const std::string& base, unsigned line, const LineImport& import)
{
    // The headers too, as a comparison of the files before and after the push shows them.
    std::size_t changed = 0;
    if (import.channel_file) {
        changed += report_header_changes(line, import.fetched_channel_file, *import.channel_file);
        changed += report_channel_changes(
            line, *import.layout, import.fetched_channel_file, *import.channel_file);
    }
    if (import.input_file) {
        const std::vector<std::uint8_t> current = current_input_file(base, line);
        if (current.size() >= kConfigFileHeaderSize)
            changed += report_header_changes(line, current, *import.input_file);
        changed += report_input_changes(line, current, *import.input_file);
    }
    log_plain("Line %u: %zu record(s) would change; nothing was pushed (dry run).", line, changed);
}

LineOutcome run_line(const ChannelSetupRequest& request, unsigned line, const LineSources& sources)
{
    const std::string base = base_url(*request.address);
    FetchedItem item;
    if (fetch_item(base, "dali" + std::to_string(line), item) != 0) {
        log_error("Could not fetch the channel configuration of line %u.", line);
        return LineOutcome::failed;
    }
    print_out("OK\n");
    print_out("CH=%u\n", line);
    for (const auto* path : { &sources.channel_csv, &sources.group_csv, &sources.input_csv })
        if (*path)
            print_out("FILE=%s\n", (*path)->c_str());

    const LineImport import = import_line(line, item.image, item.firmware_version, sources);
    if (import.result == LineImportResult::syntax_error)
        return LineOutcome::stop;
    if (import.result != LineImportResult::imported)
        return LineOutcome::failed;
    const auto image = build_line_image(line, import);
    if (!image)
        return LineOutcome::failed;
    if (request.dry_run)
        report_dry_run(base, line, import);
    else if (!push_line_image(*request.address, *image))
        return LineOutcome::failed;
    else
        print_out("OK\n");
    return import.partial ? LineOutcome::failed : LineOutcome::done;
}

// A FIFO, a device or an oversized file among the CSV files is refused before any line is
// fetched: it would be waited on, or read without end, halfway through the set-up.
bool csv_files_usable(const ChannelSetupRequest& request)
{
    // The refusal of each position's first refused file, for its line's result.
    std::vector<std::string> refusals(request.lines.size());
    bool usable = true;
    for (const auto* list : { &request.channel_files, &request.group_files, &request.input_files })
        for (std::size_t i = 0; i < list->size(); ++i)
            if (std::string why = csv_file_refusal((*list)[i]); !why.empty()) {
                log_error("%s cannot be read as a CSV file (%s).", (*list)[i].c_str(), why.c_str());
                if (i < refusals.size() && refusals[i].empty())
                    refusals[i] = last_error_line();
                usable = false;
            }
    if (usable)
        return true;
    log_error("Channel set-up refused: nothing was changed.");
    for (std::size_t i = 0; i < request.lines.size(); ++i)
        event_line_result(
            request.lines[i], false, refusals[i].empty() ? last_error_line() : refusals[i]);
    return false;
}

// Why a line was not (wholly) pushed: its last error line, or for a partly applied line the
// general text.
std::string line_failure_reason()
{
    const std::string& error = last_error_line();
    return error.empty() ? "The line was applied only in part; see the log." : error;
}

} // namespace

bool valid_line_number(std::int32_t line)
{
    return line >= 1 && line <= 4;
}

int setup_channel(const ChannelSetupRequest& request)
{
    const std::size_t files = std::max(
        { request.channel_files.size(), request.group_files.size(), request.input_files.size() });
    if (!request.address || request.lines.empty() || files == 0) {
        report_missing_arguments("setup_channel");
        return exit_refused;
    }
    if (!csv_files_usable(request))
        return exit_refused;
    bool all_done = true;
    for (std::size_t i = 0; i < std::max(files, request.lines.size()); ++i) {
        if (i >= request.lines.size() || i >= files) {
            log_error("Position %zu has %s; it is skipped.", i + 1,
                i >= request.lines.size() ? "CSV files but no line number"
                                          : "a line number but no CSV file");
            all_done = false;
            continue;
        }
        const std::int32_t line = request.lines[i];
        if (!valid_line_number(line)) {
            log_error("Line %d does not exist (lines 1 to 4); it is skipped.", line);
            event_line_result(line, false, last_error_line());
            all_done = false;
            continue;
        }
        const LineSources sources = sources_at(request, i);
        if (!sources.channel_csv && !sources.group_csv && !sources.input_csv) {
            log_error("Line %d names no CSV file; it is skipped.", line);
            event_line_result(line, false, last_error_line());
            all_done = false;
            continue;
        }
        forget_last_error();
        const LineOutcome outcome = run_line(request, static_cast<unsigned>(line), sources);
        if (outcome == LineOutcome::stop) {
            const std::string reason = last_error_line();
            log_error("Channel set-up stopped at line %d: nothing more was pushed.", line);
            event_line_result(line, false, reason);
            return exit_failed;
        }
        if (outcome == LineOutcome::failed)
            all_done = false;
        event_line_result(line, outcome == LineOutcome::done,
            outcome == LineOutcome::done ? std::string() : line_failure_reason());
    }
    if (all_done)
        log_success(
            request.dry_run ? "Channel set-up checked (dry run)." : "Channel set-up completed.");
    else
        log_error("Channel set-up did not complete every line; see the lines above.");
    return all_done ? exit_complete : exit_failed;
}

} // namespace kovru
