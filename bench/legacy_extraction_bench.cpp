// The legacy sites search over a Local Storage folder of 50, 100 and 200 MB: 2 MB files of
// LevelDB-like noise (random bytes and JSON text of other entries) with three sites trees in
// three of the files. The byte search is timed alone; the LevelDB pass (private copy, open,
// iterate every entry) is timed on a real database written by libleveldb. Each case runs in a
// child process of its own, so its peak resident size is its own.
#include "host/legacy/legacy_directory.h"
#include "host/legacy/legacy_migrator.h"
#include "host/legacy/leveldb_source.h"

#include <leveldb/db.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr std::size_t kFileSize = 2 * kMiB;

std::string sitesTree(int devices)
{
    json nodes = json::object();
    json children = json::array();
    for (int number = 0; number < devices; ++number) {
        std::string id = "device-" + std::to_string(number);
        nodes[id] = { { "id", id }, { "type", "device" },
            { "name", "Gate " + std::to_string(number) }, { "description", "" },
            { "ip", "10.0." + std::to_string(number / 250) + "." + std::to_string(number % 250) },
            { "username", "admin" }, { "password", "secret" } };
        children.push_back(id);
    }
    nodes["root"] = { { "id", "root" }, { "type", "folder" }, { "name", "Plant" },
        { "description", "" }, { "children", children } };
    return json { { "version", 1 }, { "rootId", "root" }, { "nodes", nodes } }.dump();
}

// Random bytes alternating with the JSON text of unrelated entries.
std::string noise(std::mt19937_64& random, std::size_t size)
{
    std::string bytes;
    bytes.reserve(size + 256);
    while (bytes.size() < size) {
        if (random() % 2 == 0) {
            for (int word = 0; word < 32; ++word) {
                std::uint64_t value = random();
                bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
            }
        } else {
            bytes += "{\"theme\":\"dark\",\"recent\":[\"10.1.2." + std::to_string(random() % 250)
                + "\"],\"zoom\":" + std::to_string(random() % 200) + ",\"panel\":{\"width\":320}}";
        }
    }
    bytes.resize(size);
    return bytes;
}

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void runRawScan(const fs::path& root, std::size_t megabytes)
{
    const fs::path directory = kovrkit::legacyLevelDbDirectory(root);
    fs::create_directories(directory);
    std::mt19937_64 random(megabytes);
    const std::size_t files = megabytes * kMiB / kFileSize;
    const std::string tree = sitesTree(500);
    for (std::size_t file = 0; file < files; ++file) {
        std::string bytes = noise(random, kFileSize);
        if (file == 1 || file == files / 2 || file == files - 2)
            bytes.replace(kFileSize / 3, tree.size(), tree);
        char name[32];
        std::snprintf(name, sizeof name, "%06zu.%s", file, file % 4 == 0 ? "log" : "ldb");
        std::ofstream(directory / name, std::ios::binary) << bytes;
    }
    const long before = peakKiB();
    const auto start = std::chrono::steady_clock::now();
    kovrkit::LegacyExtraction result = kovrkit::LegacyMigrator(root, false).extractLegacySites();
    const double elapsed = seconds(start);
    std::printf("raw scan  %4zu MB: %6.2f s  %7.1f MB/s  found=%d  peak RSS %ld KiB (%ld KiB above "
                "the set-up)\n",
        megabytes, elapsed, megabytes / elapsed, result.json == tree, peakKiB(),
        peakKiB() - before);
}

void runDatabasePass(const fs::path& root, std::size_t megabytes)
{
    const fs::path directory = kovrkit::legacyLevelDbDirectory(root);
    fs::create_directories(directory);
    std::mt19937_64 random(megabytes);
    {
        leveldb::Options options;
        options.create_if_missing = true;
        leveldb::DB* opened = nullptr;
        if (!leveldb::DB::Open(options, directory.string(), &opened).ok())
            return;
        std::unique_ptr<leveldb::DB> database(opened);
        const std::size_t values = megabytes * kMiB / 4096;
        for (std::size_t value = 0; value < values; ++value)
            database->Put({}, "entry-" + std::to_string(value), noise(random, 4096));
        database->Put({}, std::string("_kovrkit://app\0\1sites", 21), "\1" + sitesTree(500));
    }
    const long before = peakKiB();
    const auto start = std::chrono::steady_clock::now();
    std::optional<kovrkit::ScoredValue> best = kovrkit::bestOfDatabase(directory);
    const double elapsed = seconds(start);
    std::printf("database  %4zu MB: %6.2f s  %7.1f MB/s  found=%d  peak RSS %ld KiB (%ld KiB above "
                "the set-up)\n",
        megabytes, elapsed, megabytes / elapsed, best && best->json == sitesTree(500), peakKiB(),
        peakKiB() - before);
}

template <typename Case> void inChild(Case run, std::size_t megabytes)
{
    std::fflush(stdout);
    const pid_t child = fork();
    if (child == 0) {
        fs::path root
            = fs::temp_directory_path() / ("kovrkit-legacy-bench-" + std::to_string(getpid()));
        run(root, megabytes);
        std::fflush(stdout);
        fs::remove_all(root);
        _exit(0);
    }
    waitpid(child, nullptr, 0);
}

} // namespace

int main()
{
    for (std::size_t megabytes : { 50, 100, 200 })
        inChild(runRawScan, megabytes);
    for (std::size_t megabytes : { 50, 100 })
        inChild(runDatabasePass, megabytes);
    return 0;
}
