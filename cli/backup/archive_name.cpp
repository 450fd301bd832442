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

std::string numbered_name(const std::string& path, int number)
{
    if (number == 0)
        return path;
    const std::string suffix = "_" + std::to_string(number);
    if (path.ends_with(".zip"))
        return path.substr(0, path.size() - 4) + suffix + ".zip";
    return path + suffix;
}

std::string partial_name(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    return path.substr(0, start) + "." + path.substr(start) + ".partial";
}

} // namespace kovru
