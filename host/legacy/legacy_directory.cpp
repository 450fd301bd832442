#include "host/legacy/legacy_directory.h"

#include <cctype>
#include <optional>
#include <string>
#include <system_error>

namespace kovrkit {

namespace fs = std::filesystem;

namespace {

struct DatedFile {
    fs::path path;
    std::optional<fs::file_time_type> written;
};

bool isRegularFile(const fs::directory_entry& entry)
{
    std::error_code unreadable;
    return entry.is_regular_file(unreadable);
}

// Later times first; when either time is unknown, the greater file name first.
bool comesBefore(const DatedFile& a, const DatedFile& b)
{
    if (a.written && b.written && *a.written != *b.written)
        return *a.written > *b.written;
    return a.path.filename().string() > b.path.filename().string();
}

template <typename Visit> void forEachLevelDbFile(const fs::path& directory, Visit visit)
{
    for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
        if (isLevelDbFileName(entry.path()) && isRegularFile(entry) && !visit(entry))
            return;
    }
}

} // namespace

fs::path legacyLevelDbDirectory(const fs::path& localAppData)
{
    if (localAppData.empty())
        return {};
    return localAppData / "TORVANE" / "vmnest" / "Local Storage" / "leveldb";
}

bool isLevelDbFileName(const fs::path& file)
{
    std::string extension = file.extension().string();
    for (char& letter : extension)
        letter = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    return extension == ".log" || extension == ".ldb";
}

bool containsLevelDbFiles(const fs::path& directory)
{
    if (directory.empty() || !fs::is_directory(directory))
        return false;
    bool found = false;
    forEachLevelDbFile(directory, [&found](const fs::directory_entry&) {
        found = true;
        return false;
    });
    return found;
}

std::vector<fs::path> levelDbFilesNewestFirst(const fs::path& directory)
{
    std::vector<DatedFile> files;
    forEachLevelDbFile(directory, [&files](const fs::directory_entry& entry) {
        std::error_code unreadable;
        fs::file_time_type written = entry.last_write_time(unreadable);
        files.push_back({ entry.path(), unreadable ? std::nullopt : std::optional(written) });
        return true;
    });
    // An insertion sort: the pairwise rule is not a strict weak order when some times are
    // unknown, which std::sort may not be given.
    for (std::size_t next = 1; next < files.size(); ++next) {
        for (std::size_t at = next; at > 0 && comesBefore(files[at], files[at - 1]); --at)
            std::swap(files[at], files[at - 1]);
    }
    std::vector<fs::path> paths;
    for (DatedFile& file : files)
        paths.push_back(std::move(file.path));
    return paths;
}

} // namespace kovrkit
