// The legacy sites search: which byte patterns become candidates and in what order, how a
// candidate is scored and converted, how files and ties are ordered, and the real LevelDB
// reading of a database written by libleveldb itself.
#include "fakes/fake_temp_folder.h"
#include "host/legacy/byte_scan.h"
#include "host/legacy/candidate_evaluation.h"
#include "host/legacy/legacy_directory.h"
#include "host/legacy/legacy_migrator.h"
#include "host/legacy/nested_tree_conversion.h"

#include <gtest/gtest.h>
#include <leveldb/db.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include <nlohmann/json.hpp>

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

namespace {

// A Local AppData folder holding the legacy tool's database folder.
class LegacyData {
public:
    LegacyData() { fs::create_directories(directory()); }
    fs::path localAppData() const { return temp_.path() / "Local"; }
    fs::path directory() const { return legacyLevelDbDirectory(localAppData()); }
    // Written with a modification time `age` seconds in the past.
    void write(const std::string& name, const std::string& bytes, int age = 0) const
    {
        fs::path file = directory() / name;
        std::ofstream(file, std::ios::binary) << bytes;
        fs::last_write_time(file, fs::file_time_type::clock::now() - std::chrono::seconds(age));
    }
    LegacyExtraction extract(bool readDatabase = false) const
    {
        return LegacyMigrator(localAppData(), readDatabase).extractLegacySites();
    }

private:
    TempFolder temp_;
};

json nodeMap(const std::string& rootName, int devices, bool withSchemaVersion = false)
{
    json document { { "version", 1 }, { "rootId", "root" }, { "nodes", json::object() } };
    json children = json::array();
    for (int number = 1; number <= devices; ++number) {
        std::string id = "device-" + std::to_string(number);
        children.push_back(id);
        document["nodes"][id]
            = { { "id", id }, { "type", "device" }, { "name", "Gate " + std::to_string(number) },
                  { "description", "" }, { "ip", "10.0.0." + std::to_string(number) },
                  { "username", "admin" }, { "password", "secret" } };
    }
    document["nodes"]["root"] = { { "id", "root" }, { "type", "folder" }, { "name", rootName },
        { "description", "" }, { "children", children } };
    if (withSchemaVersion)
        document["schemaVersion"] = 2;
    return document;
}

} // namespace

TEST(LegacyCandidates, EachSearchAddsItsBlocksInOrderWithoutRepeats)
{
    std::string bytes = "\x01k\"sites\" : \"[1,2,3]\""; // a tree kept as text in a string
    bytes += "|\\\"sites\\\":[4]"; // the escaped key
    bytes += "|mysites{\"no\":1}"; // not a whole word
    bytes += "|_kovrkit://app";
    bytes += '\0';
    bytes += "\x01sites\x05\x01[\"bare\"]"; // a Local Storage key and its value
    bytes += "|{\"a\":{\"b\":1}} \"nodes\""; // the braces before a marker need not enclose it
    bytes += "|\"sites\":[\"quoted\"]";
    EXPECT_EQ(collectCandidates(bytes),
        std::vector<std::string>({ "[1,2,3]", "[\"quoted\"]", "[4]", "[\"bare\"]", "{\"b\":1}",
            "{\"a\":{\"b\":1}}", "{\"no\":1}" }));
}

TEST(LegacyEvaluation, ScoresShapesAndKeepsTheFirstBestValueOfTheWalk)
{
    // The "sites" member is walked first and outscores its parent.
    EXPECT_EQ(
        evaluateCandidate(R"({"folders":[],"sites":{"nodes":{},"rootId":"r","schemaVersion":1}})"),
        (ScoredValue { 11, R"({"nodes":{},"rootId":"r","schemaVersion":1})" }));
    // Equal scores: the value met first wins.
    EXPECT_EQ(evaluateCandidate(R"([{"devices":1},{"folders":2}])"),
        (ScoredValue { 9, R"({"devices":1})" }));
    // A tree kept as JSON text inside a string is parsed and converted as a nested tree.
    EXPECT_EQ(evaluateCandidate(R"({"data":"{\"children\":[],\"devices\":[]}"})"),
        (ScoredValue { 16,
            R"({"nodes":{"root":{"children":[],"description":"","id":"root","name":"Sites","type":"folder"}},"rootId":"root","version":1})" }));
    // Text that only parses after one level of escaping is undone.
    EXPECT_EQ(evaluateCandidate(R"({\"folders\":[\"x\"],\"schemaVersion\":2})"),
        (ScoredValue { 11, R"({"folders":["x"],"schemaVersion":2})" }));
    EXPECT_EQ(evaluateCandidate(R"({"x":1})"), std::nullopt);
    EXPECT_EQ(evaluateCandidate(R"(\u0041\q)"), std::nullopt) << "nothing to undo";

    Unescaped unescaped = unescapeOnce(R"(\"\/\\\n\u00e9\uZZ\q\)");
    EXPECT_TRUE(unescaped.changed);
    EXPECT_EQ(unescaped.text, "\"/\\\n\\u00e9\\uZZ\\q\\");

    std::string deep = std::string(5000, '[') + std::string(5000, ']');
    EXPECT_EQ(evaluateCandidate(deep), std::nullopt) << "too deep to parse, and no crash";
}

TEST(LegacyEvaluation, NestedTreeTakesIdsInPreOrder)
{
    json nested = json::parse(R"({"root":{"name":"Plant","children":[
        {"name":"A","children":[{"ip":"1.2.3.4","name":5}]},
        {"type":"device","name":"D"}, {"type":"other"}, 7, {"children":[]}]}})");
    std::optional<json> converted = convertNestedLegacyTree(nested);
    ASSERT_TRUE(converted);
    const json& nodes = (*converted)["nodes"];
    EXPECT_EQ((*converted)["rootId"], "root");
    EXPECT_EQ(nodes["root"]["children"], json({ "folder-1", "device-2", "folder-2" }));
    EXPECT_EQ(nodes["root"]["name"], "Plant");
    EXPECT_EQ(nodes["folder-1"]["children"], json({ "device-1" }));
    EXPECT_EQ(nodes["device-1"]["name"], "Device");
    EXPECT_EQ(nodes["device-1"]["ip"], "1.2.3.4");
    EXPECT_EQ(nodes["device-2"]["name"], "D");
    EXPECT_EQ(nodes["folder-2"]["name"], "Folder");
    EXPECT_EQ(nodes.size(), 5u);
    EXPECT_FALSE(convertNestedLegacyTree(json::parse(R"({"root":{"type":"other"}})")));
    EXPECT_FALSE(convertNestedLegacyTree(json::parse(R"({"name":"no root"})")));
}

TEST(LegacyExtraction, NodeMapIsNotDisplacedByItsRootOnlyConversion)
{
    const json document = nodeMap("Plant", 3);
    LegacyData data;
    data.write("000003.log", "\x01\x02" + document.dump() + "\x03");
    LegacyExtraction extraction = data.extract();
    EXPECT_TRUE(extraction.success);
    EXPECT_EQ(extraction.message, "Legacy sites payload was extracted");
    EXPECT_EQ(extraction.json, document.dump());
}

TEST(LegacyEvaluation, NoPartOfANodeMapIsImportedInItsPlace)
{
    // Under "sites", with an empty folder among the nodes: that folder would convert as a
    // nested tree (16) and outrank the document (9).
    const std::string emptyFolder
        = R"({"nodes":{"empty":{"children":[],"id":"empty","name":"Spare","type":"folder"},)"
          R"("root":{"children":["empty"],"id":"root","name":"Plant","type":"folder"}},"rootId":"root"})";
    EXPECT_EQ(
        evaluateCandidate(R"({"sites":)" + emptyFolder + "}"), (ScoredValue { 9, emptyFolder }));
    LegacyData data;
    data.write("000003.log", "x{\"sites\":" + emptyFolder + "}x");
    EXPECT_EQ(data.extract().json, emptyFolder);

    // Folder nodes holding ids of their children and ids of their own, a "root" member, and a
    // node that carries both children objects and a "children" list.
    const std::string withIds = R"({"nodes":{"a":{"children":["d"],"id":"a","type":"folder"},)"
                                R"("b":{"children":[{"name":"x"}],"id":"b","type":"folder"},)"
                                R"("d":{"id":"d","ip":"1.2.3.4","type":"device"},)"
                                R"("root":{"children":["a","b"],"id":"root","type":"folder"}},)"
                                R"("root":{"children":[]},"rootId":"root","schemaVersion":1})";
    EXPECT_EQ(evaluateCandidate(withIds), (ScoredValue { 11, withIds }));
}

TEST(LegacyExtraction, NewestFileWinsTiesAndHigherScoresWinOverAge)
{
    LegacyData data;
    data.write("000004.log", R"(x{"devices":["old"]}x)", 100);
    data.write("000005.LDB", R"(x{"devices":["new"]}x)", 50);
    data.write("000006.log", "", 0);
    // Names that are not log or table files, and a folder, are never read.
    const std::string best
        = R"({"devices":[],"nodes":{},"rootId":"r","schemaVersion":1,"children":[]})";
    data.write("MANIFEST-000001", best);
    data.write("notes.txt", best);
    fs::create_directories(data.directory() / "sub.ldb");
    std::ofstream(data.directory() / "sub.ldb" / "000001.ldb") << best;
    if (geteuid() != 0) {
        data.write("000007.ldb", best);
        fs::permissions(data.directory() / "000007.ldb", fs::perms::none);
    }
    EXPECT_EQ(data.extract().json, R"({"devices":["new"]})");

    data.write("000001.ldb", R"({"devices":["oldest"],"schemaVersion":3})", 300);
    EXPECT_EQ(data.extract().json, R"({"devices":["oldest"],"schemaVersion":3})");
}

TEST(LegacyExtraction, EachFailureHasItsMessage)
{
    EXPECT_EQ(
        LegacyMigrator("").extractLegacySites().message, "LocalAppData path was not available");
    TempFolder empty;
    EXPECT_EQ(LegacyMigrator(empty.path()).extractLegacySites().message,
        "Legacy LevelDB directory was not found");
    EXPECT_FALSE(LegacyMigrator(empty.path()).probeLegacyData().found);
    EXPECT_EQ(LegacyMigrator(empty.path()).probeLegacyData().directory,
        empty.path() / "TORVANE/vmnest/Local Storage/leveldb");

    LegacyData data;
    data.write("LOG", R"({"devices":[]})");
    EXPECT_EQ(data.extract().message, "No legacy LevelDB log/table files were found");
    EXPECT_FALSE(LegacyMigrator(data.localAppData()).probeLegacyData().found);
    data.write("000001.log", "noise {\"other\": 5} \"nodes\" {");
    LegacyExtraction failed = data.extract(true);
    EXPECT_FALSE(failed.success);
    EXPECT_EQ(failed.json, "");
    EXPECT_EQ(failed.message, "Could not extract legacy sites payload from LevelDB files");
    EXPECT_TRUE(LegacyMigrator(data.localAppData()).probeLegacyData().found);
}

namespace {

// A Local Storage database written by libleveldb with its default (compressed) tables:
// small write buffers give several table files, and a last write stays in the log.
class LocalStorageDatabase {
public:
    explicit LocalStorageDatabase(const fs::path& folder)
    {
        leveldb::Options options;
        options.create_if_missing = true;
        options.write_buffer_size = 64 * 1024;
        options.compression = leveldb::kSnappyCompression;
        leveldb::DB* opened = nullptr;
        EXPECT_TRUE(leveldb::DB::Open(options, folder.string(), &opened).ok());
        database_.reset(opened);
    }
    void put(const std::string& key, const std::string& value)
    {
        EXPECT_TRUE(database_->Put({}, key, value).ok());
    }
    void erase(const std::string& key) { EXPECT_TRUE(database_->Delete({}, key).ok()); }
    void compact() { database_->CompactRange(nullptr, nullptr); }
    void addNoise(int entries, int seed)
    {
        for (int entry = 0; entry < entries; ++entry) {
            std::string value;
            for (int byte = 0; byte < 200; ++byte)
                value += static_cast<char>((entry * 131 + byte * 17 + seed) % 251);
            put("noise-" + std::to_string(seed) + "-" + std::to_string(entry), value);
        }
    }

private:
    std::unique_ptr<leveldb::DB> database_;
};

std::string localStorageKey(const std::string& name)
{
    std::string key = "_kovrkit://app";
    key += '\0';
    return key + "\x01" + name;
}

std::string latin1Value(const json& document)
{
    return "\x01" + document.dump();
}

} // namespace

TEST(LegacyExtraction, RealDatabaseFindsTheTreeOnlyItsCompressedTablesHold)
{
    TempFolder privateTemp;
    LegacyData data;
    const char* previous = std::getenv("TMPDIR");
    const std::string previousTemp = previous ? previous : "";
    ::setenv("TMPDIR", privateTemp.path().c_str(), 1);
    const json current = nodeMap("Plant", 60, true);
    {
        LocalStorageDatabase database(data.directory());
        database.put(localStorageKey("sites"), latin1Value(nodeMap("Earlier", 60)));
        database.addNoise(400, 1);
        database.compact();
        database.put(localStorageKey("sites"), latin1Value(current)); // overwrites the earlier tree
        database.put(localStorageKey("trash"), latin1Value(nodeMap("Deleted", 60, true)));
        database.erase(localStorageKey("trash"));
        database.addNoise(800, 2);
        database.addNoise(20, 3);
    }
    int logs = 0;
    int tables = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(data.directory())) {
        logs += entry.path().extension() == ".log";
        tables += entry.path().extension() == ".ldb";
    }
    EXPECT_GE(logs, 1);
    EXPECT_GE(tables, 2);

    LegacyExtraction scanned = data.extract(false);
    EXPECT_NE(scanned.json, current.dump()) << "the byte search cannot see into compressed blocks";
    LegacyExtraction combined = data.extract(true);
    EXPECT_TRUE(combined.success);
    EXPECT_EQ(combined.json, current.dump());

    EXPECT_TRUE(fs::is_empty(privateTemp.path())) << "the private copy is removed";
    if (previous)
        ::setenv("TMPDIR", previousTemp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

TEST(LegacyExtraction, HostileBytesEndWithoutAResult)
{
    // Blocks and strings that never close, keys that share one far colon, markers without a
    // brace before them: each would be scanned to the end of the file again for every key.
    std::string hostile(200000, 'x');
    for (int repeat = 0; repeat < 40000; ++repeat)
        hostile += "\"devices\"{\"nodes\" [\"sites\" \\\"sites\\\" ";
    hostile += ": \"[{";
    LegacyData data;
    data.write("000001.ldb", hostile);
    LegacyExtraction extraction = data.extract();
    EXPECT_FALSE(extraction.success);
    EXPECT_EQ(extraction.message, "Could not extract legacy sites payload from LevelDB files");
}
