#include "cli/transport/output_path.h"

namespace kovru {

std::string output_base_name(std::string_view remote_name)
{
    std::string_view base = remote_name;
    if (std::size_t slash = base.rfind('/'); slash != std::string_view::npos)
        base = base.substr(slash + 1);
    if (std::size_t backslash = base.rfind('\\'); backslash != std::string_view::npos)
        base = base.substr(backslash + 1);
    return std::string(base);
}

std::optional<std::string> join_output_path(std::string_view folder, std::string_view name)
{
    if (folder.size() + name.size() + 2 > kOutputPathLimit)
        return std::nullopt;
    std::string path(folder);
    bool ends_in_separator = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
    if (!ends_in_separator)
        path += '/';
    path += name;
    if (path.empty() || path.size() >= kOutputPathLimit)
        return std::nullopt;
    return path;
}

} // namespace kovru
