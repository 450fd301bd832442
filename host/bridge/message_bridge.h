#pragma once

#include "host/app/app_identity.h"
#include "host/app/dialogs.h"
#include "host/app/url_opener.h"
#include "host/app/web_view_port.h"
#include "host/bridge/host_services.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kovrkit {

// Receives the UI's messages, checks their origin, decodes and dispatches them, and sends
// every reply, queueing replies until the UI has said it listens. UI thread only.
class MessageBridge {
public:
    struct Services {
        const AppIdentity& identity;
        Dialogs& dialogs;
        UrlOpener& urlOpener;
        SitesStorage& sites;
    };

    MessageBridge(std::string acceptedOrigin, Services services);

    void setDeviceActions(DeviceActions* actions) { deviceActions_ = actions; }
    void setLegacyFlow(LegacyFlow* legacy) { legacyFlow_ = legacy; }

    // Web view creation begins: the UI is not ready and nothing is queued. Messages sent
    // before a web view is attached are dropped.
    void beginWebViewCreation();
    void attachWebView(WebViewPort* webView) { webView_ = webView; }

    // One message from the page at `sourceUri`; never throws.
    void onWebMessage(std::string_view sourceUri, std::string_view messageJson) noexcept;

    void sendToUi(std::string json);
    void flushPending();

    void postActionResult(const std::string& action, bool success, int32_t exitCode,
        const std::string& message, const std::string& deviceIp, const std::string& data);
    void postBatchSummary(
        const std::string& action, int32_t total, int32_t succeeded, int32_t failed);

    bool uiReady() const { return uiReady_; }
    size_t pendingCount() const { return pendingMessages_.size(); }

private:
    void dispatch(const std::string& command, const nlohmann::json& payload);
    void sendAppInfo();
    void getSitesData();
    void setSitesData(const nlohmann::json& payload);
    void exportCsv(const nlohmann::json& payload);
    void importCsv();
    void openUrl(const nlohmann::json& payload);
    void routeDeviceAction(const std::string& action, const nlohmann::json& payload);
    void runLegacy(void (LegacyFlow::*step)());

    std::string acceptedOrigin_;
    Services services_;
    DeviceActions* deviceActions_ = nullptr;
    LegacyFlow* legacyFlow_ = nullptr;
    WebViewPort* webView_ = nullptr;
    bool uiReady_ = false;
    std::deque<std::string> pendingMessages_;
};

} // namespace kovrkit
