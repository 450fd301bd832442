// Any bytes as one message from the UI page, handed to the bridge with every feature's commands
// behind it, as the host's start-up adds them. The sites tree lives in a "settings.json" of a
// scratch folder, emptied before each input; dialogs, the browser, device actions and the
// legacy flow are fakes. After the message the page asks for the sites tree and imports the
// CSV a fuzzed export may have written. Every reply is a JSON object naming its command, and
// the sites tree served is one a save accepts.
#include "fuzz/sites_expansion.h"
#include "host/actions/device_action_command_table.h"
#include "host/bridge/app_info_command_table.h"
#include "host/bridge/file_command_table.h"
#include "host/bridge/message_bridge.h"
#include "host/bridge/settings_sites_storage.h"
#include "host/bridge/sites_command_table.h"
#include "host/identity/app_identity.h"
#include "host/identity/origins.h"
#include "host/legacy/legacy_command_table.h"
#include "host/sites/sites_document.h"
#include "host/sites/sites_store.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_host_services.h"
#include "tests/fakes/fake_web_view.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

using namespace kovrkit;
using namespace kovrkit::testing;
using nlohmann::json;
namespace fs = std::filesystem;

void check(bool holds)
{
    if (!holds)
        std::abort();
}

class RecordingLegacyFlow final : public LegacyFlow {
public:
    void statusCheck() override { ++calls; }
    void migrate() override { ++calls; }
    void uninstall() override { ++calls; }
    int calls = 0;
};

// The scratch folder of this process, removed when it ends.
class Scratch {
public:
    Scratch()
        : folder_(fs::temp_directory_path() / ("kovru_fuzz_bridge_" + std::to_string(getpid())))
    {
        fs::create_directories(folder_);
    }
    ~Scratch()
    {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    fs::path file(const char* name) const { return folder_ / name; }

private:
    fs::path folder_;
};

const Scratch& scratch()
{
    static const Scratch folder;
    return folder;
}

// A sites tree to save that expands beyond what a fuzz run can afford.
bool savesAHugeTree(std::string_view message)
{
    const json parsed = json::parse(message, nullptr, false, false);
    if (!parsed.is_object())
        return false;
    const auto payload = parsed.find("payload");
    if (payload == parsed.end() || !payload->is_object())
        return false;
    const auto sitesData = payload->find("sitesData");
    return sitesData != payload->end() && kovru_fuzz::expandsBeyond(*sitesData, 20000);
}

void checkReply(const std::string& text)
{
    const json reply = json::parse(text, nullptr, false);
    check(reply.is_object());
    const auto command = reply.find("command");
    check(command != reply.end() && command->is_string());
    const auto payload = reply.find("payload");
    if (payload == reply.end() || !payload->is_object())
        return;
    if (command->get_ref<const std::string&>() == "sitesDataLoaded") {
        const auto sites = payload->find("sitesData");
        check(sites != payload->end() && isValidSitesDocument(*sites));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view message(reinterpret_cast<const char*>(data), size);
    if (savesAHugeTree(message))
        return 0;
    const fs::path settings = scratch().file("settings.json");
    const fs::path csv = scratch().file("sites.csv");
    std::error_code ignored;
    fs::remove(settings, ignored);
    fs::remove(csv, ignored);

    FakeDialogs dialogs;
    dialogs.paths = { csv.string(), csv.string(), csv.string() };
    FakeUrlOpener urlOpener;
    SitesStore store(settings);
    SettingsSitesStorage sites(store);
    FakeDeviceActions deviceActions;
    RecordingLegacyFlow legacyFlow;
    FakeWebView view;

    MessageBridge bridge { std::string(acceptedOrigin(false)) };
    bridge.addCommands(
        appInfoCommands(builtInIdentity(), bridge, [&legacyFlow] { legacyFlow.statusCheck(); }));
    bridge.addCommands(sitesCommands(sites, bridge));
    bridge.addCommands(fileCommands(dialogs, urlOpener, bridge));
    bridge.addCommands(deviceActionCommands(deviceActions, bridge));
    bridge.addCommands(legacyCommands(legacyFlow));
    bridge.beginWebViewCreation();
    bridge.attachWebView(&view);

    const std::string source(kAppStartUri);
    bridge.onWebMessage(source, message);
    bridge.onWebMessage(source, R"({"command":"getSitesData"})");
    bridge.onWebMessage(source, R"({"command":"sites_importCsv"})");

    check(bridge.pendingCount() == 0);
    for (const std::string& reply : view.posted)
        checkReply(reply);
    // The same bytes as the page's address: only the app's own pages are heard.
    if (isFromOrigin(message, kAppOrigin))
        check(message.starts_with(kAppOrigin));
    return 0;
}
