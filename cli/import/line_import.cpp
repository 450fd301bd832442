#include "cli/import/line_import.h"

#include "cli/action/firmware_version.h"
#include "cli/backup/tar_image.h"
#include "cli/import/channel_files.h"
#include "cli/import/channel_import.h"
#include "cli/import/input_import.h"
#include "cli/log/log.h"

#include <cstdio>

namespace kovru {
namespace {

constexpr const char* backup_tag = "backup";
constexpr const char* input_tag = "importcsv_cd";

// False when the file could not be read through; the log says why.
bool read_through(
    const CsvImportOutcome& outcome, const std::string& path, unsigned line, LineImport& import)
{
    if (outcome.read.result == csv_syntax_error) {
        log_error("%s is not a readable CSV file (%s); line %u not changed.", path.c_str(),
            outcome.read.error_text.c_str(), line);
        import.result = LineImportResult::syntax_error;
        return false;
    }
    if (outcome.read.result == csv_file_refused) {
        log_error("%s cannot be read as a CSV file (%s); line %u not changed.", path.c_str(),
            outcome.read.error_text.c_str(), line);
        return false;
    }
    if (outcome.read.result != csv_read_done) {
        log_error("Could not open %s; line %u not changed.", path.c_str(), line);
        return false;
    }
    return true;
}

bool import_channel_part(unsigned line, std::span<const std::uint8_t> item_image,
    const LineSources& sources, LineImport& import)
{
    auto fetched = take_config_file(item_image, channel_file_path(line));
    if (!fetched)
        return false;
    const ChannelLayout& layout = *import.layout;
    if (fetched->size() != layout.file_size) {
        log_error("The channel file of line %u has %zu bytes, not the %zu of layout %u that the "
                  "firmware expects; line %u not changed.",
            line, fetched->size(), layout.file_size, layout.version, line);
        return false;
    }
    import.fetched_channel_file = *fetched;
    std::vector<std::uint8_t> file = std::move(*fetched);
    if (sources.channel_csv
        && !read_through(import_channel_csv(*sources.channel_csv, file, layout),
            *sources.channel_csv, line, import))
        return false;
    if (sources.group_csv
        && !read_through(
            import_group_csv(*sources.group_csv, file, layout), *sources.group_csv, line, import))
        return false;
    finish_channel_file(file, layout);
    import.channel_file = std::move(file);
    return true;
}

enum class InputPart { imported, refused_by_version, failed };

// Input-device files are written in layout 3 only.
InputPart import_input_part(
    unsigned line, const std::string& firmware, const std::string& path, LineImport& import)
{
    if (input_device_target_version(firmware) != 3u) {
        print_out("%s\terror version %s not supported.\r\n", input_tag, firmware.c_str());
        print_out("%s\terror version %s not supported.\r\n", backup_tag, firmware.c_str());
        log_error("Firmware %s takes no input-device file of layout 3; the inputs of line %u "
                  "were not imported.",
            firmware.c_str(), line);
        return InputPart::refused_by_version;
    }
    std::vector<std::uint8_t> file(input_device_layout::v3.file_size);
    if (!read_through(import_input_csv(path, file), path, line, import))
        return InputPart::failed;
    finish_input_device_file(file);
    import.input_file = std::move(file);
    return InputPart::imported;
}

} // namespace

std::optional<std::vector<std::uint8_t>> take_config_file(
    std::span<const std::uint8_t> item_image, const std::string& path)
{
    TarImageReader reader(item_image);
    const int found = reader.find(path);
    std::span<const std::uint8_t> data;
    if (found == tar_file_not_found) {
        print_out("%s\terror '%s' file not found.\r\n", backup_tag, path.c_str());
        log_error("Error '%s' file not found.", path.c_str());
    } else if (found != tar_success || reader.read_data(data) != tar_success) {
        print_out("%s\terror reading '%s'\r\n", backup_tag, path.c_str());
        log_error("Error reading '%s'.", path.c_str());
    } else if (data.empty()) {
        print_out("%s\terror '%s' file size error.\r\n", backup_tag, path.c_str());
        log_error("Error '%s' file size error.", path.c_str());
    } else {
        return std::vector<std::uint8_t>(data.begin(), data.end());
    }
    return std::nullopt;
}

LineImport import_line(unsigned line, std::span<const std::uint8_t> item_image,
    const std::optional<std::string>& firmware_version, const LineSources& sources)
{
    LineImport import;
    const auto target = firmware_version ? channel_target_version(*firmware_version) : std::nullopt;
    if (!target) {
        log_error("The controller names no usable firmware version; line %u not changed.", line);
        return import;
    }
    import.layout = &channel_layout_for_target(*target);
    if ((sources.channel_csv || sources.group_csv)
        && !import_channel_part(line, item_image, sources, import))
        return import;
    if (sources.input_csv) {
        const InputPart part
            = import_input_part(line, *firmware_version, *sources.input_csv, import);
        // The channel file still goes when only the firmware refuses the inputs.
        if (part == InputPart::failed
            || (part == InputPart::refused_by_version && !import.channel_file)) {
            import.channel_file.reset();
            return import;
        }
        import.partial = part == InputPart::refused_by_version;
    }
    import.result = LineImportResult::imported;
    return import;
}

} // namespace kovru
