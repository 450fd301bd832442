#include "common/posix/atomic_replace.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovru {

namespace {

constexpr int kLockAttempts = 100;

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool lock_exclusive(int fd)
{
    int result;
    do
        result = flock(fd, LOCK_EX);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

// Another writer may have renamed or removed the file between our open and our lock; the
// lock only counts while the path still names the file we hold.
bool still_named_by(int fd, const std::filesystem::path& path)
{
    struct stat held { };
    struct stat named { };
    return fstat(fd, &held) == 0 && stat(path.c_str(), &named) == 0 && same_file(held, named)
        && S_ISREG(held.st_mode);
}

bool write_all(int fd, std::string_view content)
{
    while (!content.empty()) {
        const auto written = write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The new file keeps the old file's permissions, which may guard the device passwords.
void copy_mode_of(const std::filesystem::path& target, int fd)
{
    struct stat old { };
    if (stat(target.c_str(), &old) == 0)
        (void)fchmod(fd, old.st_mode & 07777);
}

// Makes the rename itself durable.
void sync_folder_of(const std::filesystem::path& target)
{
    auto folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    const UniqueFd fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        (void)fsync(fd.get());
}

} // namespace

AtomicReplacement::AtomicReplacement(
    std::filesystem::path target, std::filesystem::path temporary, UniqueFd fd)
    : target_(std::move(target))
    , temporary_(std::move(temporary))
    , fd_(std::move(fd))
{
}

std::unique_ptr<AtomicReplacement> AtomicReplacement::begin(
    const std::filesystem::path& target, const std::filesystem::path& temporary)
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        UniqueFd fd(open(
            temporary.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666));
        if (!fd.valid() || !lock_exclusive(fd.get()))
            return nullptr;
        if (still_named_by(fd.get(), temporary))
            return std::unique_ptr<AtomicReplacement>(
                new AtomicReplacement(target, temporary, std::move(fd)));
    }
    return nullptr;
}

AtomicReplacement::~AtomicReplacement()
{
    // An abandoned or failed write removes its temporary file while still holding the lock.
    if (!renamed_)
        unlink(temporary_.c_str());
}

bool AtomicReplacement::commit(std::string_view content)
{
    if (renamed_)
        return false;
    // The mode goes first, so that no other user can read the new content meanwhile.
    copy_mode_of(target_, fd_.get());
    if (ftruncate(fd_.get(), 0) != 0 || !write_all(fd_.get(), content))
        return false;
    if (fsync(fd_.get()) != 0)
        return false;
    if (rename(temporary_.c_str(), target_.c_str()) != 0)
        return false;
    renamed_ = true;
    sync_folder_of(target_);
    return true;
}

} // namespace kovru
