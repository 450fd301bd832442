#include "cli/backup/backup_archive.h"

#include "common/file_handle.h"
#include "common/zip_handles.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace kovru {
namespace {

constexpr int kDeflateLevel = 6;
constexpr int kMaxNameSuffix = 9999;
constexpr zip_uint32_t kRegularFileMode = 0100644;

std::string with_suffix(const std::string& path, int suffix)
{
    if (suffix == 0)
        return path;
    const std::string number = "_" + std::to_string(suffix);
    if (path.size() >= 4 && path.ends_with(".zip"))
        return path.substr(0, path.size() - 4) + number + ".zip";
    return path + number;
}

// Claims a free name by creating an empty file there, which only this process then owns.
bool claim_free_name(const std::string& wanted, std::string& claimed, std::string& error)
{
    for (int suffix = 0; suffix <= kMaxNameSuffix; ++suffix) {
        const std::string candidate = with_suffix(wanted, suffix);
        int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            claimed = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = std::strerror(errno);
            return false;
        }
    }
    error = "no free file name";
    return false;
}

bool create_spool(std::string& path, FileHandle& file, std::string& error)
{
    std::error_code ignored;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ignored);
    if (folder.empty())
        folder = "/tmp";
    std::string pattern = (folder / "kovru-backup-XXXXXX").string();
    int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    file.reset(::fdopen(fd, "w+b"));
    if (!file) {
        error = std::strerror(errno);
        ::close(fd);
        ::unlink(pattern.c_str());
        return false;
    }
    path = pattern;
    return true;
}

} // namespace

struct BackupArchive::State {
    ZipHandle zip;
    std::string spool_path;
    FileHandle spool;
    std::uint64_t spool_size = 0;
    bool closed = false;
};

BackupArchive::BackupArchive(std::unique_ptr<State> state, std::string path)
    : state_(std::move(state))
    , path_(std::move(path))
{
}

std::unique_ptr<BackupArchive> BackupArchive::create(
    const std::string& wanted_path, std::string& error)
{
    auto state = std::make_unique<State>();
    std::string path;
    if (!claim_free_name(wanted_path, path, error))
        return nullptr;
    if (!create_spool(state->spool_path, state->spool, error)) {
        ::unlink(path.c_str());
        return nullptr;
    }
    int zip_error = 0;
    state->zip.reset(zip_open(path.c_str(), ZIP_TRUNCATE, &zip_error));
    if (!state->zip) {
        zip_error_t details;
        zip_error_init_with_code(&details, zip_error);
        error = zip_error_strerror(&details);
        zip_error_fini(&details);
        ::unlink(path.c_str());
        ::unlink(state->spool_path.c_str());
        return nullptr;
    }
    return std::unique_ptr<BackupArchive>(new BackupArchive(std::move(state), std::move(path)));
}

BackupArchive::~BackupArchive()
{
    if (!state_->closed) {
        state_->zip.reset();
        ::unlink(path_.c_str());
    }
    state_->spool.reset();
    ::unlink(state_->spool_path.c_str());
}

bool BackupArchive::add(std::string_view entry_name, std::span<const std::uint8_t> bytes)
{
    if (state_->closed)
        return false;
    zip_t* zip = state_->zip.get();
    zip_source_t* source = nullptr;
    if (bytes.empty()) {
        source = zip_source_buffer(zip, nullptr, 0, 0);
    } else {
        // The file source checks its range against the file's size when it is created.
        if (std::fwrite(bytes.data(), 1, bytes.size(), state_->spool.get()) != bytes.size()
            || std::fflush(state_->spool.get()) != 0)
            return false;
        zip_error_t error;
        zip_error_init(&error);
        source = zip_source_file_create(state_->spool_path.c_str(), state_->spool_size,
            static_cast<zip_int64_t>(bytes.size()), &error);
        zip_error_fini(&error);
        state_->spool_size += bytes.size();
    }
    if (!source)
        return false;
    const std::string name(entry_name);
    zip_int64_t index = zip_file_add(zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    const auto entry = static_cast<zip_uint64_t>(index);
    // A plain readable file when extracted, not the private spool's mode.
    zip_file_set_external_attributes(zip, entry, 0, ZIP_OPSYS_UNIX, kRegularFileMode << 16);
    return zip_set_file_compression(zip, entry, ZIP_CM_DEFLATE, kDeflateLevel) == 0;
}

bool BackupArchive::close(std::string& error)
{
    if (state_->closed)
        return true;
    if (std::fflush(state_->spool.get()) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (zip_close(state_->zip.get()) != 0) {
        error = zip_strerror(state_->zip.get());
        return false;
    }
    state_->zip.release(); // zip_close freed it
    state_->closed = true;
    return true;
}

} // namespace kovru
