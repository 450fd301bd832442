// The import of one DALI line: the controller's channel file taken out of its fetched item,
// the line's CSV files applied, and the finished files that are to go back.
#pragma once

#include "cli/action/config_layouts.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kovru {

struct LineSources {
    std::optional<std::string> channel_csv;
    std::optional<std::string> group_csv;
    std::optional<std::string> input_csv;
};

enum class LineImportResult { imported, failed, syntax_error };

struct LineImport {
    LineImportResult result = LineImportResult::failed;
    // Part of the requested work could not be done (the log says which); what is ready may
    // still be pushed.
    bool partial = false;
    const ChannelLayout* layout = nullptr;
    // The controller's channel file as fetched, and the finished files to push.
    std::vector<std::uint8_t> fetched_channel_file;
    std::optional<std::vector<std::uint8_t>> channel_file;
    std::optional<std::vector<std::uint8_t>> input_file;
};

// A configuration file inside a fetched item image, or nothing after the messages.
std::optional<std::vector<std::uint8_t>> take_config_file(
    std::span<const std::uint8_t> item_image, const std::string& path);

LineImport import_line(unsigned line, std::span<const std::uint8_t> item_image,
    const std::optional<std::string>& firmware_version, const LineSources& sources);

} // namespace kovru
