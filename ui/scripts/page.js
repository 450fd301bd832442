// What every panel of the page shares: the host channel, the page's state (the sites tree, its
// index, the checked devices, the current row, the devices' status), the status line, and the
// redraw hooks through which a change of the tree reaches each panel.
import { connectHost } from './host.js';
import * as sites from './sites-model.js';
import { buildIndex, checkedCounts } from './tree-index.js';

export const $ = (id) => document.getElementById(id);
export const host = connectHost(window.chrome && window.chrome.webview);

export const state = {
    doc: sites.defaultDocument(),
    index: null,
    rows: [],
    collapsed: new Set(),
    query: '',
    checked: new Set(),
    checkedCounts: null,
    currentId: null,
    undo: null,
    deviceInfo: new Map(),
    dragId: null,
    pendingSaveText: '',
    renderQueued: false
};

// Each panel puts its drawing here when it is wired: `tree` when the visible rows change,
// `rows` for the rows in view, `selection` for the device actions, `details` for the details.
export const redraw = { tree() {}, rows() {}, selection() {}, details() {} };

export function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
}

export function setStatus(text, kind) {
    const bar = $('status');
    bar.textContent = text;
    bar.className = 'status' + (kind ? ' status-' + kind : '');
}

export function rebuildIndex() {
    state.index = buildIndex(state.doc);
    for (const id of [...state.checked]) if (!state.index.position.has(id)) state.checked.delete(id);
    if (!state.index.position.has(state.currentId)) state.currentId = state.doc.rootId;
    state.checkedCounts = checkedCounts(state.index, state.checked);
    state.folderCount = state.index.entries.reduce((count, entry) => count + (entry.isFolder ? 1 : 0), -1);
    redraw.tree();
    redraw.selection();
    redraw.details();
}

export function entryOf(id) {
    const at = state.index.position.get(id);
    return at === undefined ? null : state.index.entries[at];
}

export function deviceInfoOf(node) {
    return node.type === 'device' ? state.deviceInfo.get((node.ip || '').trim()) : undefined;
}
