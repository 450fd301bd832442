#include "host/platform/file_access.h"

#include "common/posix/atomic_replace.h"
#include "common/posix/unique_fd.h"

#include <cerrno>
#include <cstddef>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrkit {

namespace {

constexpr int kAsideAttempts = 100;

enum class Copy { written, nameTaken, failed };

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The copy may hold device passwords: only its owner reads it.
Copy copyBytesTo(const std::string& aside, std::string_view bytes)
{
    kovru::UniqueFd file(
        ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.valid())
        return errno == EEXIST ? Copy::nameTaken : Copy::failed;
    if (writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.close())
        return Copy::written;
    ::unlink(aside.c_str());
    return Copy::failed;
}

void syncFolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    kovru::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        (void)::fsync(fd.get());
}

} // namespace

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

std::optional<std::string> keepFileAside(const std::string& path, const std::string* bytes,
    const std::function<std::string(int attempt)>& asideName)
{
    for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
        std::string aside = asideName(attempt);
        if (::link(path.c_str(), aside.c_str()) == 0) {
            syncFolderOf(aside);
            return aside;
        }
        if (errno == EEXIST)
            continue;
        if (!bytes)
            return std::nullopt;
        switch (copyBytesTo(aside, *bytes)) {
        case Copy::written:
            syncFolderOf(aside);
            return aside;
        case Copy::nameTaken:
            continue;
        case Copy::failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace kovrkit
