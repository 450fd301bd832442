#include "cli/backup/backup_spool.h"

#include "cli/backup/file_placement.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovru {
namespace {

constexpr std::string_view kSpoolPrefix = "kovru-backup-spool-";
constexpr std::string_view kRandomPart = "XXXXXX";
// A new spool is locked under this suffix before it takes the name the sweep looks at.
constexpr std::string_view kUnlockedSuffix = ".new";
constexpr int kCreateAttempts = 100;

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool is_spool_name(std::string_view name)
{
    return name.size() == kSpoolPrefix.size() + kRandomPart.size()
        && name.starts_with(kSpoolPrefix);
}

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The lock goes with the process: when it can be taken, the run that made the spool has ended.
void remove_if_dead(int folder_fd, const char* name)
{
    const UniqueFd fd(::openat(folder_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held { };
    if (!fd.valid() || ::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)
        || held.st_uid != ::geteuid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return;
    // Only the file we hold the lock of, not one that took its name meanwhile.
    struct stat named { };
    if (::fstatat(folder_fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(held, named))
        ::unlinkat(folder_fd, name, 0);
}

std::filesystem::path temporary_folder()
{
    std::error_code ignored;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ignored);
    return folder.empty() ? std::filesystem::path("/tmp") : folder;
}

} // namespace

void remove_dead_spools(const std::filesystem::path& folder)
{
    const std::unique_ptr<DIR, DirClose> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir.get()))
        if (is_spool_name(entry->d_name))
            remove_if_dead(::dirfd(dir.get()), entry->d_name);
}

std::unique_ptr<BackupSpool> BackupSpool::create(std::string& error)
{
    const std::filesystem::path folder = temporary_folder();
    remove_dead_spools(folder);
    const std::string pattern
        = (folder / (std::string(kSpoolPrefix) + std::string(kRandomPart))).string();
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        std::string unlocked = pattern + std::string(kUnlockedSuffix);
        UniqueFd fd(
            ::mkostemps(unlocked.data(), static_cast<int>(kUnlockedSuffix.size()), O_CLOEXEC));
        if (!fd.valid() || ::flock(fd.get(), LOCK_EX) != 0) {
            error = std::strerror(errno);
            if (fd.valid())
                ::unlink(unlocked.c_str());
            return nullptr;
        }
        std::string path = unlocked.substr(0, unlocked.size() - kUnlockedSuffix.size());
        const int moved = move_without_replacing(unlocked, path);
        if (moved == 0)
            return std::unique_ptr<BackupSpool>(new BackupSpool(std::move(fd), std::move(path)));
        ::unlink(unlocked.c_str());
        if (moved != EEXIST) {
            error = std::strerror(moved);
            return nullptr;
        }
    }
    error = "no free spool name";
    return nullptr;
}

BackupSpool::BackupSpool(UniqueFd fd, std::string path)
    : fd_(std::move(fd))
    , path_(std::move(path))
{
}

BackupSpool::~BackupSpool()
{
    // Removed while still locked, so no sweep ever takes it for a dead run's.
    ::unlink(path_.c_str());
}

bool BackupSpool::append(
    std::span<const std::uint8_t> bytes, std::uint64_t& offset, std::string& error)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::pwrite(
            fd_.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(size_ + done));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            error = written < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    offset = size_;
    size_ += bytes.size();
    return true;
}

} // namespace kovru
