#include "host/backups/library_files.h"

#include "common/posix/unique_fd.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

std::string failure(const std::string& what, const fs::path& path, int code)
{
    return "Could not " + what + " " + path.string() + ": " + std::strerror(code);
}

// A hidden file in folder, opened for writing; its path in path.
kovru::UniqueFd createHidden(const fs::path& folder, std::string& path)
{
    std::string pattern = (folder / ".library-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    kovru::UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.valid()) {
        ::fchmod(fd.get(), 0644);
        path = name.data();
    }
    return fd;
}

bool writeAll(int fd, const char* bytes, std::size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, bytes, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool copyAll(int from, int to)
{
    std::vector<char> buffer(1 << 16);
    for (;;) {
        ssize_t got = ::read(from, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (!writeAll(to, buffer.data(), static_cast<std::size_t>(got)))
            return false;
    }
}

// Links the flushed hidden file to target and removes the hidden name.
Placement publish(
    kovru::UniqueFd& fd, const std::string& hidden, const fs::path& target, std::string& error)
{
    int code = 0;
    if (::fsync(fd.get()) != 0 || !fd.close())
        code = errno;
    else if (::link(hidden.c_str(), target.c_str()) != 0)
        code = errno;
    ::unlink(hidden.c_str());
    if (code == EEXIST)
        return Placement::nameTaken;
    if (code != 0) {
        error = failure("write", target, code);
        return Placement::failed;
    }
    if (!syncFolder(target.parent_path())) {
        code = errno;
        removeFile(target);
        error = failure("write", target, code);
        return Placement::failed;
    }
    return Placement::placed;
}

} // namespace

Placement writeNewFile(const fs::path& target, std::string_view text, std::string& error)
{
    std::string hidden;
    kovru::UniqueFd fd = createHidden(target.parent_path(), hidden);
    if (!fd.valid()) {
        error = failure("write", target, errno);
        return Placement::failed;
    }
    if (!writeAll(fd.get(), text.data(), text.size())) {
        error = failure("write", target, errno);
        fd.close();
        ::unlink(hidden.c_str());
        return Placement::failed;
    }
    return publish(fd, hidden, target, error);
}

Placement placeNewFile(const fs::path& source, const fs::path& target, std::string& error)
{
    if (::link(source.c_str(), target.c_str()) == 0) {
        if (syncFolder(target.parent_path()))
            return Placement::placed;
        int code = errno;
        removeFile(target);
        error = failure("store", target, code);
        return Placement::failed;
    }
    if (errno == EEXIST)
        return Placement::nameTaken;
    // Another file system, or one without hard links: a flushed copy.
    kovru::UniqueFd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (!from.valid()) {
        error = failure("read", source, errno);
        return Placement::failed;
    }
    std::string hidden;
    kovru::UniqueFd to = createHidden(target.parent_path(), hidden);
    if (!to.valid()) {
        error = failure("store", target, errno);
        return Placement::failed;
    }
    if (!copyAll(from.get(), to.get())) {
        error = failure("store", target, errno);
        to.close();
        ::unlink(hidden.c_str());
        return Placement::failed;
    }
    return publish(to, hidden, target, error);
}

bool removeFile(const fs::path& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return false;
    syncFolder(path.parent_path());
    return true;
}

bool syncFolder(const fs::path& folder)
{
    kovru::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid())
        return false;
    return ::fsync(fd.get()) == 0;
}

} // namespace kovrkit
