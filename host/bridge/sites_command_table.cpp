#include "host/bridge/sites_command_table.h"

#include "host/bridge/outgoing_messages.h"

namespace kovrkit {

static SaveOutcome saveSitesData(SitesStorage& sites, const nlohmann::json& payload)
{
    auto sitesData = payload.find("sitesData");
    if (sitesData == payload.end() || !sitesData->is_object())
        return { false, std::string(kUnsavedSitesMessage), true };
    return sites.saveSitesDocument(*sitesData);
}

CommandTable sitesCommands(SitesStorage& sites, UiReplySink& sink)
{
    return {
        { "getSitesData",
            [&sites, &sink](const nlohmann::json&) {
                LoadedSites loaded = sites.loadSites();
                sink.sendToUi(sitesDataLoadedMessage(loaded.document, loaded.notice));
            } },
        { "setSitesData",
            [&sites, &sink](const nlohmann::json& payload) {
                SaveOutcome result = saveSitesData(sites, payload);
                sink.sendToUi(sitesDataSavedMessage(result.success, result.message));
            } },
    };
}

} // namespace kovrkit
