// The channel to the desktop host. Outside the host (a plain browser) there is no channel, and
// every send reports that.
import { envelope } from './protocol.js';

export function connectHost(webview) {
    const handlers = new Map();

    if (webview) {
        webview.addEventListener('message', (event) => {
            const message = event.data;
            if (!message || typeof message.command !== 'string') return;
            const body = message.payload && typeof message.payload === 'object' ? message.payload : {};
            for (const handler of handlers.get(message.command) || []) handler(body);
        });
    }

    return {
        available: !!webview,
        send(command, body) {
            if (!webview) return false;
            webview.postMessage(envelope(command, body));
            return true;
        },
        on(name, handler) {
            if (!handlers.has(name)) handlers.set(name, []);
            handlers.get(name).push(handler);
        }
    };
}
