#include "host/app/gtk/webkit_view.h"

#include "host/app/gtk/page_script.h"
#include "host/app/gtk/ui_scheme_handler.h"
#include "host/identity/origins.h"

namespace kovrkit {

WebKitView::WebKitView(const WebViewConfig& config, MessageHandler onMessage)
    : config_(config)
    , onMessage_(std::move(onMessage))
    , token_(newMessageToken())
{
}

WebKitView::~WebKitView()
{
    if (scriptMessageHandler_)
        g_signal_handler_disconnect(contentManager_.get(), scriptMessageHandler_);
    if (view_)
        g_signal_handlers_disconnect_by_data(view_.get(), this);
}

std::unique_ptr<WebKitView> WebKitView::create(
    GtkWindow* window, const WebViewConfig& config, MessageHandler onMessage)
{
    std::unique_ptr<WebKitView> view(new WebKitView(config, std::move(onMessage)));
    if (!view->build(window))
        return nullptr;
    return view;
}

static kovru::GObjectPtr<WebKitWebContext> newContext(const std::string& dataFolder)
{
    std::string cacheFolder = dataFolder + "/cache";
    auto dataManager = kovru::adopt_object(webkit_website_data_manager_new("base-data-directory",
        dataFolder.c_str(), "base-cache-directory", cacheFolder.c_str(), nullptr));
    if (!dataManager)
        return nullptr;
    return kovru::adopt_object(webkit_web_context_new_with_website_data_manager(dataManager.get()));
}

static void applySettings(WebKitWebView* view, bool devMode)
{
    WebKitSettings* settings = webkit_web_view_get_settings(view);
    webkit_settings_set_enable_javascript(settings, TRUE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    webkit_settings_set_enable_developer_extras(settings, devMode);
}

bool WebKitView::build(GtkWindow* window)
{
    context_ = newContext(config_.dataFolder);
    if (!context_)
        return false;
    registerUiScheme(context_.get(), config_.uiFolder);

    contentManager_ = kovru::adopt_object(webkit_user_content_manager_new());
    std::string script = pageScript(token_);
    auto userScript = webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(contentManager_.get(), userScript);
    webkit_user_script_unref(userScript);
    std::string signal = std::string("script-message-received::") + kMessageHandlerName;
    scriptMessageHandler_ = g_signal_connect(
        contentManager_.get(), signal.c_str(), G_CALLBACK(onScriptMessage), this);
    if (!webkit_user_content_manager_register_script_message_handler(
            contentManager_.get(), kMessageHandlerName))
        return false;

    GtkWidget* widget = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context_.get(),
        "user-content-manager", contentManager_.get(), nullptr));
    if (!widget)
        return false;
    view_ = kovru::retain_object(WEBKIT_WEB_VIEW(widget));
    applySettings(view_.get(), config_.devMode);
    g_signal_connect(view_.get(), "context-menu", G_CALLBACK(onContextMenu), this);

    gtk_container_add(GTK_CONTAINER(window), widget);
    gtk_widget_show(widget);
    webkit_web_view_load_uri(view_.get(), std::string(startUri(config_.devMode)).c_str());
    return true;
}

void WebKitView::postMessageJson(const std::string& json)
{
    // Host messages carry the technician's data; a page from elsewhere never gets them.
    const gchar* current = webkit_web_view_get_uri(view_.get());
    if (!current || !isFromOrigin(current, acceptedOrigin(config_.devMode)))
        return;
    std::string script = deliveryScript(json);
    webkit_web_view_evaluate_javascript(view_.get(), script.c_str(),
        static_cast<gssize>(script.size()), nullptr, nullptr, nullptr, nullptr, nullptr);
}

void WebKitView::receiveScriptMessage(WebKitJavascriptResult* result)
{
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!value || !jsc_value_is_string(value))
        return;
    kovru::GCharPtr text(jsc_value_to_string(value));
    std::string_view message(text ? text.get() : "");
    // Only the script of the top frame knows the token.
    if (!message.starts_with(token_))
        return;
    message.remove_prefix(token_.size());
    // The address is null before content has begun loading.
    const gchar* source = webkit_web_view_get_uri(view_.get());
    onMessage_(source ? source : "", message);
}

void WebKitView::onScriptMessage(
    WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self)
{
    static_cast<WebKitView*>(self)->receiveScriptMessage(result);
}

gboolean WebKitView::onContextMenu(
    WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer)
{
    return TRUE;
}

} // namespace kovrkit
