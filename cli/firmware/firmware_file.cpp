#include "cli/firmware/firmware_file.h"

#include "cli/log/log.h"
#include "common/file_handle.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace kovru {
namespace {

constexpr std::size_t kReadChunkSize = 64 * 1024;

// Prints "<what> (<why>).", the line that says why the file is not used.
std::vector<std::uint8_t> refuse(const char* what, const std::string& why)
{
    print_out("%s (%s).\n", what, why.c_str());
    return {};
}

} // namespace

std::string_view file_extension(std::string_view path)
{
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    return path.substr(dot + 1);
}

std::vector<std::uint8_t> read_firmware_file(const std::string& path, std::size_t max_size)
{
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return refuse("File cannot be opened", std::strerror(errno));
    struct stat info { };
    if (fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode)
        && static_cast<std::uintmax_t>(info.st_size) > max_size)
        return refuse("File is too large", "more than " + std::to_string(max_size) + " bytes");

    std::vector<std::uint8_t> bytes;
    // Room for the last, short read too, so the buffer is never moved at the end.
    if (S_ISREG(info.st_mode))
        bytes.reserve(
            std::min(static_cast<std::size_t>(info.st_size) + kReadChunkSize, max_size + 1));
    // Read one byte past the limit, so a file that grew since fstat is still caught.
    while (bytes.size() <= max_size) {
        std::size_t old_size = bytes.size();
        std::size_t want = std::min(kReadChunkSize, max_size + 1 - old_size);
        bytes.resize(old_size + want);
        std::size_t got = std::fread(bytes.data() + old_size, 1, want, file.get());
        bytes.resize(old_size + got);
        if (got < want)
            break;
    }
    if (std::ferror(file.get()))
        return refuse("File cannot be read", std::strerror(errno));
    if (bytes.size() > max_size)
        return refuse("File is too large", "more than " + std::to_string(max_size) + " bytes");
    return bytes;
}

} // namespace kovru
