#include "fakes/fake_bridge_commands.h"
#include "fakes/fake_dialogs.h"
#include "fakes/fake_host_services.h"
#include "fakes/fake_temp_folder.h"
#include "fakes/fake_web_view.h"
#include "host/actions/unavailable_device_actions.h"
#include "host/app/answer_file_dialogs.h"
#include "host/app/host_claim.h"
#include "host/app/start_options.h"
#include "host/app/state_folders.h"
#include "host/app/ui_resource.h"
#include "host/bridge/message_bridge.h"
#include "host/identity/app_identity.h"
#include "host/platform/file_access.h"
#include "host/platform/program_paths.h"
#include "host/text/utf8_text.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>

using namespace kovrkit;
using namespace kovrkit::testing;
namespace fs = std::filesystem;

namespace {

TEST(AppIdentity, BuiltInTableAndCaptionRule)
{
    const AppIdentity& identity = builtInIdentity();
    EXPECT_EQ(readFileVersion(identity), "2.0.2.0");
    EXPECT_EQ(readVersionString(identity, "ProductName"), "TORVANE VELDIR Tool");
    EXPECT_EQ(readVersionString(identity, "InternalName"), "kovrkit");
    EXPECT_EQ(readVersionString(identity, ""), "");
    EXPECT_EQ(readVersionString(identity, "NoSuchKey"), "");
    EXPECT_EQ(windowCaption(identity), "TORVANE VELDIR Tool");

    AppIdentity other { { { "WindowTitle", "Site Tool" } }, "" };
    EXPECT_EQ(windowCaption(other), "Site Tool");
    EXPECT_EQ(readFileVersion(other), "0.0.0.0");
    EXPECT_EQ(windowCaption(AppIdentity {}), "TORVANE VELDIR Tool");
}

TEST(ProgramPaths, DirectoryOfCutsAtTheLastSeparator)
{
    EXPECT_EQ(directoryOf("/opt/kovrkit/kovrkit"), "/opt/kovrkit");
    EXPECT_EQ(directoryOf("C:\\tool\\kovrkit.exe"), "C:\\tool");
    EXPECT_EQ(directoryOf("kovrkit"), "kovrkit");
    EXPECT_FALSE(exeDirectory().empty());
    EXPECT_TRUE(fs::is_directory(exeDirectory()));
}

TEST(ProgramPaths, UiFolderBesideTheProgramThenInTheParentThenTheFirstCandidate)
{
    TempFolder folder;
    fs::create_directories(folder.path() / "bin");
    std::string program = folder.file("bin");
    EXPECT_EQ(resolveUiFolder(program), program + "/ui");

    fs::create_directories(folder.path() / "ui");
    EXPECT_EQ(resolveUiFolder(program), fs::canonical(folder.path() / "ui").string());

    fs::create_directories(folder.path() / "bin" / "ui");
    EXPECT_EQ(resolveUiFolder(program), program + "/ui");
}

TEST(StateFolders, BesideAWritableProgramElseInTheUsersFolders)
{
    StateFolderFacts facts { "/opt/kit", true, false, "/xdg/config", "/xdg/data", "/home/ann" };
    StateFolders beside = chooseStateFolders(facts);
    EXPECT_EQ(beside.settingsFolder, "/opt/kit");
    EXPECT_EQ(beside.webDataFolder, "/opt/kit/webview2_userdata");
    EXPECT_EQ(beside.logLine,
        "kovrkit: settings and web view data beside the program in /opt/kit (program folder "
        "writable)");

    // The package's marker wins over writability, so root never writes into the install.
    facts.installedMarker = true;
    StateFolders installed = chooseStateFolders(facts);
    EXPECT_EQ(installed.settingsFolder, "/xdg/config/kovrkit");
    EXPECT_EQ(installed.webDataFolder, "/xdg/data/kovrkit");
    EXPECT_EQ(installed.logLine,
        "kovrkit: settings in /xdg/config/kovrkit, web view data in /xdg/data/kovrkit "
        "(installed package)");

    // Relative or empty XDG values fall back to the defaults below the home folder.
    facts = { "/usr/lib/kit", false, false, "config", "", "/home/ann" };
    StateFolders readOnly = chooseStateFolders(facts);
    EXPECT_EQ(readOnly.settingsFolder, "/home/ann/.config/kovrkit");
    EXPECT_EQ(readOnly.webDataFolder, "/home/ann/.local/share/kovrkit");
    EXPECT_NE(readOnly.logLine.find("(program folder not writable)"), std::string::npos);

    facts.home.clear();
    EXPECT_EQ(chooseStateFolders(facts).settingsFolder, "/usr/lib/kit");
}

TEST(StartOptions, DevSwitchIsAPlainSubstringOfAnyArgument)
{
    const char* plain[] = { "kovrkit" };
    const char* dev[] = { "kovrkit", "--dev" };
    const char* inside[] = { "kovrkit", "x", "--developer" };
    const char* other[] = { "kovrkit", "-dev", "--DEV" };
    EXPECT_FALSE(hasDevSwitch(1, plain));
    EXPECT_TRUE(hasDevSwitch(2, dev));
    EXPECT_TRUE(hasDevSwitch(3, inside));
    EXPECT_FALSE(hasDevSwitch(3, other));
    EXPECT_EQ(startUri(true), "http://localhost:5173/");
    EXPECT_EQ(startUri(false), "kovrkit://app/index.html");
    EXPECT_EQ(acceptedOrigin(true), "http://localhost:5173");
    EXPECT_EQ(acceptedOrigin(false), "kovrkit://app");
}

class UiResourceTest : public ::testing::Test {
protected:
    UiResourceTest()
    {
        fs::create_directories(folder.path() / "ui" / "assets");
        folder.write("ui/index.html", "<html>");
        folder.write("ui/assets/app.js", "js");
        folder.write("ui/assets/index.html", "inner");
        folder.write("ui/a b.css", "css");
        folder.write("secret.txt", "secret");
        ui = folder.file("ui");
    }
    std::optional<std::string> resolve(std::string_view path)
    {
        return resolveUiResource(ui, path);
    }

    TempFolder folder;
    std::string ui;
};

TEST_F(UiResourceTest, ServesFilesAndFolderIndexes)
{
    std::string root = fs::canonical(ui).string();
    EXPECT_EQ(resolve("/index.html"), root + "/index.html");
    EXPECT_EQ(resolve("/"), root + "/index.html");
    EXPECT_EQ(resolve(""), root + "/index.html");
    EXPECT_EQ(resolve("/assets/"), root + "/assets/index.html");
    EXPECT_EQ(resolve("//assets/./app.js"), root + "/assets/app.js");
    EXPECT_EQ(resolve("/a%20b.css"), root + "/a b.css");
    EXPECT_EQ(resolve("/%61ssets/app.js"), root + "/assets/app.js");
    EXPECT_FALSE(resolve("/missing.js"));
}

TEST_F(UiResourceTest, NeverServesAnythingOutsideTheFolder)
{
    fs::create_symlink(folder.file("secret.txt"), folder.path() / "ui" / "link.txt");
    fs::create_directory_symlink(folder.path(), folder.path() / "ui" / "up");
    for (const char* escape : { "/../secret.txt", "/assets/../../secret.txt", "/%2e%2e/secret.txt",
             "/%2E%2E/secret.txt", "/assets/%2e%2e/%2e%2e/secret.txt", "/..%2fsecret.txt",
             "/link.txt", "/up/secret.txt", "/index.html%00.js", "/%zz", "/%2", "/assets/.." }) {
        EXPECT_FALSE(resolve(escape)) << escape;
    }
    EXPECT_FALSE(resolveUiResource(folder.file("no-such-folder"), "/index.html"));
}

TEST(UiResource, ContentTypesByExtension)
{
    EXPECT_EQ(contentTypeFor("/x/index.html"), "text/html");
    EXPECT_EQ(contentTypeFor("/x/app.js"), "text/javascript");
    EXPECT_EQ(contentTypeFor("/x/style.css"), "text/css");
    EXPECT_EQ(contentTypeFor("/x/icon.svg"), "image/svg+xml");
    EXPECT_EQ(contentTypeFor("/x/blob"), "application/octet-stream");
}

TEST(AnswerFileDialogs, AnswersInOrderAndCancelsWhenExhausted)
{
    TempFolder folder;
    folder.write("answers.json", R"(["/tmp/out.csv", "", "yes", "no", 7, "/srv", "YES"])");
    AnswerFileDialogs dialogs = AnswerFileDialogs::fromFile(folder.file("answers.json"));
    EXPECT_EQ(dialogs.chooseSaveFile({}), "/tmp/out.csv");
    EXPECT_FALSE(dialogs.chooseOpenFile({}));
    EXPECT_TRUE(dialogs.askYesNo("t", "q", false));
    EXPECT_FALSE(dialogs.askYesNo("t", "q", true));
    EXPECT_FALSE(dialogs.chooseFolder("t"));
    EXPECT_EQ(dialogs.chooseFolder("t"), "/srv");
    EXPECT_FALSE(dialogs.askYesNo("t", "q", true));
    EXPECT_FALSE(dialogs.chooseOpenFile({}));
    EXPECT_FALSE(dialogs.askYesNo("t", "q", true));

    folder.write("broken.json", R"({"not":"an array"})");
    EXPECT_FALSE(AnswerFileDialogs::fromFile(folder.file("broken.json")).chooseOpenFile({}));
    EXPECT_FALSE(AnswerFileDialogs::fromFile(folder.file("absent.json")).chooseOpenFile({}));
}

TEST(FileReplace, ReplacesWholeKeepsModeAndLeavesNoTemporaryFile)
{
    TempFolder folder;
    std::string path = folder.file("data.txt");
    ASSERT_TRUE(replaceFileAtomically(path, "first version, long"));
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(replaceFileAtomically(path, "second"));
    EXPECT_EQ(folder.read("data.txt"), "second");
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
        fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder.path()), {}), 1);

    EXPECT_FALSE(replaceFileAtomically(folder.file("no/such/dir.txt"), "x"));
    std::string read;
    EXPECT_TRUE(readWholeFile(path, read, 6));
    EXPECT_EQ(read, "second");
    EXPECT_FALSE(readWholeFile(folder.file("absent"), read, 6));
    EXPECT_EQ(read, "second");
}

// Every file the host reads has a limit, checked while it is read; anything but a regular file
// is refused at once (a FIFO would otherwise keep the host waiting for a writer).
TEST(FileRead, LimitAndRegularFilesOnly)
{
    TempFolder folder;
    const std::string path = folder.file("data.txt");
    ASSERT_TRUE(replaceFileAtomically(path, "12345"));
    std::string read = "old";
    std::string refusal;
    EXPECT_FALSE(readWholeFile(path, read, 4, &refusal));
    EXPECT_EQ(refusal, "more than 4 bytes");
    EXPECT_EQ(read, "old");
    EXPECT_TRUE(readWholeFile(path, read, 5));
    EXPECT_EQ(read, "12345");

    const std::string fifo = folder.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(readWholeFile(fifo, read, 5, &refusal));
    EXPECT_EQ(refusal, "not a regular file");
    EXPECT_FALSE(readWholeFile("/dev/zero", read, kSettingsFileLimit, &refusal));
    EXPECT_EQ(refusal, "not a regular file");
    EXPECT_FALSE(readWholeFile(folder.path().string(), read, 5, &refusal));

    // The dialog-answer file over its limit cancels every dialog instead of being read.
    ASSERT_TRUE(
        replaceFileAtomically(path, "[\"/a\"" + std::string(kDialogAnswersLimit, ' ') + "]"));
    AnswerFileDialogs dialogs = AnswerFileDialogs::fromFile(path);
    EXPECT_EQ(dialogs.chooseOpenFile({}), std::nullopt);
}

TEST(FileReplace, SymlinkedTemporaryFileIsNeverWrittenThrough)
{
    TempFolder folder;
    folder.write("victim", "precious");
    fs::create_symlink(folder.file("victim"), folder.file("sites.csv.tmp"));
    EXPECT_FALSE(replaceFileAtomically(folder.file("sites.csv"), "x"));
    EXPECT_EQ(folder.read("victim"), "precious");
    EXPECT_FALSE(fileExists(folder.file("sites.csv")));
}

std::string appendedUtf8(std::string_view text, std::size_t expectedUsed)
{
    std::string out = "<";
    EXPECT_EQ(appendUtf8SequenceOrReplacement(out, text), expectedUsed) << text;
    return out;
}

TEST(Utf8Text, CopiesWellFormedSequencesWhole)
{
    EXPECT_EQ(appendedUtf8("a\xC3\xA9", 1), "<a");
    EXPECT_EQ(appendedUtf8("\xC3\xA9z", 2), "<\xC3\xA9");
    EXPECT_EQ(appendedUtf8("\xE2\x82\xAC", 3), "<\xE2\x82\xAC");
    EXPECT_EQ(appendedUtf8("\xED\x9F\xBF", 3), "<\xED\x9F\xBF");
    EXPECT_EQ(appendedUtf8("\xF0\x9F\x98\x80", 4), "<\xF0\x9F\x98\x80");
    EXPECT_EQ(appendedUtf8("\xF4\x8F\xBF\xBF", 4), "<\xF4\x8F\xBF\xBF");
    EXPECT_EQ(appendedUtf8("", 0), "<");
}

TEST(Utf8Text, ReplacesOneByteThatStartsNoWellFormedSequence)
{
    const std::string replaced = "<\xEF\xBF\xBD";
    EXPECT_EQ(appendedUtf8("\x80", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xC0\xAF", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xC3", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xC3z", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xE0\x9F\xBF", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xED\xA0\x80", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xE2\x82", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xF0\x8F\xBF\xBF", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xF4\x90\x80\x80", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xF5\x80\x80\x80", 1), replaced);
    EXPECT_EQ(appendedUtf8("\xF0\x9F\x98z", 1), replaced);
}

// The build without the action runner still answers every device command, and status
// results travel as tasks posted to the main loop.
class UnavailableActionsTest : public ::testing::Test {
protected:
    UnavailableActionsTest()
    {
        bridge.attachWebView(&view);
        addAllCommands(bridge, { identity, dialogs, opener, sites, &actions });
        bridge.onWebMessage("kovrkit://app/", R"({"command":"ui_ready"})");
    }

    // Runs the posted tasks as the main loop would, once `attempts` posts were made in all.
    void deliverPostedRecords(size_t attempts, size_t expected)
    {
        auto posted = poster.takeAfterAttempts(attempts);
        ASSERT_EQ(posted.size(), expected);
        for (auto& task : posted)
            task();
    }

    AppIdentity identity;
    FakeDialogs dialogs;
    FakeUrlOpener opener;
    FakeSitesStorage sites;
    FakeWebView view;
    MessageBridge bridge { "kovrkit://app" };
    FakeMainLoopPoster poster;
    UnavailableDeviceActions actions { bridge, poster };
};

TEST_F(UnavailableActionsTest, BatchesAreDeduplicatedAndSummarised)
{
    bridge.onWebMessage(
        "kovrkit://app/", R"({"command":"native_actionBackup","payload":{"ipsCsv":"a,b,a"}})");
    bridge.onWebMessage(
        "kovrkit://app/", R"({"command":"native_actionRestore","payload":{"ip":"  "}})");
    ASSERT_EQ(view.commands(),
        std::vector<std::string>({ "nativeActionResult", "nativeActionResult",
            "nativeActionBatchSummary", "nativeActionResult" }));
    EXPECT_EQ(view.payloadAt(0)["message"], kActionUnavailableMessage);
    EXPECT_EQ(view.payloadAt(1)["deviceIp"], "b");
    EXPECT_EQ(view.payloadAt(2),
        nlohmann::json::parse(
            R"({"action":"native_actionBackup","total":2,"succeeded":0,"failed":2})"));
    EXPECT_EQ(view.payloadAt(3)["message"], "Missing device IP");
}

TEST_F(UnavailableActionsTest, StatusResultsArriveThroughPostedTasks)
{
    bridge.onWebMessage(
        "kovrkit://app/", R"({"command":"native_actionGetStatus","payload":{"ipsCsv":"x, y ,x"}})");
    deliverPostedRecords(3, 3);
    ASSERT_EQ(view.commands(),
        std::vector<std::string>(
            { "nativeActionResult", "nativeActionResult", "nativeActionBatchSummary" }));
    EXPECT_EQ(view.payloadAt(1)["deviceIp"], "y");
    EXPECT_EQ(view.payloadAt(2)["total"], 2);

    bridge.onWebMessage(
        "kovrkit://app/", R"({"command":"native_actionGetStatus","payload":{"ip":""}})");
    deliverPostedRecords(4, 1);
    EXPECT_EQ(view.payloadAt(3)["message"], "Missing device IP");
}

TEST_F(UnavailableActionsTest, RefusedPostsFreeTheirTasks)
{
    poster.accepts = false;
    bridge.onWebMessage(
        "kovrkit://app/", R"({"command":"native_actionGetStatus","payload":{"ipsCsv":"x,y"}})");
    EXPECT_TRUE(poster.takeAfterAttempts(3).empty());
    EXPECT_TRUE(view.posted.empty());
}

} // namespace

namespace {

std::string readFileText(const std::string& path)
{
    std::string text;
    return readWholeFile(path, text, 4096) ? text : std::string();
}

// A later start on any folder the running host holds asks it for its window and never runs
// beside it; it lets go of the folders it claimed before it asked, and the folders are free
// again once the host is gone. A holder that does not answer (hung, or an older program) makes
// the start refuse; the file of a host that died locks nothing.
TEST(HostClaim, OneHostPerStateFolder)
{
    TempFolder settings, web, other;
    const auto lockIn = [](const TempFolder& folder) { return folder.file(kHostLockName); };
    std::optional<HostClaim> first
        = HostClaim::claim({ settings.path().string(), web.path().string(), web.path().string() });
    ASSERT_EQ(first->outcome(), HostClaim::Outcome::claimed);
    ASSERT_GE(first->askFd(), 0);

    int asks = 0;
    std::atomic<bool> done = false;
    std::thread host([&] {
        while (!done) {
            pollfd wait { first->askFd(), POLLIN, 0 };
            if (::poll(&wait, 1, 50) > 0)
                first->answerAsks([&asks] { ++asks; });
        }
    });
    const HostClaim second = HostClaim::claim({ other.path().string(), web.path().string() });
    done = true;
    host.join();
    EXPECT_EQ(second.outcome(), HostClaim::Outcome::presented);
    EXPECT_EQ(second.heldFolder(), web.path().string());
    EXPECT_EQ(asks, 1);
    EXPECT_EQ(presentedMessage(second.heldFolder()),
        "kovrkit: another kovrkit is already running on the state folder " + web.path().string()
            + "; its window was brought to the front");
    EXPECT_EQ(HostClaim::claim({ other.path().string() }).outcome(), HostClaim::Outcome::claimed);

    // Held by a process that does not answer: its socket is gone, its lock is not.
    const std::string held = readFileText(lockIn(settings));
    first.reset();
    {
        kovru::UniqueFd hung(::open(lockIn(settings).c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_EQ(::flock(hung.get(), LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(readFileText(lockIn(settings)), held);
        const HostClaim refused = HostClaim::claim({ settings.path().string() });
        EXPECT_EQ(refused.outcome(), HostClaim::Outcome::refused);
        EXPECT_EQ(refusedMessage(refused.heldFolder()),
            "kovrkit: another kovrkit is already running on the state folder "
                + settings.path().string()
                + " and did not answer; close it before starting kovrkit again");
    }
    const HostClaim after = HostClaim::claim({ settings.path().string(), web.path().string() });
    EXPECT_EQ(after.outcome(), HostClaim::Outcome::claimed);
    EXPECT_NE(readFileText(lockIn(settings)), held);
}

} // namespace
