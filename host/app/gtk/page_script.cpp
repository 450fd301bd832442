#include "host/app/gtk/page_script.h"

#include "host/bridge/json_text.h"

#include <random>

namespace kovrkit {

static constexpr const char* kContextMenuScript
    = "window.addEventListener('contextmenu', function (event) {\n"
      "    event.preventDefault();\n"
      "}, { capture: true });\n";

// `TOKEN` is replaced; the handler object is captured before any page script runs.
static constexpr const char* kWebViewScript = R"JS((function () {
    var handlers = window.webkit && window.webkit.messageHandlers;
    var channel = handlers && handlers.kovrkit;
    if (!channel) return;
    var send = channel.postMessage.bind(channel);
    var token = 'TOKEN';
    var listeners = [];
    var webview = {
        postMessage: function (message) {
            send(token + JSON.stringify(message));
        },
        addEventListener: function (type, listener) {
            if (type === 'message' && typeof listener === 'function' && listeners.indexOf(listener) < 0)
                listeners.push(listener);
        },
        removeEventListener: function (type, listener) {
            var at = listeners.indexOf(listener);
            if (type === 'message' && at >= 0) listeners.splice(at, 1);
        }
    };
    Object.defineProperty(window, '__kovrkitDeliver', {
        value: function (text) {
            var data;
            try { data = JSON.parse(text); } catch (error) { return; }
            listeners.slice().forEach(function (listener) {
                try { listener({ type: 'message', data: data }); }
                catch (error) { setTimeout(function () { throw error; }); }
            });
        }
    });
    window.chrome = window.chrome || {};
    Object.defineProperty(window.chrome, 'webview', { value: webview, enumerable: true });
})();
)JS";

std::string pageScript(const std::string& token)
{
    std::string bridge = kWebViewScript;
    bridge.replace(bridge.find("TOKEN"), 5, token);
    return std::string(kContextMenuScript) + bridge;
}

std::string deliveryScript(const std::string& json)
{
    return std::string("window.") + kDeliverFunctionName + " && window." + kDeliverFunctionName
        + "(\"" + escapeJsonText(json) + "\");";
}

std::string newMessageToken()
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::random_device source;
    std::string token;
    for (int index = 0; index < 32; ++index)
        token += kHex[source() & 0x0F];
    return token;
}

} // namespace kovrkit
