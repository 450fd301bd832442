#include "host/bridge/message_bridge.h"

#include "host/app/start_options.h"
#include "host/bridge/file_commands.h"
#include "host/bridge/outgoing_messages.h"
#include "host/bridge/payload.h"

namespace kovrkit {

using nlohmann::json;

MessageBridge::MessageBridge(std::string acceptedOrigin, Services services)
    : acceptedOrigin_(std::move(acceptedOrigin))
    , services_(services)
{
}

void MessageBridge::beginWebViewCreation()
{
    uiReady_ = false;
    pendingMessages_.clear();
}

void MessageBridge::sendToUi(std::string json)
{
    if (!webView_)
        return;
    if (uiReady_)
        webView_->postMessageJson(json);
    else
        pendingMessages_.push_back(std::move(json));
}

void MessageBridge::flushPending()
{
    if (!webView_ || !uiReady_)
        return;
    // A reply posted while flushing goes straight out, so take the queue first.
    std::deque<std::string> queued;
    queued.swap(pendingMessages_);
    for (const std::string& message : queued)
        webView_->postMessageJson(message);
}

void MessageBridge::onWebMessage(std::string_view sourceUri, std::string_view messageJson) noexcept
{
    try {
        if (!isFromOrigin(sourceUri, acceptedOrigin_))
            return;
        json message = json::parse(messageJson, nullptr, false, false);
        if (message.is_discarded() || !message.is_object())
            return;
        auto command = message.find("command");
        if (command == message.end() || !command->is_string())
            return;
        auto payloadMember = message.find("payload");
        json payload = (payloadMember != message.end() && payloadMember->is_object())
            ? *payloadMember
            : json::object();

        if (!uiReady_) {
            uiReady_ = true;
            flushPending();
        }
        dispatch(command->get<std::string>(), payload);
    } catch (...) {
        // Nothing may leave the web view's callback; the command simply ends here.
    }
}

void MessageBridge::dispatch(const std::string& command, const json& payload)
{
    if (command == "ui_ready")
        return;
    if (command == "getAppInfo")
        return sendAppInfo();
    if (command == "getSitesData")
        return getSitesData();
    if (command == "setSitesData")
        return setSitesData(payload);
    if (command == "sites_exportCsv")
        return exportCsv(payload);
    if (command == "sites_importCsv")
        return importCsv();
    if (command == "openExternalUrl")
        return openUrl(payload);
    if (command == "native_actionBackup" || command == "native_actionRestore"
        || command == "native_actionFirmwareUpgrade" || command == "native_actionGetStatus")
        return routeDeviceAction(command, payload);
    if (command == "legacy_migrate")
        return runLegacy(&LegacyFlow::migrate);
    if (command == "legacy_getStatus")
        return runLegacy(&LegacyFlow::statusCheck);
    if (command == "legacy_uninstall")
        return runLegacy(&LegacyFlow::uninstall);
}

void MessageBridge::sendAppInfo()
{
    const AppIdentity& identity = services_.identity;
    AppInfo info;
    info.version = readFileVersion(identity);
    info.productName = readVersionString(identity, "ProductName");
    info.windowTitle = readVersionString(identity, "WindowTitle");
    info.copyright = readVersionString(identity, "LegalCopyright");
    info.website = readVersionString(identity, "Website");
    if (info.windowTitle.empty())
        info.windowTitle = info.productName;
    sendToUi(appInfoLoadedMessage(info));
    runLegacy(&LegacyFlow::statusCheck);
}

void MessageBridge::getSitesData()
{
    sendToUi(sitesDataLoadedMessage(services_.sites.loadSitesDocument()));
}

void MessageBridge::setSitesData(const json& payload)
{
    auto sitesData = payload.find("sitesData");
    bool saved = false;
    if (sitesData != payload.end() && sitesData->is_object())
        saved = services_.sites.saveSitesDocument(
            sitesData->dump(-1, ' ', false, json::error_handler_t::replace));
    sendToUi(sitesDataSavedMessage(saved));
}

void MessageBridge::exportCsv(const json& payload)
{
    CommandOutcome outcome
        = exportSitesCsv(services_.dialogs, getPayloadString(payload, "csvContent"));
    sendToUi(sitesCsvExportedMessage(outcome.success, outcome.message, outcome.value));
}

void MessageBridge::importCsv()
{
    CommandOutcome outcome = importSitesCsv(services_.dialogs);
    sendToUi(sitesCsvImportedMessage(outcome.success, outcome.message, outcome.value));
}

void MessageBridge::openUrl(const json& payload)
{
    CommandOutcome outcome = openExternalUrl(services_.urlOpener, getPayloadString(payload, "url"));
    sendToUi(openExternalUrlResultMessage(outcome.success, outcome.message));
}

void MessageBridge::routeDeviceAction(const std::string& action, const json& payload)
{
    if (!deviceActions_)
        return;
    bool isStatus = action == "native_actionGetStatus";
    std::string ipsCsv = getPayloadString(payload, "ipsCsv");
    if (ipsCsv.empty()) {
        std::string address = getPayloadString(payload, "ip");
        if (isStatus)
            deviceActions_->startStatus({ address }, false);
        else
            deviceActions_->runSingle(action, address);
        return;
    }
    std::vector<std::string> addresses = parseIpList(ipsCsv);
    if (addresses.empty()) {
        postActionResult(action, false, -1, "Missing device IP", "", "");
        return;
    }
    if (isStatus)
        deviceActions_->startStatus(addresses, addresses.size() > 1);
    else if (addresses.size() == 1)
        deviceActions_->runSingle(action, addresses.front());
    else
        deviceActions_->runBatch(action, addresses);
}

void MessageBridge::runLegacy(void (LegacyFlow::*step)())
{
    if (legacyFlow_)
        (legacyFlow_->*step)();
}

void MessageBridge::postActionResult(const std::string& action, bool success, int32_t exitCode,
    const std::string& message, const std::string& deviceIp, const std::string& data)
{
    sendToUi(nativeActionResultMessage(action, success, exitCode, message, deviceIp, data));
}

void MessageBridge::postBatchSummary(
    const std::string& action, int32_t total, int32_t succeeded, int32_t failed)
{
    sendToUi(nativeActionBatchSummaryMessage(action, total, succeeded, failed));
}

} // namespace kovrkit
