// Helpers of the backup and restore tests: a scratch folder, shell commands, zip reading.
#pragma once

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kovru::testing {

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device source;
        path_ = std::filesystem::temp_directory_path()
            / ("kovru-backup-test-" + std::to_string(source()) + std::to_string(source()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path() const { return path_.string(); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline std::vector<std::uint8_t> read_bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

inline void write_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(
        reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

struct CommandResult {
    int exit_status = -1;
    std::string output;
};

// Runs a shell command line, standard error joined to standard output.
inline CommandResult run_command(const std::string& command)
{
    CommandResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, got);
    int status = ::pclose(pipe);
    result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

struct ZipEntry {
    std::string name;
    std::uint16_t method = 0;
    std::vector<std::uint8_t> bytes;
};

// Every entry in archive order; empty when the file is no readable zip.
inline std::vector<ZipEntry> read_zip(const std::string& path)
{
    std::vector<ZipEntry> entries;
    int error = 0;
    std::unique_ptr<zip_t, decltype(&zip_discard)> zip(
        zip_open(path.c_str(), ZIP_RDONLY, &error), &zip_discard);
    if (!zip)
        return entries;
    const zip_int64_t count = zip_get_num_entries(zip.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_index(zip.get(), static_cast<zip_uint64_t>(i), 0, &stat);
        ZipEntry entry;
        entry.name = stat.name;
        entry.method = stat.comp_method;
        entry.bytes.resize(stat.size);
        std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
            zip_fopen_index(zip.get(), static_cast<zip_uint64_t>(i), 0), &zip_fclose);
        if (file && !entry.bytes.empty())
            zip_fread(file.get(), entry.bytes.data(), entry.bytes.size());
        entries.push_back(std::move(entry));
    }
    return entries;
}

// Writes entries as a zip, stored as given.
inline bool write_zip(const std::string& path, const std::vector<ZipEntry>& entries)
{
    int error = 0;
    zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!zip)
        return false;
    for (const ZipEntry& entry : entries) {
        zip_source_t* source = zip_source_buffer(zip, entry.bytes.data(), entry.bytes.size(), 0);
        if (!source || zip_file_add(zip, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(zip);
            return false;
        }
    }
    return zip_close(zip) == 0;
}

inline std::vector<std::uint8_t> bytes_of(std::string_view text)
{
    return { text.begin(), text.end() };
}

} // namespace kovru::testing
