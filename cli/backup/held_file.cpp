#include "cli/backup/held_file.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovru {
namespace {

constexpr std::string_view kPartialSuffix = ".partial";

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool same_file(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// An unnamed file, locked, then linked to its name: there is no moment at which the name
// exists unlocked.
UniqueFd create_unnamed_then_link(
    const std::string& folder, const std::string& path, mode_t mode, int& error)
{
    UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
    if (!fd.valid()) {
        error = errno;
        return fd;
    }
    if (::flock(fd.get(), LOCK_EX) != 0) {
        error = errno;
        return UniqueFd();
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
        error = errno;
        return UniqueFd();
    }
    return fd;
}

// File systems without unnamed files: the lock follows the exclusive create at once.
UniqueFd create_then_lock(const std::string& path, mode_t mode, int& error)
{
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd.valid() || ::flock(fd.get(), LOCK_EX) != 0) {
        error = errno;
        if (fd.valid())
            ::unlink(path.c_str());
        return UniqueFd();
    }
    return fd;
}

bool unnamed_files_unsupported(int error)
{
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOENT;
}

// ".<name>.partial" for a companion ".<name>.partial.<suffix>"; empty for a partial itself.
std::string partial_of_companion(std::string_view name)
{
    const std::size_t at = name.find(kPartialSuffix, 1);
    if (at == std::string_view::npos || at + kPartialSuffix.size() == name.size())
        return {};
    return std::string(name.substr(0, at + kPartialSuffix.size()));
}

std::vector<std::string> partial_names_in(DIR* dir)
{
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir))
        if (is_partial_name(entry->d_name))
            names.emplace_back(entry->d_name);
    return names;
}

} // namespace

UniqueFd create_held_file(
    const std::string& folder, const std::string& name, mode_t mode, int& error)
{
    error = 0;
    const std::string path
        = folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
    UniqueFd fd = create_unnamed_then_link(folder, path, mode, error);
    if (fd.valid() || !unnamed_files_unsupported(error))
        return fd;
    error = 0;
    return create_then_lock(path, mode, error);
}

bool remove_if_dead(int folder_fd, const char* name)
{
    const UniqueFd fd(::openat(folder_fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat held { };
    if (!fd.valid() || ::fstat(fd.get(), &held) != 0 || !S_ISREG(held.st_mode)
        || held.st_uid != ::geteuid() || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    // Only the file we hold the lock of, not one that took its name meanwhile.
    struct stat named { };
    return ::fstatat(folder_fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && same_file(held, named)
        && ::unlinkat(folder_fd, name, 0) == 0;
}

// Only names a backup gives its files: an archive, or a loose file of a folder backup.
bool is_backup_file_name(std::string_view name)
{
    return (name.starts_with("backup_") && name.ends_with(".zip")) || name.ends_with(".tar")
        || name == "flashfs.bin" || name == "tool.txt" || name == "log.txt";
}

bool is_partial_name(std::string_view name)
{
    if (name.size() <= 1 + kPartialSuffix.size() || name.front() != '.')
        return false;
    const std::size_t at = name.find(kPartialSuffix, 1);
    return at != std::string_view::npos
        && (at + kPartialSuffix.size() == name.size() || name[at + kPartialSuffix.size()] == '.')
        && is_backup_file_name(name.substr(1, at - 1));
}

// A partial's companions (the archive being written, the zip library's temporary file) carry
// no lock of their own: they live as long as their partial is held.
void remove_dead_partials(const std::string& folder)
{
    const std::unique_ptr<DIR, DirClose> dir(::opendir(folder.c_str()));
    if (!dir)
        return;
    const int folder_fd = ::dirfd(dir.get());
    const std::vector<std::string> names = partial_names_in(dir.get());
    for (const std::string& name : names) {
        const std::string partial = partial_of_companion(name);
        if (partial.empty())
            continue;
        const UniqueFd held(
            ::openat(folder_fd, partial.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
        if (held.valid() && ::flock(held.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        struct stat companion { };
        if (::fstatat(folder_fd, name.c_str(), &companion, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(companion.st_mode) && companion.st_uid == ::geteuid())
            ::unlinkat(folder_fd, name.c_str(), 0);
    }
    for (const std::string& name : names)
        if (partial_of_companion(name).empty())
            remove_if_dead(folder_fd, name.c_str());
}

} // namespace kovru
