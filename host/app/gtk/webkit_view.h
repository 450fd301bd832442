#pragma once

#include "common/glib_handles.h"
#include "host/platform/web_view_port.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

namespace kovrkit {

struct WebViewConfig {
    std::string uiFolder; // served under kovrkit://app
    bool devMode = false; // navigate to the development server instead
    std::string dataFolder; // profile and cache of the engine
};

// The page hosted by WebKitGTK inside the main window.
class WebKitView final : public WebViewPort {
public:
    using MessageHandler
        = std::function<void(std::string_view sourceUri, std::string_view messageJson)>;

    // Adds the view to `window` and starts loading the UI; nothing when the engine refuses.
    static std::unique_ptr<WebKitView> create(
        GtkWindow* window, const WebViewConfig& config, MessageHandler onMessage);
    ~WebKitView() override;
    WebKitView(const WebKitView&) = delete;
    WebKitView& operator=(const WebKitView&) = delete;

    void postMessageJson(const std::string& json) override;

private:
    WebKitView(const WebViewConfig& config, MessageHandler onMessage);
    bool build(GtkWindow* window);
    void receiveScriptMessage(WebKitJavascriptResult* result);

    static void onScriptMessage(
        WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static gboolean onContextMenu(
        WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer);

    WebViewConfig config_;
    MessageHandler onMessage_;
    std::string token_;
    kovru::GObjectPtr<WebKitUserContentManager> contentManager_;
    kovru::GObjectPtr<WebKitWebContext> context_;
    kovru::GObjectPtr<WebKitWebView> view_; // also owned by the window once added
    gulong scriptMessageHandler_ = 0;
};

} // namespace kovrkit
