#include "cli/backup/backup_output.h"

#include "cli/backup/archive_name.h"
#include "common/file_handle.h"

#include <cstdio>

namespace kovru {
namespace {

class ArchiveOutput : public BackupOutput {
public:
    ArchiveOutput(std::unique_ptr<BackupArchive> archive, std::string path)
        : archive_(std::move(archive))
        , path_(archive_ ? archive_->path() : std::move(path))
    {
    }

    bool store(std::string_view name, std::span<const std::uint8_t> bytes) override
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

    // A file of an earlier backup in the folder is replaced only by a whole new one.
    bool store(std::string_view name, std::span<const std::uint8_t> bytes) override
    {
        const std::string path = join_path(folder_, name);
        const std::string partial = join_path(folder_, "." + std::string(name) + ".partial");
        FileHandle file(std::fopen(partial.c_str(), "wb"));
        if (!file)
            return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
        if (std::fclose(file.release()) == 0 && written
            && std::rename(partial.c_str(), path.c_str()) == 0)
            return true;
        std::remove(partial.c_str());
        return false;
    }

    bool finish(std::string&) override { return true; }

    bool ready() const override { return true; }
    const std::string& location() const override { return folder_; }

private:
    std::string folder_;
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
