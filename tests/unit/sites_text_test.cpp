// The text writers against the JSON library's serialisation, and the one save and load path
// of the store against random, faulty and corrupted input.
#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_store.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <unistd.h>

namespace kovrkit {
namespace {

using nlohmann::json;

class RandomSites {
public:
    explicit RandomSites(unsigned seed)
        : random_(seed)
    {
    }

    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }

    std::string text()
    {
        static const std::string samples[] = { "Hall", "", "  ", "Süd ✓", "quote\" back\\slash",
            "line\nbreak\ttab", std::string("nul\0in", 6), "\x01\x1f\x7f", "𝄞 clef" };
        return samples[pick(9)];
    }

    FolderEntry tree(int depth = 0)
    {
        FolderEntry folder { nonBlank(), text(), {}, {} };
        const int folders = depth < 4 ? pick(4) : 0;
        for (int index = 0; index < folders; ++index)
            folder.folders.push_back(tree(depth + 1));
        for (int index = pick(4); index > 0; --index)
            folder.devices.push_back({ nonBlank(), text(), text(), text(), text() });
        return folder;
    }

    // Any JSON value, for the places where the readers meet the unexpected.
    json anyValue(int depth = 0)
    {
        switch (pick(depth < 2 ? 8 : 5)) {
        case 0:
            return nullptr;
        case 1:
            return pick(2) == 0;
        case 2:
            return pick(100) - 50;
        case 3:
            return 2.5;
        case 4:
            return text();
        case 5:
            return json::array({ anyValue(depth + 1), text() });
        case 6:
            return json { { "name", text() }, { "x", anyValue(depth + 1) } };
        default:
            return json::object();
        }
    }

    // A node map with faults a careless UI could produce.
    json nodeMap()
    {
        const int count = 1 + pick(12);
        json nodes = json::object();
        for (int index = 0; index < count; ++index) {
            const auto id = "n" + std::to_string(index);
            json node = { { "id", id },
                { "type", index == 0 || pick(3) == 0 ? "folder" : "device" }, { "name", text() } };
            node["children"] = json::array();
            for (int child = pick(4); child > 0; --child)
                node["children"].push_back("n" + std::to_string(pick(count + 1)));
            for (const char* key : { "description", "ip", "username", "password" })
                if (pick(3) > 0)
                    node[key] = text();
            if (pick(6) == 0)
                node[pickKey({ "type", "name", "children", "ip", "expanded" })] = anyValue();
            if (pick(5) == 0)
                node.erase(pickKey({ "type", "name", "children" }));
            nodes[id] = pick(15) == 0 ? anyValue() : node;
        }
        json document = { { "version", 1 }, { "rootId", "n0" }, { "nodes", nodes } };
        if (pick(8) == 0)
            document[pickKey({ "version", "rootId", "nodes", "extra" })] = anyValue();
        return document;
    }

    std::string pickKey(std::initializer_list<const char*> keys)
    {
        return *(keys.begin() + pick(static_cast<int>(keys.size())));
    }

private:
    std::string nonBlank()
    {
        auto name = text();
        return trimBlank(name).empty() ? "Named " + name : name;
    }

    std::mt19937 random_;
};

TEST(SitesText, StringsAreEscapedAsTheJsonLibraryDoes)
{
    for (int code = 0; code < 0x80; ++code) {
        const std::string text(1, static_cast<char>(code));
        std::string out;
        appendJsonString(out, text);
        EXPECT_EQ(out, json(text).dump()) << code;
    }
    std::string out;
    appendJsonString(out, "Süd ✓ 𝄞");
    EXPECT_EQ(out, "\"Süd ✓ 𝄞\"");
}

TEST(SitesText, InvalidUtf8IsReplacedSoTheTextStaysParsable)
{
    for (const std::string bad :
        { "\xff", "a\xc3", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xc0\xaf", "\xe2\x82" }) {
        std::string out;
        appendJsonString(out, bad);
        const auto parsed = json::parse(out, nullptr, false);
        ASSERT_FALSE(parsed.is_discarded()) << out;
        EXPECT_NE(parsed.get<std::string>().find("\xEF\xBF\xBD"), std::string::npos);
    }
}

TEST(SitesText, WrittenTreesMatchTheJsonLibrarySerialisation)
{
    RandomSites random(7);
    for (int round = 0; round < 300; ++round) {
        const auto tree = random.tree();
        EXPECT_EQ(nodeMapText(tree), nodeMapJson(tree).dump());
        std::string stored;
        appendStoredSitesText(stored, tree, 0);
        EXPECT_EQ(stored, serializeSettings(storedJson(tree)));
        EXPECT_EQ(folderTreeFromJson(json::parse(stored)), tree);
    }
}

// A store on a "settings.json" of its own, removed afterwards.
class ScratchStore {
public:
    ScratchStore()
        : folder_(std::filesystem::temp_directory_path()
            / ("sites_text_" + std::to_string(getpid()) + "_"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::create_directories(folder_);
    }
    ~ScratchStore() { std::filesystem::remove_all(folder_); }

    // The document a load serves for the given settings text.
    json loadFrom(const std::string& settingsText) const
    {
        std::ofstream(store.settingsPath(), std::ios::binary) << settingsText;
        return json::parse(store.loadSitesDocument());
    }

private:
    std::filesystem::path folder_;

public:
    const SitesStore store { settingsPathIn(folder_) };
};

// What a load must serve for a stored value: its tree with fresh ids, else the default.
json expectedLoad(const json& sites)
{
    if (const auto tree = folderTreeFromJson(sites))
        return nodeMapJson(*tree);
    return defaultSitesDocument();
}

TEST(SitesSave, RandomNodeMapsSaveOnlyTreesThatLoadAgain)
{
    RandomSites random(11);
    ScratchStore scratch;
    int saved = 0;
    for (int round = 0; round < 2000; ++round) {
        const auto document = random.nodeMap();
        const auto stored = documentToStored(document);
        ASSERT_EQ(scratch.store.saveSitesDocument(document).success, stored.has_value())
            << document.dump();
        if (!stored)
            continue;
        ++saved;
        const json loaded = json::parse(scratch.store.loadSitesDocument());
        ASSERT_EQ(loaded, storedToDocument(*stored)) << document.dump();
    }
    EXPECT_GT(saved, 500);
}

TEST(SitesSave, WrittenTextsReadBackAsTheSameTree)
{
    RandomSites random(19);
    for (int round = 0; round < 300; ++round) {
        const auto tree = random.tree();
        const json document = json::parse(nodeMapText(tree));
        const auto map = nodeMapFromJson(document);
        ASSERT_TRUE(map);
        EXPECT_EQ(convertNodeMap(*map), tree);
        std::string settings = "{\"sitesData\": ";
        appendStoredSitesText(settings, tree, 2);
        settings += "}";
        EXPECT_EQ(folderTreeFromJson(json::parse(settings)["sitesData"]), tree);
    }
}

TEST(SitesSave, RepeatedKeysAndBrokenTextNeverSaveAPartialTree)
{
    const std::string valid
        = R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]}}})";
    ASSERT_TRUE(documentToStored(json::parse(valid)));
    // The JSON library keeps the last of repeated keys; the tree saved is the one it reads.
    const auto repeated = documentToStored(json::parse(
        R"({"version":1,"rootId":"x","rootId":"r","nodes":{"r":{"type":"folder","name":"A","name":"B","children":[]}}})"));
    ASSERT_TRUE(repeated);
    EXPECT_EQ((*repeated)["name"], "B");
    for (const auto* text : {
             R"({"version":"1","rootId":"r","nodes":{"r":{"type":"folder","children":[]}}})",
             R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]}}} x)",
             R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]})",
             R"([1])",
             R"("text")",
             "",
         }) {
        const auto parsed = json::parse(text, nullptr, false);
        EXPECT_FALSE(!parsed.is_discarded() && documentToStored(parsed)) << text;
    }
}

std::string settingsTextAround(const json& sites, RandomSites& random)
{
    json settings = { { "sitesData", sites } };
    if (random.pick(2) == 0)
        settings["other"] = random.anyValue();
    return settings.dump(random.pick(2) == 0 ? -1 : 2);
}

TEST(SitesLoad, FaultyStoredTreesLoadAsTheValidationSays)
{
    RandomSites random(13);
    ScratchStore scratch;
    for (int round = 0; round < 1000; ++round) {
        json sites = storedJson(random.tree());
        switch (random.pick(6)) {
        case 0:
            sites["folders"].push_back(random.anyValue());
            break;
        case 1:
            sites["devices"].push_back({ { "name", random.text() }, { "ip", random.anyValue() } });
            break;
        case 2:
            sites[random.pickKey({ "name", "description", "schemaVersion", "folders", "extra" })]
                = random.anyValue();
            break;
        case 3:
            sites.erase(
                random.pickKey({ "name", "description", "schemaVersion", "folders", "devices" }));
            break;
        default:
            break;
        }
        ASSERT_EQ(scratch.loadFrom(settingsTextAround(sites, random)), expectedLoad(sites))
            << sites.dump();
    }
}

TEST(SitesLoad, NodeMapsAreServedAsStoredAndOddSettingsGiveTheDefault)
{
    ScratchStore scratch;
    const json nodeMap = json::parse(
        R"({"version":1,"rootId":"root","nodes":{"root":{"type":"folder","name":"Old","children":[]}}})");
    EXPECT_EQ(scratch.loadFrom(json { { "sitesData", nodeMap } }.dump()), nodeMap);
    EXPECT_EQ(scratch.loadFrom(
                  R"({"a":[{"b":null}],"sitesData":{"name":"S"},"z":1})")["nodes"]["root"]["name"],
        "S");
    for (const auto* text : {
             R"({"sitesData":[]})",
             R"({"other":1})",
             R"([])",
             R"(3)",
             R"({"sitesData":{"name":"S"})",
         })
        EXPECT_EQ(scratch.loadFrom(text), defaultSitesDocument()) << text;
}

TEST(SitesLoad, DeepTreesStopAtTheDepthLimit)
{
    ScratchStore scratch;
    json sites = { { "name", "leaf" } };
    for (std::size_t level = 0; level < kMaxFolderDepth; ++level)
        sites = { { "name", "level" }, { "folders", json::array({ std::move(sites) }) } };
    EXPECT_NE(scratch.loadFrom(json { { "sitesData", sites } }.dump()), defaultSitesDocument());
    sites = { { "name", "level" }, { "folders", json::array({ std::move(sites) }) } };
    EXPECT_EQ(scratch.loadFrom(json { { "sitesData", sites } }.dump()), defaultSitesDocument());
    EXPECT_FALSE(folderTreeFromJson(sites));

    const std::string deepText
        = "{\"sitesData\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
    EXPECT_EQ(scratch.loadFrom(deepText), defaultSitesDocument());
}

// Random corruption of valid texts: a load serves what the text holds or the default, and
// never misreads or crashes.
TEST(SitesLoad, CorruptedTextsAreReadSafely)
{
    RandomSites random(17);
    ScratchStore scratch;
    for (int round = 0; round < 1500; ++round) {
        auto text = settingsTextAround(storedJson(random.tree()), random);
        for (int flips = 1 + random.pick(3); flips > 0; --flips)
            text[static_cast<std::size_t>(random.pick(static_cast<int>(text.size())))]
                = "{}[]\",:\\0x "[random.pick(12)];
        const auto parsed = json::parse(text, nullptr, false);
        json expected = defaultSitesDocument();
        if (!parsed.is_discarded() && parsed.is_object() && parsed.contains("sitesData"))
            expected = isValidSitesDocument(parsed["sitesData"])
                ? parsed["sitesData"]
                : expectedLoad(parsed["sitesData"]);
        ASSERT_EQ(scratch.loadFrom(text), expected) << text;
    }
}

} // namespace
} // namespace kovrkit
