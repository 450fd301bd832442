#include "host/backups/held_folder.h"

#include "common/posix/unique_fd.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLockName = ".held";
constexpr const char* kNewLockName = ".held.new";

// Locked under a name no sweeper looks at, then renamed: the lock file is never free while
// its run lives.
FolderHold holdFolder(const fs::path& folder)
{
    const std::string fresh = (folder / kNewLockName).string();
    kovru::UniqueFd fd(::open(fresh.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!fd.valid())
        return {};
    if (::flock(fd.get(), LOCK_EX) != 0
        || ::rename(fresh.c_str(), (folder / kLockName).c_str()) != 0) {
        ::unlink(fresh.c_str());
        return {};
    }
    return FolderHold(fd.release());
}

bool isDead(int parent, const char* name)
{
    const kovru::UniqueFd folder(
        ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info { };
    if (!folder.valid() || ::fstat(folder.get(), &info) != 0 || info.st_uid != ::geteuid())
        return false;
    const kovru::UniqueFd lock(
        ::openat(folder.get(), kLockName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (lock.valid())
        return ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0;
    return errno == ENOENT && info.st_mtime + kUnheldFolderAge < std::time(nullptr);
}

} // namespace

FolderHold::FolderHold(FolderHold&& other) noexcept
    : fd_(std::exchange(other.fd_, -1))
{
}

FolderHold& FolderHold::operator=(FolderHold&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

FolderHold::~FolderHold()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::optional<fs::path> makeHeldFolder(
    const fs::path& parent, const std::string& prefix, FolderHold& hold, std::string& error)
{
    const std::string pattern = (parent / (prefix + "XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!::mkdtemp(name.data())) {
        error = "Could not create a folder in " + parent.string();
        return std::nullopt;
    }
    fs::path folder(name.data());
    hold = holdFolder(folder);
    return folder;
}

void removeDeadFolders(const fs::path& parent, std::string_view prefix)
{
    const kovru::UniqueFd parentFd(::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parentFd.valid())
        return;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(parent, error), end; !error && entry != end;
         entry.increment(error)) {
        std::string name = entry->path().filename().string();
        if (name.starts_with(prefix))
            names.push_back(std::move(name));
    }
    for (const std::string& name : names) {
        if (isDead(parentFd.get(), name.c_str()))
            fs::remove_all(parent / name, error);
    }
}

} // namespace kovrkit
