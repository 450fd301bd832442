// The streaming readers and text writers against the general path through JSON values: for
// any input they either give up or give exactly what the general path gives.
#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_stream.h"
#include "host/sites/sites_text.h"
#include "host/sites/sites_tree.h"

#include <gtest/gtest.h>

#include <random>

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

TEST(SitesStream, NodeMapReaderAgreesWithTheGeneralPath)
{
    RandomSites random(11);
    int streamed = 0;
    for (int round = 0; round < 4000; ++round) {
        const auto document = random.nodeMap();
        const auto text = document.dump();
        const auto fast = streamNodeMap(text);
        if (!fast)
            continue;
        ++streamed;
        ASSERT_EQ(fast, nodeMapFromJson(document)) << text;
    }
    EXPECT_GT(streamed, 1000);
}

TEST(SitesStream, TheUsualShapesAreStreamedBothWays)
{
    RandomSites random(19);
    for (int round = 0; round < 300; ++round) {
        const auto tree = random.tree();
        const auto map = streamNodeMap(nodeMapText(tree));
        ASSERT_TRUE(map);
        EXPECT_EQ(convertNodeMap(*map), tree);
        std::string settings = "{\"sitesData\": ";
        appendStoredSitesText(settings, tree, 2);
        settings += "}";
        EXPECT_EQ(streamStoredSites(settings), tree);
    }
}

TEST(SitesStream, NodeMapReaderGivesUpOnRepeatedKeysAndBrokenText)
{
    const std::string valid
        = R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]}}})";
    ASSERT_TRUE(streamNodeMap(valid));
    for (const auto* text :
        {
            R"({"version":1,"rootId":"r","rootId":"r","nodes":{"r":{"type":"folder","children":[]}}})",
            R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","type":"folder","children":[]}}})",
            R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]},"r":{}}})",
            R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[1]}}})",
            R"({"version":"1","rootId":"r","nodes":{"r":{"type":"folder","children":[]}}})",
            R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]}}} x)",
            R"({"version":1,"rootId":"r","nodes":{"r":{"type":"folder","children":[]})",
            R"([1])",
            R"("text")",
            "",
        })
        EXPECT_FALSE(streamNodeMap(text)) << text;
}

std::string settingsTextAround(const json& sites, RandomSites& random)
{
    json settings = { { "sitesData", sites } };
    if (random.pick(2) == 0)
        settings["other"] = random.anyValue();
    return settings.dump(random.pick(2) == 0 ? -1 : 2);
}

TEST(SitesStream, StoredReaderAgreesWithTheGeneralPath)
{
    RandomSites random(13);
    int streamed = 0;
    for (int round = 0; round < 2000; ++round) {
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
        const auto text = settingsTextAround(sites, random);
        const auto fast = streamStoredSites(text);
        if (!fast)
            continue;
        ++streamed;
        ASSERT_EQ(fast, folderTreeFromJson(sites)) << text;
    }
    EXPECT_GT(streamed, 1000);
}

TEST(SitesStream, StoredReaderLeavesNodeMapsAndOddSettingsToTheGeneralPath)
{
    EXPECT_TRUE(streamStoredSites(R"({"a":[{"b":null}],"sitesData":{"name":"S"},"z":1})"));
    for (const auto* text : {
             R"({"sitesData":{"version":1,"rootId":"root","nodes":{}}})",
             R"({"sitesData":{"name":"S"},"sitesData":{"name":"T"}})",
             R"({"sitesData":{"name":"S","name":"T"}})",
             R"({"sitesData":[]})",
             R"({"other":1})",
             R"([])",
             R"(3)",
             R"({"sitesData":{"name":"S"})",
         })
        EXPECT_FALSE(streamStoredSites(text)) << text;
}

TEST(SitesStream, DeepTreesStopAtTheDepthLimit)
{
    json sites = { { "name", "leaf" } };
    for (std::size_t level = 0; level < kMaxFolderDepth; ++level)
        sites = { { "name", "level" }, { "folders", json::array({ std::move(sites) }) } };
    EXPECT_TRUE(streamStoredSites(json { { "sitesData", sites } }.dump()));
    sites = { { "name", "level" }, { "folders", json::array({ std::move(sites) }) } };
    EXPECT_FALSE(streamStoredSites(json { { "sitesData", sites } }.dump()));
    EXPECT_FALSE(folderTreeFromJson(sites));

    const std::string deepText
        = "{\"sitesData\":" + std::string(200000, '[') + std::string(200000, ']') + "}";
    EXPECT_FALSE(streamStoredSites(deepText));
}

// Random corruption of valid texts: the readers may give up, but never misread or crash.
TEST(SitesStream, CorruptedTextsAreReadSafely)
{
    RandomSites random(17);
    for (int round = 0; round < 3000; ++round) {
        auto text = round % 2 == 0 ? random.nodeMap().dump()
                                   : settingsTextAround(storedJson(random.tree()), random);
        for (int flips = 1 + random.pick(3); flips > 0; --flips)
            text[static_cast<std::size_t>(random.pick(static_cast<int>(text.size())))]
                = "{}[]\",:\\0x "[random.pick(12)];
        const auto parsed = json::parse(text, nullptr, false);
        if (const auto map = streamNodeMap(text)) {
            ASSERT_EQ(map, nodeMapFromJson(parsed)) << text;
        }
        if (const auto tree = streamStoredSites(text)) {
            ASSERT_EQ(tree, folderTreeFromJson(parsed["sitesData"])) << text;
        }
    }
}

} // namespace
} // namespace kovrkit
