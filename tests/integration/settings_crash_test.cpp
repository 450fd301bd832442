// Kills a writer at random moments while it saves one tree after another, and checks after
// every kill that "settings.json" is whole and holds one of the trees that were written.
#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_store.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace kovrkit {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

json generatedTree(int variant)
{
    json nodes = json::object();
    json rootChildren = json::array();
    for (int folder = 0; folder < 10 + variant; ++folder) {
        const auto folderId = "f" + std::to_string(folder);
        json children = json::array();
        for (int device = 0; device < 40; ++device) {
            const auto deviceId = folderId + "d" + std::to_string(device);
            nodes[deviceId] = { { "type", "device" },
                { "name", "Tree " + std::to_string(variant) + " device " + std::to_string(device) },
                { "ip", "10.0." + std::to_string(folder) + "." + std::to_string(device) },
                { "description", std::string(static_cast<std::size_t>(variant) * 7, 'x') } };
            children.push_back(deviceId);
        }
        nodes[folderId] = { { "type", "folder" }, { "name", "Folder " + std::to_string(folder) },
            { "children", children } };
        rootChildren.push_back(folderId);
    }
    nodes["root"] = { { "type", "folder" }, { "name", "Tree " + std::to_string(variant) },
        { "children", rootChildren } };
    return { { "version", 1 }, { "rootId", "root" }, { "nodes", nodes } };
}

[[noreturn]] void saveForever(const SitesStore& store, const std::vector<json>& trees, int first)
{
    for (int round = first;; ++round) {
        if (!store.saveSitesDocument(trees[static_cast<std::size_t>(round) % trees.size()]).success)
            _exit(3);
        if (round % 5 == 0 && !store.markMigrationCompleted("round " + std::to_string(round)))
            _exit(4);
    }
}

// A migration record as markMigrationCompleted writes it in saveForever.
bool isWholeRecord(const json& record)
{
    return record.size() == 4 && record.value("completed", false) && !record.value("declined", true)
        && record.value("status", "").starts_with("round ")
        && record.value("updatedAt", "").size() == 20;
}

std::string textOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

TEST(SettingsCrashSafety, KilledWriterLeavesOldOrNewFileNeverNone)
{
    const auto folder = fs::temp_directory_path() / ("settings_crash_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const SitesStore store(settingsPathIn(folder));

    std::vector<json> trees;
    std::vector<json> storedForms;
    for (int variant = 0; variant < 6; ++variant) {
        trees.push_back(generatedTree(variant));
        storedForms.push_back(*documentToStored(trees.back()));
    }
    ASSERT_TRUE(store.writeSettings({ { "keep", { { "note", "not ours" } } } }));
    ASSERT_TRUE(store.saveSitesDocument(trees[0]).success);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> pauseMicroseconds(0, 30000);
    int killsWithTemporaryLeft = 0;
    for (int kill = 0; kill < 150; ++kill) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0)
            saveForever(store, trees, kill);
        usleep(static_cast<useconds_t>(pauseMicroseconds(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own with " << status;

        killsWithTemporaryLeft += fs::exists(temporarySettingsPath(store.settingsPath()));
        const auto settings = store.readSettings();
        ASSERT_TRUE(settings && settings->contains("sitesData")) << "after kill " << kill;
        EXPECT_EQ((*settings)["keep"]["note"], "not ours");
        const auto& sites = (*settings)["sitesData"];
        EXPECT_NE(std::find(storedForms.begin(), storedForms.end(), sites), storedForms.end())
            << "after kill " << kill << " the file holds a tree nobody wrote";
        EXPECT_NE(json::parse(store.loadSitesDocument())["nodes"]["root"]["name"], "Sites");
        const auto record = settings->find("legacyMigration");
        if (record != settings->end()) {
            EXPECT_TRUE(isWholeRecord(*record)) << "after kill " << kill << ": " << *record;
        }
    }
    // Most kills land mid-write; the leftover temporary file must not hinder the next save.
    EXPECT_GT(killsWithTemporaryLeft, 0);
    ASSERT_TRUE(store.saveSitesDocument(trees[1]).success);
    EXPECT_FALSE(fs::exists(temporarySettingsPath(store.settingsPath())));
    EXPECT_EQ((*store.readSettings())["sitesData"], storedForms[1]);
    fs::remove_all(folder);
}

// A writer killed while it replaces a file it cannot use: the file's bytes are always there,
// under its own name or the kept one, and "settings.json" holds the old bytes or a new tree.
TEST(SettingsCrashSafety, KilledWriterNeverLosesAnUnusableFile)
{
    const auto folder
        = fs::temp_directory_path() / ("settings_crash_unusable_" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const auto path = settingsPathIn(folder);
    std::vector<json> trees;
    std::vector<json> storedForms;
    for (int variant = 0; variant < 3; ++variant) {
        trees.push_back(generatedTree(variant));
        storedForms.push_back(*documentToStored(trees.back()));
    }

    std::mt19937 random(54321);
    std::uniform_int_distribution<int> pauseMicroseconds(0, 8000);
    for (int kill = 0; kill < 40; ++kill) {
        const auto stamp = "kill" + std::to_string(kill);
        const std::string unusable = R"({"keep":1,"sitesData":{"name":")" + stamp + R"("},})";
        std::ofstream(path, std::ios::binary) << unusable;
        const SitesStore store(path, { [stamp] { return stamp; }, {} });
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0)
            saveForever(store, trees, kill);
        usleep(static_cast<useconds_t>(pauseMicroseconds(random)));
        ::kill(writer, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(writer, &status, 0), writer);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own with " << status;

        const auto kept = folder / ("settings.json.unreadable-" + stamp);
        if (fs::exists(kept)) {
            ASSERT_EQ(textOf(kept), unusable) << "after kill " << kill;
        }
        if (textOf(path) == unusable)
            continue;
        ASSERT_TRUE(fs::exists(kept)) << "after kill " << kill << " the old file is lost";
        const auto settings = store.readSettings();
        ASSERT_TRUE(settings) << "after kill " << kill;
        EXPECT_NE(std::find(storedForms.begin(), storedForms.end(), (*settings)["sitesData"]),
            storedForms.end());
    }
    fs::remove_all(folder);
}

} // namespace
} // namespace kovrkit
