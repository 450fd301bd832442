#include "host/app/file_replace.h"

#include "host/app/gtk/unique_fd.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace kovrkit {

static bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

static std::string directoryPart(const std::string& path)
{
    auto cut = path.rfind('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? std::string("/") : path.substr(0, cut);
}

// The replacement keeps the old file's permissions; a new file gets the usual ones.
static void copyModeOrDefault(int fd, const std::string& path)
{
    struct stat old { };
    if (::stat(path.c_str(), &old) == 0) {
        (void)::fchmod(fd, old.st_mode & 07777);
        return;
    }
    mode_t mask = ::umask(022);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
}

static void syncDirectory(const std::string& path)
{
    UniqueFd directory(::open(directoryPart(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.valid())
        (void)::fsync(directory.get());
}

bool replaceFileAtomically(const std::string& path, std::string_view bytes)
{
    std::string pattern = path + ".tmp-XXXXXX";
    std::vector<char> tempName(pattern.begin(), pattern.end());
    tempName.push_back('\0');
    UniqueFd file(::mkostemp(tempName.data(), O_CLOEXEC));
    if (!file.valid())
        return false;
    copyModeOrDefault(file.get(), path);
    bool written = writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    written = file.close() && written;
    if (!written || ::rename(tempName.data(), path.c_str()) != 0) {
        ::unlink(tempName.data());
        return false;
    }
    syncDirectory(path);
    return true;
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid())
        return false;
    struct stat info { };
    if (::fstat(file.get(), &info) != 0 || S_ISDIR(info.st_mode))
        return false;
    std::string content;
    char chunk[65536];
    for (;;) {
        ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            break;
        content.append(chunk, static_cast<size_t>(got));
    }
    bytes = std::move(content);
    return true;
}

bool fileExists(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace kovrkit
