// Save and load of a large sites tree through "settings.json": 20,000 devices in 2,000
// folders, the whole "setSitesData" and "getSitesData" messages through the host's bridge.
#include "host/bridge/message_bridge.h"
#include "host/bridge/settings_sites_storage.h"
#include "host/bridge/sites_command_table.h"
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

// The host's message path in front of the real store: what the page posts goes in, the
// replies the page would get are kept.
class SitesHost final : public kovrkit::WebViewPort {
public:
    explicit SitesHost(const fs::path& folder)
        : store_(kovrkit::settingsPathIn(folder))
    {
        bridge_.addCommands(kovrkit::sitesCommands(storage_, bridge_));
        bridge_.attachWebView(this);
        bridge_.onWebMessage(kPage, R"({"command":"ui_ready"})");
    }

    const std::string& send(std::string_view message)
    {
        bridge_.onWebMessage(kPage, message);
        return lastReply;
    }
    void postMessageJson(const std::string& json) override { lastReply = json; }

    const kovrkit::SitesStore& store() const { return store_; }
    std::string lastReply;

private:
    static constexpr std::string_view kPage = "kovrkit://app/index.html";
    kovrkit::SitesStore store_;
    kovrkit::SettingsSitesStorage storage_ { store_ };
    kovrkit::MessageBridge bridge_ { "kovrkit://app" };
};

std::string setSitesDataMessage()
{
    const json envelope = { { "command", "setSitesData" },
        { "payload", { { "sitesData", largeSitesDocument() } } } };
    return envelope.dump();
}

constexpr std::string_view kSaved = R"({"command":"sitesDataSaved","payload":{"success":true}})";

// The whole "setSitesData" message in, "settings.json" replaced (temporary file, fsync, rename).
void BM_SaveSetSitesDataMessage(benchmark::State& state)
{
    BenchFolder folder;
    SitesHost host(folder.path);
    const auto message = setSitesDataMessage();
    for (auto _ : state)
        if (host.send(message) != kSaved)
            state.SkipWithError("save failed");
    state.counters["message_bytes"] = static_cast<double>(message.size());
    state.counters["file_bytes"] = static_cast<double>(fs::file_size(host.store().settingsPath()));
}

// "getSitesData" in, the "sitesDataLoaded" reply with fresh ids out.
void BM_LoadGetSitesDataMessage(benchmark::State& state)
{
    BenchFolder folder;
    SitesHost host(folder.path);
    if (host.send(setSitesDataMessage()) != kSaved)
        state.SkipWithError("save failed");
    std::size_t replyBytes = 0;
    for (auto _ : state)
        replyBytes = host.send(R"({"command":"getSitesData"})").size();
    state.counters["message_bytes"] = static_cast<double>(replyBytes);
}

BENCHMARK(BM_SaveSetSitesDataMessage)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LoadGetSitesDataMessage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
