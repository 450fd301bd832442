// Save and load of a large sites tree through "settings.json": 20,000 devices in 2,000
// folders, as the "setSitesData" and "getSitesData" commands handle it.
#include "host/sites/sites_store.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kSites = 200;
constexpr int kFoldersPerSite = 9;
constexpr int kDevicesPerFolder = 10;

void addDevices(json& nodes, json& children, const std::string& folderId)
{
    for (int device = 0; device < kDevicesPerFolder; ++device) {
        const auto id = folderId + "-d" + std::to_string(device);
        nodes[id] = { { "id", id }, { "type", "device" },
            { "name", "Gateway " + std::to_string(device) + " of " + folderId },
            { "description", "Lighting gateway, panel room" },
            { "ip", "10.20." + std::to_string(device) + ".200" }, { "username", "admin" },
            { "password", "s3cret-pass" } };
        children.push_back(id);
    }
}

json folderNode(const std::string& id, json children)
{
    return { { "id", id }, { "type", "folder" }, { "name", "Folder " + id }, { "description", "" },
        { "children", std::move(children) } };
}

// 200 sites of 9 floors each (2,000 folders), 10 devices in every folder (20,000 devices).
json largeSitesDocument()
{
    json nodes = json::object();
    json rootChildren = json::array();
    for (int site = 0; site < kSites; ++site) {
        const auto siteId = "s" + std::to_string(site);
        json siteChildren = json::array();
        for (int floor = 0; floor < kFoldersPerSite; ++floor) {
            const auto floorId = siteId + "-f" + std::to_string(floor);
            json floorChildren = json::array();
            addDevices(nodes, floorChildren, floorId);
            nodes[floorId] = folderNode(floorId, std::move(floorChildren));
            siteChildren.push_back(floorId);
        }
        addDevices(nodes, siteChildren, siteId);
        nodes[siteId] = folderNode(siteId, std::move(siteChildren));
        rootChildren.push_back(siteId);
    }
    nodes["root"] = folderNode("root", std::move(rootChildren));
    return { { "version", 1 }, { "rootId", "root" }, { "nodes", std::move(nodes) } };
}

struct BenchFolder {
    BenchFolder()
        : path(fs::temp_directory_path() / ("sites_bench_" + std::to_string(getpid())))
    {
        fs::create_directories(path);
    }
    ~BenchFolder() { fs::remove_all(path); }
    fs::path path;
};

void BM_SaveSitesDocument(benchmark::State& state)
{
    BenchFolder folder;
    const kovrkit::SitesStore store(kovrkit::settingsPathIn(folder.path));
    const auto message = largeSitesDocument().dump();
    for (auto _ : state)
        if (!store.saveSitesDocument(message))
            state.SkipWithError("save failed");
    state.counters["message_bytes"] = static_cast<double>(message.size());
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(store.settingsPath()));
}

// The whole "setSitesData" message as the bridge receives it: parsed once, the payload handed
// over as a JSON value.
void BM_SaveSetSitesDataMessage(benchmark::State& state)
{
    BenchFolder folder;
    const kovrkit::SitesStore store(kovrkit::settingsPathIn(folder.path));
    const json envelope = { { "command", "setSitesData" },
        { "payload", { { "sitesData", largeSitesDocument() } } } };
    const auto message = envelope.dump();
    for (auto _ : state) {
        const json parsed = json::parse(message, nullptr, false);
        if (!store.saveSitesDataPayload(parsed["payload"]).success)
            state.SkipWithError("save failed");
    }
    state.counters["message_bytes"] = static_cast<double>(message.size());
}

void BM_LoadSitesDocument(benchmark::State& state)
{
    BenchFolder folder;
    const kovrkit::SitesStore store(kovrkit::settingsPathIn(folder.path));
    if (!store.saveParsedSitesDocument(largeSitesDocument()))
        state.SkipWithError("save failed");
    std::size_t messageBytes = 0;
    for (auto _ : state) {
        const auto message = store.loadSitesDocument();
        messageBytes = message.size();
        benchmark::DoNotOptimize(message.data());
    }
    state.counters["message_bytes"] = static_cast<double>(messageBytes);
}

BENCHMARK(BM_SaveSitesDocument)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_SaveSetSitesDataMessage)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadSitesDocument)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
