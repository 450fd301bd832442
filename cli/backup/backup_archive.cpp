#include "cli/backup/backup_archive.h"

#include "cli/backup/archive_name.h"
#include "cli/backup/backup_spool.h"
#include "cli/backup/file_placement.h"
#include "cli/backup/held_file.h"
#include "cli/backup/stop_point.h"
#include "cli/log/run_cancel.h"
#include "common/zip_handles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovru {
namespace {

constexpr int kDeflateLevel = 6;
constexpr int kMaxNameSuffix = 9999;
constexpr zip_uint32_t kRegularFileMode = 0100644;
constexpr const char* kDataSuffix = ".zip";

// 1 when something has that name, 0 when it is free, -1 (errno set) when that is unknown.
int name_taken(const std::string& path)
{
    struct stat existing { };
    if (::lstat(path.c_str(), &existing) == 0)
        return 1;
    return errno == ENOENT ? 0 : -1;
}

std::string folder_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_name_of(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The zip library reports its progress while it writes the archive at close.
void on_write_progress(zip_t*, double done, void*)
{
    if (done >= 0.5)
        stop_point("archive-write");
}

// A name is reserved by creating its hidden partial name, held by this run; the name itself
// stays free until the archive is whole, so a run that dies leaves nothing that looks like a
// backup, and the next run into the folder knows the partial for a dead run's.
UniqueFd reserve_free_name(
    const std::string& wanted, int& number, std::string& partial, std::string& error)
{
    for (number = 0; number <= kMaxNameSuffix; ++number) {
        const std::string candidate = numbered_name(wanted, number);
        const int taken = name_taken(candidate);
        if (taken < 0) {
            error = std::strerror(errno);
            return UniqueFd();
        }
        if (taken > 0)
            continue;
        partial = partial_name(candidate);
        int failure = 0;
        UniqueFd held = create_held_file(folder_of(partial), base_name_of(partial), 0644, failure);
        if (held.valid())
            return held;
        if (failure != EEXIST) {
            error = std::strerror(failure);
            return UniqueFd();
        }
    }
    error = "no free file name";
    return UniqueFd();
}

// A run cancelled while the archive is written does not finish it.
int cancel_write(zip_t*, void*)
{
    return transfer_cancelled() ? 1 : 0;
}

} // namespace

struct BackupArchive::State {
    std::string wanted_path;
    int number = 0; // of the name reserved, see numbered_name
    std::string partial_path; // held by this run while the archive is not published
    UniqueFd partial;
    std::string data_path; // the archive as the zip library writes it, beside the partial
    ZipHandle zip;
    std::unique_ptr<BackupSpool> spool;
    std::string storage_failure; // the first entry that could not be stored, and why
    bool published = false;

    // The partial goes last: what goes with it is only safe from a sweep while it is held.
    ~State()
    {
        zip.reset();
        if (!published && !data_path.empty())
            ::unlink(data_path.c_str());
        if (partial.valid())
            ::unlink(partial_path.c_str());
    }
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
    state->wanted_path = wanted_path;
    state->partial = reserve_free_name(wanted_path, state->number, state->partial_path, error);
    if (!state->partial.valid())
        return nullptr;
    std::string path = numbered_name(wanted_path, state->number);
    state->data_path = state->partial_path + kDataSuffix;
    state->spool = BackupSpool::create(error);
    int zip_error = 0;
    if (state->spool)
        state->zip.reset(zip_open(state->data_path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &zip_error));
    if (state->zip) {
        zip_register_progress_callback_with_state(
            state->zip.get(), 0.1, on_write_progress, nullptr, nullptr);
        zip_register_cancel_callback_with_state(state->zip.get(), cancel_write, nullptr, nullptr);
    }
    if (!state->zip) {
        if (state->spool) {
            zip_error_t details;
            zip_error_init_with_code(&details, zip_error);
            error = zip_error_strerror(&details);
            zip_error_fini(&details);
        }
        return nullptr;
    }
    return std::unique_ptr<BackupArchive>(new BackupArchive(std::move(state), std::move(path)));
}

BackupArchive::~BackupArchive() = default;

bool BackupArchive::add(std::string_view entry_name, std::span<const std::uint8_t> bytes)
{
    if (!state_->zip || !state_->storage_failure.empty())
        return false;
    zip_t* zip = state_->zip.get();
    zip_source_t* source = nullptr;
    if (bytes.empty()) {
        source = zip_source_buffer(zip, nullptr, 0, 0);
    } else {
        std::uint64_t offset = 0;
        std::string error;
        if (!state_->spool->append(bytes, offset, error)) {
            // The archive would lack an entry for want of space: it is not written at all.
            state_->storage_failure = std::string(entry_name) + ": " + error;
            return false;
        }
        zip_error_t zip_error;
        zip_error_init(&zip_error);
        source = zip_source_file_create(state_->spool->path().c_str(), offset,
            static_cast<zip_int64_t>(bytes.size()), &zip_error);
        zip_error_fini(&zip_error);
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

bool BackupArchive::can_store() const
{
    return state_->zip && state_->storage_failure.empty();
}

bool BackupArchive::close(std::string& error)
{
    if (state_->published)
        return true;
    if (!state_->zip) {
        error = "the archive was abandoned after an earlier failure";
        return false;
    }
    if (!state_->storage_failure.empty()) {
        error = state_->storage_failure;
        return false;
    }
    if (zip_close(state_->zip.get()) != 0) {
        error = zip_strerror(state_->zip.get());
        return false;
    }
    state_->zip.release(); // zip_close freed it
    if (!sync_path(state_->data_path)) {
        error = std::strerror(errno);
        return false;
    }
    stop_point("archive-publish");
    return publish(error);
}

// Links the whole archive to its name; a file that took the name meanwhile is kept, and the
// archive takes the next free number instead.
bool BackupArchive::publish(std::string& error)
{
    for (int number = state_->number; number <= kMaxNameSuffix; ++number) {
        const std::string candidate = numbered_name(state_->wanted_path, number);
        const int result = move_without_replacing(state_->data_path, candidate);
        if (result == 0) {
            state_->published = true;
            path_ = candidate;
            ::unlink(state_->partial_path.c_str());
            state_->partial.reset();
            sync_path(folder_of(candidate));
            return true;
        }
        if (result != EEXIST) {
            error = std::strerror(result);
            return false;
        }
    }
    error = "no free file name";
    return false;
}

} // namespace kovru
