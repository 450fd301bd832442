#include "fakes/file_size_cap.h"
#include "host/platform/file_access.h"
#include "host/sites/settings_file.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_store.h"
#include "host/sites/stored_sites_judge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <span>
#include <thread>
#include <unistd.h>

namespace kovrkit {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::FileSizeCap;

constexpr std::string_view kDefaultDocument
    = R"({"nodes":{"root":{"children":[],"description":"","id":"root","name":"Sites","type":"folder"}},"rootId":"root","version":1})";

// "YYYY-MM-DDTHH:MM:SSZ"
bool isUtcTimestamp(const std::string& text)
{
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != shape.size())
        return false;
    for (std::size_t index = 0; index < shape.size(); ++index) {
        const bool matches = shape[index] == 'd'
            ? std::isdigit(static_cast<unsigned char>(text[index])) != 0
            : text[index] == shape[index];
        if (!matches)
            return false;
    }
    return true;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = fs::temp_directory_path()
            / ("settings_store_" + std::to_string(getpid()) + "_"
                + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        path_ = settingsPathIn(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    void writeFile(std::string_view content) const
    {
        std::ofstream(path_, std::ios::binary) << content;
    }
    std::string fileText() const
    {
        std::ifstream in(path_, std::ios::binary);
        return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
    }
    json fileJson() const { return json::parse(fileText()); }

    static json twoLevelDocument(const std::string& deviceName = "Gateway")
    {
        return json::parse(R"({"version":1,"rootId":"root","nodes":{
            "root":{"id":"root","type":"folder","name":"Plant","description":"","children":["f","d"]},
            "f":{"id":"f","type":"folder","name":"Hall","description":"east","children":["d"]},
            "d":{"id":"d","type":"device","name":")"
            + deviceName
            + R"(","description":"","ip":"10.1.1.5","username":"admin","password":"pw\"1"}}})");
    }

    fs::path folder_;
    fs::path path_;
    SitesStore store() const { return SitesStore(path_); }
};

TEST_F(SettingsStoreTest, MissingEmptyAndCorruptFilesServeTheDefaultTree)
{
    EXPECT_EQ(store().loadSitesDocument(), kDefaultDocument);
    EXPECT_FALSE(store().isMigrationCompleted());
    EXPECT_FALSE(store().isMigrationDeclined());
    EXPECT_FALSE(fs::exists(path_));

    writeFile("");
    EXPECT_EQ(store().readSettings(), json::object());
    EXPECT_EQ(store().loadSitesDocument(), kDefaultDocument);

    for (const auto* content : { "{not json", "[]", "\"text\"", R"({"sitesData":{"name":"  "}})",
             R"({"sitesData":[1,2]})" }) {
        writeFile(content);
        EXPECT_EQ(store().loadSitesDocument(), kDefaultDocument) << content;
        EXPECT_EQ(fileText(), content) << "a load never rewrites the file";
    }
    writeFile("[]");
    EXPECT_FALSE(store().readSettings());
}

TEST_F(SettingsStoreTest, SaveWritesNestedTreeSortedIndentedWithoutTrailingNewline)
{
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    const auto text = fileText();
    EXPECT_EQ(text.substr(0, 18), "{\n  \"sitesData\": {");
    EXPECT_EQ(text.back(), '}');
    EXPECT_EQ(text, fileJson().dump(2));
    const auto stored = fileJson()["sitesData"];
    EXPECT_EQ(stored["schemaVersion"], 1);
    EXPECT_EQ(stored["folders"][0]["devices"][0]["password"], "pw\"1");
    EXPECT_EQ(stored["devices"].size(), 1u);
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));
}

TEST_F(SettingsStoreTest, LoadHandsOutFreshIdsAndRoundTrips)
{
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    const auto loaded = json::parse(store().loadSitesDocument());
    EXPECT_EQ(loaded["nodes"]["root"]["name"], "Plant");
    EXPECT_EQ(loaded["nodes"]["root"]["children"], json({ "folder-1", "device-2" }));
    EXPECT_EQ(loaded["nodes"]["device-1"]["ip"], "10.1.1.5");
    const auto firstFile = fileText();
    ASSERT_TRUE(store().saveSitesDocument(loaded).success);
    EXPECT_EQ(fileText(), firstFile);
}

TEST_F(SettingsStoreTest, NonAsciiTextStaysUtf8)
{
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument("Lüftung Süd ✓")).success);
    EXPECT_NE(fileText().find("Lüftung Süd ✓"), std::string::npos);
    EXPECT_NE(store().loadSitesDocument().find("Lüftung Süd ✓"), std::string::npos);
}

TEST_F(SettingsStoreTest, NodeMapStoredByAnEarlierHostIsServedAsIs)
{
    const auto document = twoLevelDocument();
    writeFile(json { { "sitesData", document } }.dump());
    EXPECT_EQ(store().loadSitesDocument(), document.dump());
}

TEST_F(SettingsStoreTest, OtherTopLevelMembersSurviveSavesAndRecords)
{
    writeFile(R"({"zeta":{"b":1,"a":[true]},"Alpha":"x","legacyMigration":{"completed":true}})");
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    auto settings = fileJson();
    EXPECT_EQ(settings["zeta"], json::parse(R"({"a":[true],"b":1})"));
    EXPECT_EQ(settings["Alpha"], "x");
    EXPECT_TRUE(store().isMigrationCompleted());
    const auto text = fileText();
    EXPECT_LT(text.find("\"Alpha\""), text.find("\"legacyMigration\""));
    EXPECT_LT(text.find("\"legacyMigration\""), text.find("\"sitesData\""));
    EXPECT_LT(text.find("\"sitesData\""), text.find("\"zeta\""));

    ASSERT_TRUE(store().markMigrationDeclined("Legacy migration declined by user"));
    settings = fileJson();
    EXPECT_EQ(settings["zeta"], json::parse(R"({"a":[true],"b":1})"));
    EXPECT_EQ(settings["sitesData"]["name"], "Plant");
}

TEST_F(SettingsStoreTest, FileIsWhatTheJsonLibraryWouldWriteForTheWholeObject)
{
    const json others = json::parse(R"({
        "Ärger": {"deep": [[1, 2.5, {"x": null}], [], {}], "e": "line\nbreak"},
        "a": [{"b": true, "c": -7}],
        "sitesDat": "sorts before", "sitesDataZ": "sorts after", "~": 18446744073709551615,
        "sitesData": {"old": ["never", "read"]}})");
    writeFile(others.dump());
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    auto expected = others;
    expected["sitesData"] = json::parse(fileText())["sitesData"];
    EXPECT_EQ(expected["sitesData"]["name"], "Plant");
    EXPECT_EQ(fileText(), serializeSettings(expected));

    writeFile("");
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    EXPECT_EQ(fileText(), serializeSettings({ { "sitesData", fileJson()["sitesData"] } }));
}

TEST_F(SettingsStoreTest, UnreadableContentIsReplacedByTheSavedMemberOnly)
{
    writeFile("[]");
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    EXPECT_EQ(fileJson().size(), 1u);
    EXPECT_TRUE(fileJson().contains("sitesData"));
}

TEST_F(SettingsStoreTest, RefusedDocumentsLeaveTheFileUntouched)
{
    const std::string original = R"({"keep":1})";
    const json cyclic = json::parse(R"({"version":1,"rootId":"r","nodes":{
        "r":{"type":"folder","name":"R","children":["a"]},
        "a":{"type":"folder","name":"A","children":["r"]}}})");
    const json blankName = json::parse(R"({"version":1,"rootId":"r","nodes":{
        "r":{"type":"folder","name":" \t","children":[]}}})");
    const json deviceRoot
        = json::parse(R"({"version":1,"rootId":"r","nodes":{"r":{"type":"device","name":"x"}}})");

    EXPECT_FALSE(store().saveSitesDocument(deviceRoot).success);
    EXPECT_FALSE(fs::exists(path_)) << "a refused save creates no file";

    writeFile(original);
    for (const auto& refused : { cyclic, blankName, deviceRoot, json::array() })
        EXPECT_FALSE(store().saveSitesDocument(refused).success) << refused;
    EXPECT_FALSE(store().saveSitesDocument(json::parse("{\"version\":1}")).success);
    EXPECT_FALSE(store().saveSitesDocument(json()).success);
    EXPECT_EQ(fileText(), original);
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));
}

TEST_F(SettingsStoreTest, OutcomeCarriesTheReplyText)
{
    const auto saved = store().saveSitesDocument(twoLevelDocument());
    EXPECT_TRUE(saved.success);
    EXPECT_EQ(saved.message, "");
    for (const json& document :
        { json::object(), json(twoLevelDocument().dump()), json(nullptr), json::array() }) {
        const auto outcome = store().saveSitesDocument(document);
        EXPECT_FALSE(outcome.success) << document;
        EXPECT_EQ(outcome.message, "Invalid or unsaved sites data");
    }
}

// Every folder of a ladder lists the next rung twice, so the nested form doubles per rung.
json ladderDocument(int rungs)
{
    json nodes = json::object();
    for (int rung = 0; rung <= rungs; ++rung) {
        const auto id = "f" + std::to_string(rung);
        const auto next = "f" + std::to_string(rung + 1);
        nodes[id] = { { "type", "folder" }, { "name", "Rung " + id },
            { "children",
                rung < rungs ? json::array({ next, next, "d" }) : json::array({ "d" }) } };
    }
    nodes["d"] = { { "type", "device" }, { "name", "Gateway" }, { "ip", "10.0.0.1" } };
    return { { "version", 1 }, { "rootId", "f0" }, { "nodes", nodes } };
}

TEST_F(SettingsStoreTest, SharedFoldersAreStoredPerPlaceUpToTheExpandedSizeLimit)
{
    writeFile(R"({"keep":1})");
    // 2^20 - 1 folders and as many devices once expanded: refused before anything is built.
    const auto refused = store().saveSitesDocument(ladderDocument(19));
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.message, kSitesTooLargeMessage);
    EXPECT_EQ(fileText(), R"({"keep":1})");

    // 2^4 - 1 folders: saved with every shared folder in each place, and loaded as such.
    ASSERT_TRUE(store().saveSitesDocument(ladderDocument(3)).success);
    const json loaded = json::parse(store().loadSitesDocument());
    std::size_t folders = 0;
    std::size_t devices = 0;
    for (const auto& [id, node] : loaded["nodes"].items())
        ++(node["type"] == "folder" ? folders : devices);
    EXPECT_EQ(folders, 15u);
    EXPECT_EQ(devices, 15u);
}

// A few kilobytes of node map: a chain of folders above a shared ladder. Its entries and texts
// are few, but every line of the nested form would be indented by some 2,000 spaces.
TEST_F(SettingsStoreTest, DeepChainsAboveSharedFoldersAreRefusedForTheirIndentation)
{
    writeFile(R"({"keep":1})");
    json document = ladderDocument(13);
    ASSERT_TRUE(store().saveSitesDocument(document).success) << "32,766 entries, shallow";
    const std::string saved = fileText();

    const int links = 480;
    for (int link = 0; link < links; ++link) {
        const std::string next = link + 1 < links ? "c" + std::to_string(link + 1) : "f0";
        document["nodes"]["c" + std::to_string(link)]
            = { { "type", "folder" }, { "name", "Link" }, { "children", json::array({ next }) } };
    }
    document["rootId"] = "c0";
    const auto refused = store().saveSitesDocument(document);
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.message, kSitesTooLargeMessage);
    EXPECT_EQ(fileText(), saved);
}

TEST_F(SettingsStoreTest, MigrationRecordIsReplacedWholeAndReadStrictly)
{
    ASSERT_TRUE(store().markMigrationDeclined("Legacy migration declined by user"));
    auto record = fileJson()["legacyMigration"];
    EXPECT_EQ(record["completed"], false);
    EXPECT_EQ(record["declined"], true);
    EXPECT_EQ(record["status"], "Legacy migration declined by user");
    EXPECT_TRUE(isUtcTimestamp(record["updatedAt"].get<std::string>())) << record["updatedAt"];
    EXPECT_TRUE(store().isMigrationDeclined());
    EXPECT_FALSE(store().isMigrationCompleted());

    writeFile(
        R"({"legacyMigration":{"completed":false,"declined":true,"status":"old","updatedAt":"x","extra":1}})");
    ASSERT_TRUE(store().markMigrationCompleted("Legacy data imported"));
    record = fileJson()["legacyMigration"];
    EXPECT_EQ(record.size(), 4u);
    EXPECT_EQ(record["status"], "Legacy data imported");
    EXPECT_TRUE(store().isMigrationCompleted());
    EXPECT_FALSE(store().isMigrationDeclined());

    for (const auto* content : { R"({"legacyMigration":{"completed":"true"}})",
             R"({"legacyMigration":{"completed":1}})", R"({"legacyMigration":true})" }) {
        writeFile(content);
        EXPECT_FALSE(store().isMigrationCompleted()) << content;
    }
}

TEST_F(SettingsStoreTest, HostileNestingIsDroppedNotRecursedInto)
{
    const std::string deep = std::string(300000, '[') + std::string(300000, ']');
    writeFile(R"({"junk":)" + deep + R"(,"sitesData":{"name":"Kept"}})");
    EXPECT_EQ(json::parse(store().loadSitesDocument())["nodes"]["root"]["name"], "Kept");
    EXPECT_FALSE(store().isMigrationCompleted());
    ASSERT_TRUE(store().markMigrationCompleted("Legacy data imported"));
    EXPECT_FALSE(fileJson().contains("junk"));

    writeFile(R"({"junk":)" + deep + "}");
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    EXPECT_EQ(fileJson().size(), 1u);
}

TEST_F(SettingsStoreTest, StaleTemporaryFileIsReusedAndRemoved)
{
    std::ofstream(temporarySettingsPath(path_)) << std::string(100000, 'x');
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));
    EXPECT_EQ(fileJson()["sitesData"]["name"], "Plant");
}

// A store whose clock stands still and whose log lines are kept.
struct KeepingStore {
    explicit KeepingStore(const fs::path& path)
        : store(path,
            { [] { return std::string("20261209T010203Z"); },
                [this](const std::string& line) { log.push_back(line); } })
    {
    }
    std::vector<std::string> log;
    SitesStore store;
};

std::string textOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

std::vector<std::string> namesIn(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A file the host cannot use (no JSON object, or a stored tree a load would replace by the
// default tree) is kept byte for byte under a name of its own before a save or a migration
// record replaces it; the new file is what the write makes of an unreadable or a readable file.
TEST_F(SettingsStoreTest, UnusableFileIsKeptAsideBeforeASaveOrARecordReplacesIt)
{
    const std::string valid
        = R"({"keep":{"note":"mine"},"sitesData":{"name":"Plant","folders":[]}})";
    struct Case {
        std::string content;
        bool object; // whether the other members survive
    };
    const Case cases[] = {
        { valid.substr(0, valid.size() / 2), false }, // truncated
        { R"({"keep":{"note":"mine"},"sitesData":{"name":"Plant","folders":[]},})", false },
        { R"({"keep":{"note":"mine"},"sitesData":{"name":"Plant","folders":{"a":1}}})", true },
    };
    const auto kept = folder_ / "settings.json.unreadable-20261209T010203Z";
    for (const auto& [content, object] : cases) {
        for (const bool record : { false, true }) {
            writeFile(content);
            KeepingStore keeping(path_);
            const bool written = record
                ? keeping.store.markMigrationCompleted("Legacy data imported")
                : keeping.store.saveSitesDocument(twoLevelDocument()).success;
            ASSERT_TRUE(written) << content;
            EXPECT_EQ(textOf(kept), content);
            EXPECT_EQ(namesIn(folder_),
                std::vector<std::string>(
                    { "settings.json", "settings.json.unreadable-20261209T010203Z" }));
            ASSERT_EQ(keeping.log.size(), 1u);
            EXPECT_EQ(keeping.log[0],
                "kovrkit: " + path_.string() + " held no usable settings; kept it as "
                    + kept.string() + " before replacing it");
            // A record keeps the other members of an object, the refused tree among them.
            const auto settings = fileJson();
            EXPECT_EQ(settings.contains("keep"), object) << content;
            EXPECT_EQ(settings.contains("sitesData"), !record || object) << content;
            if (record)
                EXPECT_TRUE(store().isMigrationCompleted());
            else
                EXPECT_EQ(settings["sitesData"]["folders"][0]["name"], "Hall");
            fs::remove(kept);
        }
    }

    for (const auto& usable : { valid, std::string(), std::string(R"({"keep":1})") }) {
        writeFile(usable);
        KeepingStore keeping(path_);
        ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument()).success);
        ASSERT_TRUE(keeping.store.markMigrationDeclined("Legacy migration declined by user"));
        EXPECT_EQ(namesIn(folder_), std::vector<std::string>({ "settings.json" })) << usable;
        EXPECT_TRUE(keeping.log.empty());
    }
    fs::remove(path_);
    KeepingStore keeping(path_);
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument()).success);
    EXPECT_EQ(namesIn(folder_), std::vector<std::string>({ "settings.json" }));
}

// A store passes over the parse of a file that still holds what it wrote itself; any other
// bytes there, however close, are read and judged again.
TEST_F(SettingsStoreTest, StoreThatSavesAgainSeesEveryChangeMadeBetweenItsSaves)
{
    KeepingStore keeping(path_);
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument("First")).success);
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument("Second")).success);
    const std::string written = fileText();

    // Another writer adds a member: it survives the next save.
    ASSERT_TRUE(store().markMigrationCompleted("Legacy data imported"));
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument("Third")).success);
    EXPECT_TRUE(store().isMigrationCompleted());

    // A hand edit of the same length that leaves no JSON is kept aside.
    std::string edited = fileText();
    const auto folders = edited.find("\"folders\": [");
    ASSERT_NE(folders, std::string::npos);
    edited.replace(folders, 12, "\"folders\": 7");
    writeFile(edited);
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument("Fourth")).success);
    EXPECT_EQ(textOf(folder_ / "settings.json.unreadable-20261209T010203Z"), edited);
    EXPECT_EQ(keeping.log.size(), 1u);
    EXPECT_EQ(fileJson()["sitesData"]["folders"][0]["devices"][0]["name"], "Fourth");
    EXPECT_FALSE(fileJson().contains("legacyMigration"));
    EXPECT_NE(written, fileText());
}

std::string folderChain(int depth)
{
    std::string chain = R"({"name":"Top")";
    for (int level = 0; level < depth; ++level)
        chain += R"(,"folders":[{"name":"F")";
    for (int level = 0; level < depth; ++level)
        chain += "}]";
    return chain + "}";
}

// A save judges the tree it replaces while it reads the old file, without building it. The
// judge approves the trees the host writes and never one the general check refuses; what it
// leaves undecided (a repeated member: the last one counts) goes the general way.
TEST_F(SettingsStoreTest, OldTreeIsJudgedWhileReadAsTheGeneralCheckJudgesIt)
{
    const std::string approved[] = {
        R"({"schemaVersion":1,"name":"Plant","description":null,"extra":{"x":[1,{"y":2}]},"folders":[{"name":"Hall","description":"east","folders":[],"devices":[{"name":"Gw","description":"","ip":"10.1.1.5","username":null,"password":"pw","notes":[1]}]}],"devices":[{"name":"Loose"}]})",
        "{}",
        folderChain(512),
    };
    const std::string refused[] = {
        R"({"name":" \t","folders":[]})",
        R"({"folders":[{"name":"Hall","folders":[{"description":"no name"}]}]})",
        R"({"folders":[{"name":"Hall","devices":[{"name":"Gw","ip":5}]}]})",
        R"({"devices":[{"name":"\r\n"}]})",
        R"({"folders":{"a":1}})",
        R"({"folders":[1]})",
        R"({"devices":[[]]})",
        R"({"schemaVersion":"1"})",
        R"({"name":{"text":"Plant"}})",
        R"([])",
        R"("Plant")",
        folderChain(513),
    };
    for (const bool usable : { true, false }) {
        for (const auto& sites : usable ? std::span<const std::string>(approved)
                                        : std::span<const std::string>(refused)) {
            const std::string text = R"({"keep":[1,{"a":null}],"sitesData":)" + sites + "}";
            const auto judge = storedSitesJudge();
            const auto settings = parseSettingsJudgingMember(text, "sitesData", *judge);
            ASSERT_EQ(settings.has_value(), usable) << sites;
            EXPECT_EQ(isValidStoredSites(json::parse(sites)), usable) << sites;
            if (usable) {
                EXPECT_EQ(*settings, json::parse(R"({"keep":[1,{"a":null}]})"));
            }
        }
    }

    // The last of repeated members counts, as in the general check.
    for (const bool lastBlank : { false, true }) {
        writeFile(lastBlank ? R"({"sitesData":{"name":"Plant","name":""}})"
                            : R"({"sitesData":{"name":"","name":"Plant"}})");
        KeepingStore keeping(path_);
        ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument()).success);
        EXPECT_EQ(keeping.log.size(), lastBlank ? 1u : 0u);
        fs::remove(folder_ / "settings.json.unreadable-20261209T010203Z");
    }
    const auto judge = storedSitesJudge();
    EXPECT_FALSE(parseSettingsJudgingMember(
        R"({"sitesData":{"name":"A"},"sitesData":{"name":"B"}})", "sitesData", *judge));
}

// Files kept in the same second get names of their own; when no name is free the file stays
// and nothing is written.
TEST_F(SettingsStoreTest, KeptFilesNeverReplaceEachOtherAndAFileThatCannotBeKeptStays)
{
    KeepingStore keeping(path_);
    const auto stem = path_.string() + ".unreadable-20261209T010203Z";
    writeFile("{first");
    ASSERT_TRUE(keeping.store.saveSitesDocument(twoLevelDocument()).success);
    writeFile("{second");
    ASSERT_TRUE(keeping.store.markMigrationCompleted("Legacy data imported"));
    EXPECT_EQ(textOf(stem), "{first");
    EXPECT_EQ(textOf(stem + "-2"), "{second");

    for (int taken = 3; taken <= 100; ++taken)
        std::ofstream(stem + "-" + std::to_string(taken)) << "taken";
    writeFile("{third");
    const auto refused = keeping.store.saveSitesDocument(twoLevelDocument());
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.message, kUnusableSettingsNotKeptMessage);
    EXPECT_FALSE(keeping.store.markMigrationCompleted("Legacy data imported"));
    EXPECT_FALSE(keeping.store.writeSettings(json::object()));
    EXPECT_EQ(fileText(), "{third");
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));
    EXPECT_EQ(keeping.log.back(),
        "kovrkit: " + path_.string()
            + " holds no usable settings and could not be kept aside; it was not replaced");
}

// Where the file system has no hard links the bytes are copied; a copy that does not fit is
// removed again.
TEST_F(SettingsStoreTest, KeptCopyIsWholeOrAbsent)
{
    const std::string bytes(4096, 'b');
    const auto nowhere = (folder_ / "gone").string();
    const auto name
        = [this](int attempt) { return (folder_ / ("kept" + std::to_string(attempt))).string(); };
    std::ofstream(name(0)) << "taken";
    EXPECT_EQ(keepFileAside(nowhere, &bytes, name), name(1));
    EXPECT_EQ(textOf(name(1)), bytes);
    EXPECT_EQ(fs::status(name(1)).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(keepFileAside(nowhere, nullptr, name), std::nullopt);
    {
        FileSizeCap cap(1024);
        EXPECT_EQ(keepFileAside(nowhere, &bytes, name), std::nullopt);
    }
    EXPECT_FALSE(fs::exists(name(2)));
}

TEST_F(SettingsStoreTest, FailedWritesKeepTheOldFile)
{
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    const auto before = fileText();
    {
        FileSizeCap cap(64);
        EXPECT_FALSE(store().saveSitesDocument(twoLevelDocument("Other")).success);
        EXPECT_FALSE(store().markMigrationCompleted("Legacy data imported"));
    }
    EXPECT_EQ(fileText(), before);
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));

    fs::create_directory(temporarySettingsPath(path_));
    EXPECT_FALSE(store().saveSitesDocument(twoLevelDocument("Other")).success);
    EXPECT_EQ(fileText(), before);
}

TEST_F(SettingsStoreTest, ReplacementKeepsTheFilePermissions)
{
    writeFile("{}");
    fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(store().saveSitesDocument(twoLevelDocument()).success);
    EXPECT_EQ(fs::status(path_).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(SettingsStoreTest, SymlinkedTemporaryFileIsNeverWrittenThrough)
{
    const auto victim = folder_ / "victim";
    std::ofstream(victim) << "precious";
    fs::create_symlink(victim, temporarySettingsPath(path_));
    EXPECT_FALSE(store().saveSitesDocument(twoLevelDocument()).success);
    std::ifstream in(victim);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "precious");
}

// Several writers at once, as two copies of the host would be: every save and record must
// land whole, and the last word on each member must be one of the written values.
TEST_F(SettingsStoreTest, InterleavedWritersNeverLoseTheFile)
{
    constexpr int kRounds = 40;
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 3; ++writer)
        writers.emplace_back([this, writer] {
            for (int round = 0; round < kRounds; ++round)
                ASSERT_TRUE(store()
                                .saveSitesDocument(twoLevelDocument("W" + std::to_string(writer)))
                                .success);
        });
    writers.emplace_back([this] {
        for (int round = 0; round < kRounds; ++round)
            ASSERT_TRUE(store().markMigrationCompleted("round " + std::to_string(round)));
    });
    writers.emplace_back([this] {
        for (int round = 0; round < kRounds * 4; ++round) {
            const auto settings = store().readSettings();
            ASSERT_TRUE(settings) << "a reader saw a partial file";
        }
    });
    for (auto& thread : writers)
        thread.join();
    const auto settings = fileJson();
    EXPECT_EQ(settings["legacyMigration"]["status"], "round " + std::to_string(kRounds - 1));
    const auto lastName = settings["sitesData"]["devices"][0]["name"].get<std::string>();
    EXPECT_TRUE(lastName == "W0" || lastName == "W1" || lastName == "W2") << lastName;
    EXPECT_FALSE(fs::exists(temporarySettingsPath(path_)));
}

} // namespace
} // namespace kovrkit
