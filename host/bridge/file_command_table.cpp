#include "host/bridge/file_command_table.h"

#include "host/bridge/file_commands.h"
#include "host/bridge/outgoing_messages.h"
#include "host/bridge/payload.h"

namespace kovrkit {

CommandTable fileCommands(Dialogs& dialogs, UrlOpener& urlOpener, UiReplySink& sink)
{
    return {
        { "sites_exportCsv",
            [&dialogs, &sink](const nlohmann::json& payload) {
                CommandOutcome outcome
                    = exportSitesCsv(dialogs, getPayloadString(payload, "csvContent"));
                sink.sendToUi(
                    sitesCsvExportedMessage(outcome.success, outcome.message, outcome.value));
            } },
        { "sites_importCsv",
            [&dialogs, &sink](const nlohmann::json&) {
                CommandOutcome outcome = importSitesCsv(dialogs);
                sink.sendToUi(
                    sitesCsvImportedMessage(outcome.success, outcome.message, outcome.value));
            } },
        { "openExternalUrl",
            [&urlOpener, &sink](const nlohmann::json& payload) {
                CommandOutcome outcome
                    = openExternalUrl(urlOpener, getPayloadString(payload, "url"));
                sink.sendToUi(openExternalUrlResultMessage(outcome.success, outcome.message));
            } },
    };
}

} // namespace kovrkit
