// The channel to the desktop host. Outside the host (a plain browser) there is no channel,
// and every send reports that.
(function (exports) {
    'use strict';

    var webview = window.chrome && window.chrome.webview;
    var handlers = {};

    function available() {
        return !!webview;
    }

    function send(command, payload) {
        if (!webview) return false;
        webview.postMessage(payload === undefined ? { command: command } : { command: command, payload: payload });
        return true;
    }

    function on(command, handler) {
        (handlers[command] = handlers[command] || []).push(handler);
    }

    if (webview) {
        webview.addEventListener('message', function (event) {
            var message = event.data;
            if (!message || typeof message.command !== 'string') return;
            (handlers[message.command] || []).forEach(function (handler) { handler(message.payload || {}); });
            (handlers['*'] || []).forEach(function (handler) { handler(message); });
        });
    }

    exports.available = available;
    exports.send = send;
    exports.on = on;
})(window.KovrkitHost = {});
