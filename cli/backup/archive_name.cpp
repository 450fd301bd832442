#include "cli/backup/archive_name.h"

#include <cstdio>

namespace kovru {

std::string sanitize_address(std::string_view address)
{
    constexpr std::string_view reserved = "<>:\"/\\|?*";
    std::string safe(address);
    for (char& c : safe)
        if (reserved.find(c) != std::string_view::npos)
            c = '_';
    return safe;
}

std::string archive_file_name(std::string_view address, const std::tm& local_start)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u%02u%02u_%02u%02u%02u",
        static_cast<unsigned>(local_start.tm_year + 1900),
        static_cast<unsigned>(local_start.tm_mon + 1), static_cast<unsigned>(local_start.tm_mday),
        static_cast<unsigned>(local_start.tm_hour), static_cast<unsigned>(local_start.tm_min),
        static_cast<unsigned>(local_start.tm_sec));
    return "backup_" + sanitize_address(address) + "_VELDIR_" + stamp + ".zip";
}

std::string join_path(std::string_view folder, std::string_view name)
{
    std::string path(folder);
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + std::string(name);
}

} // namespace kovru
