#include "host/app/file_replace.h"

#include "common/posix/atomic_replace.h"
#include "common/posix/unique_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrkit {

bool replaceFileAtomically(const std::string& path, std::string_view bytes)
{
    auto replacement = kovru::AtomicReplacement::begin(path, path + ".tmp");
    return replacement && replacement->commit(bytes);
}

bool readWholeFile(const std::string& path, std::string& bytes)
{
    kovru::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
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
