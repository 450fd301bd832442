#include "host/platform/file_access.h"

#include "common/posix/atomic_replace.h"
#include "common/posix/input_file.h"
#include "common/posix/unique_fd.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovrkit {

namespace {

constexpr int kAsideAttempts = 100;

enum class Copy { written, nameTaken, failed };

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// The copy may hold device passwords: only its owner reads it.
Copy copyBytesTo(const std::string& aside, std::string_view bytes)
{
    kovru::UniqueFd file(
        ::open(aside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.valid())
        return errno == EEXIST ? Copy::nameTaken : Copy::failed;
    if (writeAll(file.get(), bytes) && ::fsync(file.get()) == 0 && file.close())
        return Copy::written;
    ::unlink(aside.c_str());
    return Copy::failed;
}

void syncFolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    kovru::UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid())
        (void)::fsync(fd.get());
}

} // namespace

bool replaceFileAtomically(const std::string& path, std::string_view bytes)
{
    auto replacement = kovru::AtomicReplacement::begin(path, path + ".tmp");
    return replacement && replacement->commit(bytes);
}

bool readWholeFile(
    const std::string& path, std::string& bytes, std::uint64_t maxBytes, std::string* refusal)
{
    kovru::InputFile input = kovru::open_input_file(path, maxBytes);
    const auto refuse = [refusal](std::string why) {
        if (refusal)
            *refusal = std::move(why);
        return false;
    };
    if (!input.file)
        return refuse(std::move(input.refusal));
    std::string content;
    content.reserve(static_cast<std::size_t>(input.size));
    char chunk[65536];
    // One byte past the limit is asked for, so a file that grew since it was opened is caught.
    while (content.size() <= maxBytes) {
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(sizeof chunk, maxBytes + 1 - content.size()));
        const std::size_t got = std::fread(chunk, 1, want, input.file.get());
        content.append(chunk, got);
        if (got < want)
            break;
    }
    if (std::ferror(input.file.get()))
        return refuse(std::strerror(errno));
    if (content.size() > maxBytes)
        return refuse(kovru::too_large_refusal(maxBytes));
    bytes = std::move(content);
    return true;
}

bool fileExists(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0;
}

std::optional<std::string> keepFileAside(const std::string& path, const std::string* bytes,
    const std::function<std::string(int attempt)>& asideName)
{
    for (int attempt = 0; attempt < kAsideAttempts; ++attempt) {
        std::string aside = asideName(attempt);
        if (::link(path.c_str(), aside.c_str()) == 0) {
            syncFolderOf(aside);
            return aside;
        }
        if (errno == EEXIST)
            continue;
        if (!bytes)
            return std::nullopt;
        switch (copyBytesTo(aside, *bytes)) {
        case Copy::written:
            syncFolderOf(aside);
            return aside;
        case Copy::nameTaken:
            continue;
        case Copy::failed:
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace kovrkit
