#include "cli/backup/backup_spool.h"

#include "cli/backup/held_file.h"
#include "cli/backup/stop_point.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <random>
#include <string_view>
#include <unistd.h>

namespace kovru {
namespace {

constexpr std::string_view kSpoolPrefix = "kovru-backup-spool-";
constexpr std::size_t kRandomLength = 6;
// Earlier versions named a new spool so before it was locked; a run killed then left it.
constexpr std::string_view kUnlockedSuffix = ".new";
constexpr int kCreateAttempts = 100;

struct DirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool is_spool_name(std::string_view name)
{
    if (name.ends_with(kUnlockedSuffix))
        name.remove_suffix(kUnlockedSuffix.size());
    return name.size() == kSpoolPrefix.size() + kRandomLength && name.starts_with(kSpoolPrefix);
}

std::string random_spool_name(std::mt19937& random)
{
    constexpr std::string_view letters
        = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
    std::string name(kSpoolPrefix);
    for (std::size_t k = 0; k < kRandomLength; ++k)
        name += letters[pick(random)];
    return name;
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
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string name = random_spool_name(random);
        int failure = 0;
        // Private: it holds the controller's configuration.
        UniqueFd fd = create_held_file(folder.string(), name, 0600, failure);
        if (fd.valid()) {
            stop_point("spool");
            return std::unique_ptr<BackupSpool>(
                new BackupSpool(std::move(fd), (folder / name).string()));
        }
        if (failure != EEXIST) {
            error = std::strerror(failure);
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
