#include "host/actions/action_runner.h"
#include "host/actions/device_action_command_table.h"
#include "host/actions/device_action_service.h"
#include "host/actions/status_batches.h"
#include "host/actions/tool_command.h"
#include "host/app/answer_file_dialogs.h"
#include "host/app/gtk/gio_url_opener.h"
#include "host/app/gtk/glib_process_launcher.h"
#include "host/app/gtk/gtk_dialogs.h"
#include "host/app/gtk/job_close_guard.h"
#include "host/app/gtk/main_window.h"
#include "host/app/gtk/webkit_view.h"
#include "host/app/host_claim.h"
#include "host/app/posix/state_folders_posix.h"
#include "host/app/start_options.h"
#include "host/backups/backup_library.h"
#include "host/backups/library_location.h"
#include "host/bridge/app_info_command_table.h"
#include "host/bridge/file_command_table.h"
#include "host/bridge/message_bridge.h"
#include "host/bridge/settings_sites_storage.h"
#include "host/bridge/sites_command_table.h"
#include "host/discovery/discovery_service.h"
#include "host/history/history_command_table.h"
#include "host/history/history_service.h"
#include "host/identity/app_identity.h"
#include "host/jobs/job_command_table.h"
#include "host/jobs/job_device_runner.h"
#include "host/jobs/job_engine.h"
#include "host/jobs/status_device_runner.h"
#include "host/jobs/tool_device_runner.h"
#include "host/legacy/legacy_command_table.h"
#include "host/legacy/legacy_migration_flow.h"
#include "host/legacy/posix/glib_process_starter.h"
#include "host/legacy/posix/wine_prefix_locations.h"
#include "host/platform/glib/glib_child_processes.h"
#include "host/platform/glib/glib_main_loop_poster.h"
#include "host/platform/program_paths.h"
#include "host/sites/sites_store.h"

#include <curl/curl.h>
#include <glib-unix.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace kovrkit;

static constexpr const char* kWebViewFailedMessage
    = "Failed to initialize the web view engine.\n"
      "Ensure either:\n"
      "- WebKitGTK 4.1 is installed on this machine, or\n"
      "- a graphical session is available.";

static std::unique_ptr<Dialogs> chooseDialogs(GtkWindow* window)
{
    const char* answers = std::getenv(kDialogAnswersVariable);
    if (answers && *answers)
        return std::make_unique<AnswerFileDialogs>(AnswerFileDialogs::fromFile(answers));
    return std::make_unique<GtkDialogs>(window);
}

static gboolean closeOnSignal(gpointer window)
{
    gtk_window_close(GTK_WINDOW(window));
    return G_SOURCE_CONTINUE;
}

struct AskWatch {
    const HostClaim* claim;
    GtkWindow* window;
};

static gboolean answerLaterStarts(gint, GIOCondition, gpointer data)
{
    auto* watch = static_cast<AskWatch*>(data);
    watch->claim->answerAsks([window = watch->window] {
        gtk_window_deiconify(window);
        gtk_window_present_with_time(window, GDK_CURRENT_TIME);
        std::fprintf(
            stderr, "kovrkit: a second start asked for this window; brought it to the front\n");
    });
    return G_SOURCE_CONTINUE;
}

int main(int argc, char** argv)
{
    g_set_prgname("kovrkit");
    std::string programDirectory = exeDirectory();
    StateFolders stateFolders = chooseStateFolders(readStateFolderFacts(programDirectory));
    createStateFolders(stateFolders);
    // A second start never runs beside the first, and needs no display to say so.
    HostClaim hostClaim
        = HostClaim::claim({ stateFolders.settingsFolder, stateFolders.webDataFolder });
    if (hostClaim.outcome() == HostClaim::Outcome::presented) {
        std::fprintf(stderr, "%s\n", presentedMessage(hostClaim.heldFolder()).c_str());
        return 0;
    }
    if (hostClaim.outcome() == HostClaim::Outcome::refused) {
        std::fprintf(stderr, "%s\n", refusedMessage(hostClaim.heldFolder()).c_str());
        return 1;
    }
    curl_global_init(CURL_GLOBAL_ALL);
    if (!gtk_init_check(&argc, &argv)) {
        std::fprintf(stderr, "kovrkit: no graphical display is available\n");
        return 1;
    }
    const AppIdentity& identity = builtInIdentity();
    std::string caption = windowCaption(identity);
    GtkWindow* window = createMainWindow(caption);
    std::fprintf(stderr, "%s\n", stateFolders.logLine.c_str());
    AskWatch askWatch { &hostClaim, window };
    if (hostClaim.askFd() >= 0)
        g_unix_fd_add(hostClaim.askFd(), G_IO_IN, answerLaterStarts, &askWatch);
    std::string uiFolder = resolveUiFolder(programDirectory);
    bool devMode = hasDevSwitch(argc, argv);

    std::unique_ptr<Dialogs> dialogs = chooseDialogs(window);
    GioUrlOpener urlOpener;
    SitesStore store(settingsPathIn(stateFolders.settingsFolder),
        { {}, [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); } });
    if (const auto kept = store.unusableSettingsKeptPath())
        std::fprintf(stderr, "kovrkit: %s\n",
            unreadableSettingsNotice(store.settingsPath().string(), *kept).c_str());
    SettingsSitesStorage sites(store);
    MessageBridge bridge { std::string(acceptedOrigin(devMode)) };
    GLibMainLoopPoster poster;
    GLibProcessLauncher launcher(GTK_WIDGET(window));
    ActionRunner runner(*dialogs, launcher, bridge, toolPathIn(programDirectory));
    StatusBatches statusBatches(poster, bridge);
    DeviceActionService deviceActions(runner, statusBatches);
    GLibChildProcesses childProcesses;
    std::optional<std::filesystem::path> libraryRoot = backupLibraryRoot();
    std::unique_ptr<BackupLibrary> backupLibrary = libraryRoot
        ? std::make_unique<BackupLibrary>(
            *libraryRoot, store.backupRetention().value_or(kDefaultBackupRetention))
        : nullptr;
    ToolDeviceRunner toolDevices(childProcesses, toolPathIn(programDirectory), backupLibrary.get());
    StatusDeviceRunner statusDevices(poster);
    JobDeviceRunner jobDevices(toolDevices, statusDevices);
    JobEngine jobs(jobDevices, bridge);
    JobCloseGuard jobCloseGuard(window, jobs, *dialogs, caption);
    HistoryService history(libraryRoot, childProcesses,
        { toolPathIn(programDirectory), programDirectory + "/kovru-sim" }, bridge);
    DiscoveryService discovery(poster, bridge, store);
    GLibProcessStarter processStarter;
    LegacyMigrationFlow legacyFlow(
        [&bridge](std::string message) { bridge.sendToUi(std::move(message)); }, *dialogs, store,
        winePrefixLocations(), processStarter);
    bridge.addCommands(
        appInfoCommands(identity, bridge, [&legacyFlow] { legacyFlow.statusCheck(); }));
    bridge.addCommands(sitesCommands(sites, bridge));
    bridge.addCommands(fileCommands(*dialogs, urlOpener, bridge));
    bridge.addCommands(deviceActionCommands(deviceActions, bridge));
    bridge.addCommands(legacyCommands(legacyFlow));
    bridge.addCommands(historyCommands(history, bridge));
    bridge.addCommands(jobCommands(jobs, *dialogs, bridge,
        { [&store] { return store.jobConcurrency(); },
            [&store](int concurrency) { return store.saveJobConcurrency(concurrency); } }));
    bridge.addCommands(discoveryCommands(discovery));

    bridge.beginWebViewCreation();
    WebViewConfig config { uiFolder, devMode, stateFolders.webDataFolder };
    std::unique_ptr<WebKitView> webView = WebKitView::create(
        window, config, [&bridge](std::string_view source, std::string_view message) {
            bridge.onWebMessage(source, message);
        });
    if (!webView) {
        dialogs->showError(caption, kWebViewFailedMessage);
        g_signal_handlers_disconnect_by_func(
            window, reinterpret_cast<gpointer>(gtk_main_quit), nullptr);
        gtk_widget_destroy(GTK_WIDGET(window));
        return 1;
    }
    bridge.attachWebView(webView.get());

    g_unix_signal_add(SIGTERM, closeOnSignal, window);
    g_unix_signal_add(SIGINT, closeOnSignal, window);
    gtk_main();
    bridge.attachWebView(nullptr);
    return 0;
}
