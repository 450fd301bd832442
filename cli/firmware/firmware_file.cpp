#include "cli/firmware/firmware_file.h"

#include "cli/log/log.h"
#include "common/posix/input_file.h"

namespace kovru {

std::string_view file_extension(std::string_view path)
{
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return path.substr(dot + 1);
}

std::optional<std::vector<std::uint8_t>> read_firmware_file(
    const std::string& path, std::size_t max_size)
{
    InputBytes input = read_input_file(path, max_size);
    if (input.bytes)
        return std::move(input.bytes);
    const char* what = input.fault == InputFault::too_large ? "File is too large"
        : input.fault == InputFault::cannot_read            ? "File cannot be read"
                                                            : "File cannot be opened";
    print_out("%s (%s).\n", what, input.refusal.c_str());
    return std::nullopt;
}

} // namespace kovru
