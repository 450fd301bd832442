#include "cli/import/export_channel.h"

#include "cli/backup/fetch_item.h"
#include "cli/controller/controller_client.h"
#include "cli/import/channel_export.h"
#include "cli/import/channel_files.h"
#include "cli/import/line_import.h"
#include "cli/import/setup_channel.h"
#include "cli/log/log.h"
#include "common/exit_status.h"
#include "common/posix/atomic_replace.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace kovru {
namespace {

// An empty entry names no file of its kind for that line.
const std::string* entry(const std::vector<std::string>& list, std::size_t i)
{
    return i < list.size() && !list[i].empty() ? &list[i] : nullptr;
}

// Written beside the target, flushed to disk and renamed over it, so a failed write or a
// crash leaves the old file.
bool write_text_file(const std::string& path, const std::string& text)
{
    auto replacement = AtomicReplacement::begin(path, path + ".partial");
    if (!replacement || !replacement->commit(text)) {
        log_error("Could not write %s: %s.", path.c_str(), std::strerror(errno));
        return false;
    }
    log_success("Wrote %s.", path.c_str());
    return true;
}

std::optional<std::vector<std::uint8_t>> fetch_file(
    const std::string& base, const std::string& item_name, const std::string& path)
{
    FetchedItem item;
    if (fetch_item(base, item_name, item) != 0) {
        log_error("Could not fetch %s from the controller.", item_name.c_str());
        return std::nullopt;
    }
    return take_config_file(item.image, path);
}

bool export_channel_part(const std::string& base, unsigned line, const std::string* channel_csv,
    const std::string* group_csv)
{
    const auto file = fetch_file(base, "dali" + std::to_string(line), channel_file_path(line));
    if (!file)
        return false;
    const ChannelLayout* layout = channel_layout_of_file(*file);
    if (!layout) {
        log_error("The channel file of line %u has no known layout (%zu bytes); not exported.",
            line, file->size());
        return false;
    }
    bool written = true;
    if (channel_csv)
        written = write_text_file(*channel_csv, export_channel_csv(*file, *layout, line));
    if (group_csv)
        written = write_text_file(*group_csv, export_group_csv(*file, *layout, line)) && written;
    return written;
}

bool export_input_part(const std::string& base, unsigned line, const std::string& input_csv)
{
    const auto file = fetch_file(base, "cd" + std::to_string(line), input_device_file_path(line));
    if (!file)
        return false;
    if (file->size() != input_device_layout::v3.file_size) {
        log_error("The input-device file of line %u is not of layout 3 (%zu bytes); its inputs "
                  "cannot be imported again and are not exported.",
            line, file->size());
        return false;
    }
    return write_text_file(input_csv, export_input_csv(*file));
}

} // namespace

int export_channel(const ChannelExportRequest& request)
{
    const std::size_t files = std::max(
        { request.channel_files.size(), request.group_files.size(), request.input_files.size() });
    if (!request.address || request.lines.empty() || files == 0) {
        report_missing_arguments("export_channel");
        return exit_refused;
    }
    const std::string base = base_url(*request.address);
    bool all_done = true;
    for (std::size_t i = 0; i < std::max(files, request.lines.size()); ++i) {
        if (i >= request.lines.size() || i >= files || !valid_line_number(request.lines[i])) {
            log_error(
                "Position %zu has no usable line number or no CSV file; it is skipped.", i + 1);
            all_done = false;
            continue;
        }
        const auto line = static_cast<unsigned>(request.lines[i]);
        const std::string* channel_csv = entry(request.channel_files, i);
        const std::string* group_csv = entry(request.group_files, i);
        const std::string* input_csv = entry(request.input_files, i);
        if ((channel_csv || group_csv) && !export_channel_part(base, line, channel_csv, group_csv))
            all_done = false;
        if (input_csv && !export_input_part(base, line, *input_csv))
            all_done = false;
    }
    if (all_done)
        log_success("Channel export completed.");
    else
        log_error("Channel export did not write every file; see the lines above.");
    return all_done ? exit_complete : exit_failed;
}

} // namespace kovru
