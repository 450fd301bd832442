#include "cli/backup/backup_output.h"

#include "cli/backup/archive_name.h"
#include "cli/backup/held_file.h"
#include "cli/backup/stop_point.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace kovru {
namespace {

// As a file a program creates for the user (the umask decides).
constexpr mode_t kLooseFileMode = 0666;

// 0, or the errno value of the write that failed.
int write_all(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return written < 0 ? errno : ENOSPC;
        done += static_cast<std::size_t>(written);
    }
    return 0;
}

class ArchiveOutput : public BackupOutput {
public:
    ArchiveOutput(std::unique_ptr<BackupArchive> archive, std::string path)
        : archive_(std::move(archive))
        , path_(archive_ ? archive_->path() : std::move(path))
    {
    }

    bool store(std::string_view name, std::span<const std::uint8_t> bytes, std::string&) override
    {
        return archive_ && archive_->add(name, bytes);
    }

    bool finish(std::string& error) override
    {
        if (!archive_) {
            error = "the archive could not be created";
            return false;
        }
        const bool written = archive_->close(error);
        path_ = archive_->path();
        return written;
    }

    bool ready() const override { return archive_ && archive_->can_store(); }
    bool all_stored() const override { return ready(); }
    const std::string& location() const override { return path_; }

private:
    std::unique_ptr<BackupArchive> archive_;
    std::string path_;
};

class DirectoryOutput : public BackupOutput {
public:
    explicit DirectoryOutput(std::string folder)
        : folder_(std::move(folder))
    {
    }

    // A file of an earlier backup in the folder is replaced only by a whole new one. The
    // partial is held until it has its name, so that no other run's sweep takes it.
    bool store(
        std::string_view name, std::span<const std::uint8_t> bytes, std::string& error) override
    {
        const std::string partial = "." + std::string(name) + ".partial";
        const std::string partial_path = join_path(folder_, partial);
        int failure = 0;
        const UniqueFd held = hold_partial(partial, failure);
        if (held.valid()) {
            failure = write_all(held.get(), bytes);
            stop_point("directory-store");
            if (failure == 0
                && std::rename(partial_path.c_str(), join_path(folder_, name).c_str()) != 0)
                failure = errno;
            if (failure != 0)
                ::unlink(partial_path.c_str());
        }
        if (failure == 0)
            return true;
        error = std::strerror(failure);
        all_stored_ = false;
        return false;
    }

    bool finish(std::string&) override { return true; }

    bool ready() const override { return true; }
    bool all_stored() const override { return all_stored_; }
    const std::string& location() const override { return folder_; }

private:
    // A partial a dead run left under the name is taken over.
    UniqueFd hold_partial(const std::string& partial, int& failure)
    {
        UniqueFd fd = create_held_file(folder_, partial, kLooseFileMode, failure);
        if (!fd.valid() && failure == EEXIST
            && remove_if_dead(AT_FDCWD, join_path(folder_, partial).c_str()))
            fd = create_held_file(folder_, partial, kLooseFileMode, failure);
        return fd;
    }

    std::string folder_;
    bool all_stored_ = true;
};

} // namespace

std::unique_ptr<BackupOutput> make_archive_output(
    std::unique_ptr<BackupArchive> archive, std::string path)
{
    return std::make_unique<ArchiveOutput>(std::move(archive), std::move(path));
}

std::unique_ptr<BackupOutput> make_directory_output(std::string folder)
{
    return std::make_unique<DirectoryOutput>(std::move(folder));
}

} // namespace kovru
