#include "cli/audit/audit_lines.h"

#include "cli/audit/line_audit.h"
#include "cli/backup/tar_image.h"
#include "cli/compare/backup_reader.h"
#include "cli/compare/controller_source.h"
#include "cli/controller/controller_client.h"
#include "cli/log/log.h"
#include "common/exit_status.h"

#include <memory>
#include <span>

namespace kovru {
namespace {

constexpr unsigned kLineCount = 4;

struct LineFile {
    bool trouble = false;
    std::optional<std::vector<std::uint8_t>> file;
};

// The item's configuration file; absent when the source has no such item or its image holds
// no such file.
LineFile read_line_file(ConfigSource& source, unsigned kind)
{
    const ConfigItem& item = config_items()[kind];
    ItemRead read = source.read(item);
    LineFile result;
    if (read.state == ItemRead::State::trouble) {
        log_error("Audit stopped: %s.", read.trouble.c_str());
        result.trouble = true;
        return result;
    }
    if (read.state != ItemRead::State::present)
        return result;
    TarImageReader reader(read.image);
    std::span<const std::uint8_t> data;
    if (reader.find(item.device_path) == tar_success && reader.read_data(data) == tar_success)
        result.file.emplace(data.begin(), data.end());
    else
        log_warning("%s holds no %s.", item.tar_entry_name.c_str(), item.device_path.c_str());
    return result;
}

std::optional<std::span<const std::uint8_t>> view(const LineFile& line_file)
{
    if (!line_file.file)
        return std::nullopt;
    return std::span<const std::uint8_t>(*line_file.file);
}

int audit_source(ConfigSource& source, const std::vector<unsigned>& lines)
{
    std::size_t findings = 0;
    for (unsigned line : lines) {
        const LineFile channel = read_line_file(source, kKindFirstChannel + line - 1);
        if (channel.trouble)
            return exit_refused;
        const LineFile input = read_line_file(source, kKindFirstInputDevice + line - 1);
        if (input.trouble)
            return exit_refused;
        findings += audit_line(line, view(channel), view(input));
    }
    if (findings == 0) {
        log_success("Audit of %zu line(s): nothing found.", lines.size());
        return exit_complete;
    }
    log_warning("Audit of %zu line(s): %zu finding(s).", lines.size(), findings);
    return exit_failed;
}

std::optional<std::vector<unsigned>> chosen_lines(const std::vector<std::int32_t>& given)
{
    std::vector<unsigned> lines;
    for (std::int32_t line : given) {
        if (line < 1 || line > static_cast<std::int32_t>(kLineCount)) {
            log_error("Line %d does not exist: a controller has lines 1 to %u.", line, kLineCount);
            return std::nullopt;
        }
        lines.push_back(static_cast<unsigned>(line));
    }
    if (lines.empty())
        for (unsigned line = 1; line <= kLineCount; ++line)
            lines.push_back(line);
    return lines;
}

} // namespace

int audit_lines(const AuditRequest& request)
{
    if (!request.address && !request.archive_path) {
        report_missing_arguments("audit_lines");
        return exit_refused;
    }
    if (request.address && request.archive_path) {
        log_error("audit_lines takes --ip or --backupfilein, not both.");
        return exit_refused;
    }
    const auto lines = chosen_lines(request.lines);
    if (!lines)
        return exit_refused;
    if (request.archive_path) {
        std::string error;
        auto archive = BackupReader::open(*request.archive_path, error);
        if (!archive) {
            log_error(
                "Could not read the backup %s: %s.", request.archive_path->c_str(), error.c_str());
            return exit_refused;
        }
        log_plain("Auditing the DALI lines of %s.", request.archive_path->c_str());
        return audit_source(*archive, *lines);
    }
    const std::string base = base_url(*request.address);
    ControllerStatus status;
    if (fetch_status(base, status) != 0) {
        log_error("Could not read the controller status at %s; nothing audited.",
            request.address->c_str());
        return exit_refused;
    }
    print_out("model_name=%s\r\n", status.model_name()->c_str());
    log_plain("Auditing the DALI lines of the controller at %s.", request.address->c_str());
    ControllerSource controller(base);
    return audit_source(controller, *lines);
}

} // namespace kovru
