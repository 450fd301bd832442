#include "host/sites/sites_document.h"

#include <gtest/gtest.h>

#include <random>

namespace kovrkit {
namespace {

using nlohmann::json;

json folderNode(const std::string& id, const std::string& name, json children)
{
    return { { "id", id }, { "type", "folder" }, { "name", name }, { "description", "" },
        { "children", children } };
}

json deviceNode(const std::string& id, const std::string& name, const std::string& ip = "10.0.0.1")
{
    return { { "id", id }, { "type", "device" }, { "name", name }, { "description", "d" },
        { "ip", ip }, { "username", "u" }, { "password", "p" } };
}

json documentWith(json nodes, const std::string& rootId = "r")
{
    return { { "version", 1 }, { "rootId", rootId }, { "nodes", nodes } };
}

json storedDevice(const std::string& name)
{
    return { { "name", name }, { "description", "" }, { "ip", "1.2.3.4" }, { "username", "" },
        { "password", "" } };
}

TEST(SitesDocumentHelpers, StringOrFallsBackForMissingAndMistypedMembers)
{
    const json value = { { "s", "text" }, { "n", 3 }, { "z", nullptr } };
    EXPECT_EQ(stringOr(value, "s", "f"), "text");
    EXPECT_EQ(stringOr(value, "n", "f"), "f");
    EXPECT_EQ(stringOr(value, "z", "f"), "f");
    EXPECT_EQ(stringOr(value, "missing", "f"), "f");
    EXPECT_EQ(stringOr(json::array({ "s" }), "s", "f"), "f");
}

TEST(SitesDocumentHelpers, TrimBlankRemovesOnlySpaceTabCrLf)
{
    EXPECT_EQ(trimBlank(" \t\r\nname \n"), "name");
    EXPECT_EQ(trimBlank(" \t "), "");
    EXPECT_EQ(trimBlank("\vx\f"), "\vx\f");
}

TEST(SitesDocumentHelpers, DefaultDocumentHasExactCompactText)
{
    EXPECT_EQ(defaultSitesDocument().dump(),
        R"({"nodes":{"root":{"children":[],"description":"","id":"root","name":"Sites","type":"folder"}},"rootId":"root","version":1})");
}

TEST(SitesDocumentValidation, EnvelopeAndRootFolderAreChecked)
{
    const json nodes = { { "r", folderNode("r", "Root", json::array()) } };
    EXPECT_TRUE(isValidSitesDocument(documentWith(nodes)));
    for (const json& version : { json(7), json(1.5), json(2u) }) {
        auto document = documentWith(nodes);
        document["version"] = version;
        EXPECT_TRUE(isValidSitesDocument(document)) << version;
    }
    const auto broken = [&](auto edit) {
        auto document = documentWith(nodes);
        edit(document);
        return !isValidSitesDocument(document);
    };
    EXPECT_TRUE(broken([](json& d) { d["version"] = "1"; }));
    EXPECT_TRUE(broken([](json& d) { d.erase("version"); }));
    EXPECT_TRUE(broken([](json& d) { d["rootId"] = ""; }));
    EXPECT_TRUE(broken([](json& d) { d["rootId"] = "missing"; }));
    EXPECT_TRUE(broken([](json& d) { d["nodes"] = json::array(); }));
    EXPECT_TRUE(broken([](json& d) { d["nodes"]["r"]["type"] = "device"; }));
    EXPECT_TRUE(broken([](json& d) { d["nodes"]["r"].erase("type"); }));
    EXPECT_TRUE(broken([](json& d) { d["nodes"]["r"]["children"] = json::object(); }));
    EXPECT_TRUE(broken([](json& d) { d["nodes"]["r"] = "folder"; }));
    EXPECT_FALSE(isValidSitesDocument(json::array()));
}

TEST(SitesDocumentValidation, StoredFormNamesMustNotBeBlank)
{
    json stored = { { "name", "Sites" }, { "folders", json::array() },
        { "devices", json::array({ storedDevice("d") }) } };
    EXPECT_TRUE(isValidStoredSites(stored));
    EXPECT_TRUE(isValidStoredSites(json::object()));

    auto blankDevice = stored;
    blankDevice["devices"][0]["name"] = " \t ";
    EXPECT_FALSE(isValidStoredSites(blankDevice));
    auto unnamedFolder = stored;
    unnamedFolder["folders"].push_back({ { "description", "x" } });
    EXPECT_FALSE(isValidStoredSites(unnamedFolder));
    auto numberName = stored;
    numberName["name"] = 5;
    EXPECT_FALSE(isValidStoredSites(numberName));
    auto textVersion = stored;
    textVersion["schemaVersion"] = "1";
    EXPECT_FALSE(isValidStoredSites(textVersion));
    auto numberIp = stored;
    numberIp["devices"][0]["ip"] = 10;
    EXPECT_FALSE(isValidStoredSites(numberIp));
    auto nullIp = stored;
    nullIp["devices"][0]["ip"] = nullptr;
    EXPECT_TRUE(isValidStoredSites(nullIp));
    auto devicesObject = stored;
    devicesObject["devices"] = json::object();
    EXPECT_FALSE(isValidStoredSites(devicesObject));
}

TEST(DocumentToStored, CopiesTheTreeAndDropsUnknownMembers)
{
    auto device = deviceNode("d", "Gateway");
    device["colour"] = "red";
    const json nodes = { { "r", folderNode("r", "My sites", { "f", "d" }) },
        { "f", folderNode("f", "Floor 1", json::array()) }, { "d", device } };
    const auto stored = documentToStored(documentWith(nodes));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->dump(),
        R"({"description":"","devices":[{"description":"d","ip":"10.0.0.1","name":"Gateway","password":"p","username":"u"}],"folders":[{"description":"","devices":[],"folders":[],"name":"Floor 1"}],"name":"My sites","schemaVersion":1})");
}

TEST(DocumentToStored, SkipsUnusableChildrenButFailsOnBrokenFolders)
{
    json nodes = { { "r", folderNode("r", "Root", { "ghost", 42, "other", "d", "d" }) },
        { "other", { { "type", "lamp" }, { "name", "x" } } }, { "d", deviceNode("d", "Twice") } };
    nodes["r"].erase("name");
    const auto stored = documentToStored(documentWith(nodes));
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["name"], "Folder");
    ASSERT_EQ((*stored)["devices"].size(), 2u);
    EXPECT_EQ((*stored)["folders"].size(), 0u);

    nodes["r"]["children"].push_back("f");
    nodes["f"] = { { "type", "folder" }, { "name", "No children" } };
    EXPECT_FALSE(documentToStored(documentWith(nodes)));
}

TEST(DocumentToStored, FallbackNamesForMistypedNames)
{
    json device = deviceNode("d", "x");
    device["name"] = 12;
    json folder = folderNode("f", "x", json::array());
    folder["name"] = nullptr;
    const json nodes
        = { { "r", folderNode("r", "Root", { "f", "d" }) }, { "f", folder }, { "d", device } };
    const auto stored = documentToStored(documentWith(nodes));
    ASSERT_TRUE(stored);
    EXPECT_EQ((*stored)["folders"][0]["name"], "Folder");
    EXPECT_EQ((*stored)["devices"][0]["name"], "Device");
}

TEST(DocumentToStored, RefusesBlankNamesSoEverySavedTreeLoads)
{
    const json blankRoot = { { "r", folderNode("r", "  ", json::array()) } };
    EXPECT_FALSE(documentToStored(documentWith(blankRoot)));
    const json blankFolder = { { "r", folderNode("r", "Root", { "f" }) },
        { "f", folderNode("f", "\t", json::array()) } };
    EXPECT_FALSE(documentToStored(documentWith(blankFolder)));
    const json blankDevice
        = { { "r", folderNode("r", "Root", { "d" }) }, { "d", deviceNode("d", "") } };
    EXPECT_FALSE(documentToStored(documentWith(blankDevice)));
    // A blank name on a node the tree never reaches does not matter.
    const json unreachable
        = { { "r", folderNode("r", "Root", json::array()) }, { "d", deviceNode("d", "") } };
    EXPECT_TRUE(documentToStored(documentWith(unreachable)));
}

TEST(DocumentToStored, RefusesCyclesButHoldsAFolderListedTwiceOncePerPlace)
{
    const json selfListed = { { "r", folderNode("r", "Root", { "r" }) } };
    EXPECT_FALSE(documentToStored(documentWith(selfListed)));
    const json ancestorListed = { { "r", folderNode("r", "Root", { "a" }) },
        { "a", folderNode("a", "A", { "b" }) }, { "b", folderNode("b", "B", { "a" }) } };
    EXPECT_FALSE(documentToStored(documentWith(ancestorListed)));
    const json sharedFolder = { { "r", folderNode("r", "Root", { "a", "b" }) },
        { "a", folderNode("a", "A", { "s" }) }, { "b", folderNode("b", "B", { "s" }) },
        { "s", folderNode("s", "Shared", { "d" }) }, { "d", deviceNode("d", "Gateway") } };
    const auto stored = documentToStored(documentWith(sharedFolder));
    ASSERT_TRUE(stored);
    for (const char* parent : { "A", "B" }) {
        const json& holder = (*stored)["folders"][parent == std::string("A") ? 0 : 1];
        EXPECT_EQ(holder["name"], parent);
        ASSERT_EQ(holder["folders"].size(), 1u);
        EXPECT_EQ(holder["folders"][0]["name"], "Shared");
        EXPECT_EQ(holder["folders"][0]["devices"][0]["name"], "Gateway");
    }
    // Listed twice by the same folder, and a folder listed below itself further down.
    const json listedTwice = { { "r", folderNode("r", "Root", { "s", "s" }) },
        { "s", folderNode("s", "Shared", json::array()) } };
    EXPECT_EQ(documentToStored(documentWith(listedTwice)).value()["folders"].size(), 2u);
    const json deepCycle = { { "r", folderNode("r", "Root", { "a", "b" }) },
        { "a", folderNode("a", "A", { "b" }) }, { "b", folderNode("b", "B", { "a" }) } };
    EXPECT_FALSE(documentToStored(documentWith(deepCycle)));
}

// A chain of folders each listing the next one.
json chainOfFolders(std::size_t depth)
{
    json nodes = json::object();
    for (std::size_t level = 0; level <= depth; ++level) {
        const auto id = "f" + std::to_string(level);
        const json children
            = level < depth ? json::array({ "f" + std::to_string(level + 1) }) : json::array();
        nodes[id] = folderNode(id, "Level", children);
    }
    return documentWith(nodes, "f0");
}

TEST(DocumentToStored, DepthLimitHoldsOnBothSides)
{
    const auto deepest = documentToStored(chainOfFolders(kMaxFolderDepth));
    ASSERT_TRUE(deepest);
    EXPECT_TRUE(storedToDocument(*deepest));
    EXPECT_FALSE(documentToStored(chainOfFolders(kMaxFolderDepth + 1)));
    EXPECT_FALSE(documentToStored(chainOfFolders(100000)));

    json tooDeep = { { "name", "Level" } };
    for (std::size_t level = 0; level < kMaxFolderDepth + 1; ++level)
        tooDeep = { { "name", "Level" }, { "folders", json::array({ std::move(tooDeep) }) } };
    EXPECT_FALSE(isValidStoredSites(tooDeep));
}

TEST(StoredToDocument, NumbersFoldersPreOrderAndDevicesInWalkOrder)
{
    const json stored = {
        { "folders",
            json::array({ { { "name", "A" }, { "devices", json::array({ storedDevice("d1") }) } },
                { { "name", "B" } } }) },
        { "devices", json::array({ storedDevice("d0") }) },
    };
    const auto document = storedToDocument(stored);
    ASSERT_TRUE(document);
    const auto& nodes = (*document)["nodes"];
    EXPECT_EQ(nodes["root"]["name"], "Sites");
    EXPECT_EQ(nodes["root"]["children"], json({ "folder-1", "folder-2", "device-2" }));
    EXPECT_EQ(nodes["folder-1"]["name"], "A");
    EXPECT_EQ(nodes["folder-1"]["children"], json({ "device-1" }));
    EXPECT_EQ(nodes["device-1"]["name"], "d1");
    EXPECT_EQ(nodes["device-2"]["name"], "d0");
    EXPECT_EQ(nodes["folder-2"]["children"], json::array());
    EXPECT_EQ(nodes.size(), 5u);
}

TEST(StoredToDocument, NullTextsBecomeEmptyAndBlankNamesReject)
{
    const json stored = { { "name", "Mine" }, { "description", nullptr },
        { "devices",
            json::array({ { { "name", "d" }, { "ip", nullptr }, { "password", nullptr } } }) } };
    const auto document = storedToDocument(stored);
    ASSERT_TRUE(document);
    EXPECT_EQ((*document)["nodes"]["root"]["description"], "");
    EXPECT_EQ((*document)["nodes"]["device-1"].dump(),
        R"({"description":"","id":"device-1","ip":"","name":"d","password":"","type":"device","username":""})");

    auto blank = stored;
    blank["devices"][0]["name"] = "  \t";
    EXPECT_FALSE(storedToDocument(blank));
}

TEST(SitesRoundTrip, FoldersComeBeforeDevicesAfterSaveAndLoad)
{
    const json nodes = { { "r", folderNode("r", "Root", { "x" }) },
        { "x", folderNode("x", "Mixed", { "d", "f" }) }, { "d", deviceNode("d", "Dev") },
        { "f", folderNode("f", "Sub", json::array()) } };
    const auto document = storedToDocument(*documentToStored(documentWith(nodes)));
    ASSERT_TRUE(document);
    EXPECT_EQ((*document)["nodes"]["folder-1"]["children"], json({ "folder-2", "device-1" }));
}

// Random node maps, including the faults a buggy UI could send: every map the save accepts
// must load again and save to the same stored tree.
json randomNodeMap(std::mt19937& random)
{
    const int nodeCount = std::uniform_int_distribution<int>(1, 25)(random);
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    json nodes = json::object();
    for (int index = 0; index < nodeCount; ++index) {
        const auto id = "n" + std::to_string(index);
        const bool folder = index == 0 || pick(3) == 0;
        const std::string names[] = { "Name", " ", "Ünïcode ✓", "", "tab\tinside" };
        json node = folder ? folderNode(id, names[pick(5)], json::array())
                           : deviceNode(id, names[pick(5)]);
        if (folder)
            for (int child = pick(4); child > 0; --child)
                node["children"].push_back("n" + std::to_string(pick(nodeCount + 2)));
        if (pick(10) == 0)
            node.erase("name");
        nodes[id] = node;
    }
    return documentWith(nodes, "n0");
}

TEST(SitesRoundTrip, EveryAcceptedRandomTreeLoadsAndSavesAlike)
{
    std::mt19937 random(20261208);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        const auto document = randomNodeMap(random);
        const auto stored = documentToStored(document);
        if (!stored)
            continue;
        ++accepted;
        const auto loaded = storedToDocument(*stored);
        ASSERT_TRUE(loaded) << document.dump();
        ASSERT_TRUE(isValidSitesDocument(*loaded));
        EXPECT_EQ(documentToStored(*loaded), stored) << document.dump();
    }
    EXPECT_GT(accepted, 100);
}

} // namespace
} // namespace kovrkit
