// The checked devices and the device actions bar: which devices an action runs on, the
// selection's text, the action buttons (enabled for what is selected) and "Clear selection".
import * as sites from './sites-model.js';
import { Command, JobAction } from './protocol.js';
import { $, state, redraw } from './page.js';
import { checkedCounts, devicesBeneath } from './tree-index.js';

// The devices at or beneath an entry; while a search runs, only those it shows, so that what
// the technician sees is what an action runs on.
function devicesUnder(at) {
    if (!state.query.trim()) return devicesBeneath(state.index, at);
    const { entries } = state.index;
    const end = entries[at].end;
    const ids = [];
    for (const row of state.rows) if (row >= at && row < end && !entries[row].isFolder) ids.push(entries[row].id);
    return ids;
}

// The devices an action runs on: the checked ones, or without any, those at or beneath the
// current row.
export function selectedDevices() {
    const { entries } = state.index;
    let ids;
    if (state.checked.size) ids = entries.filter((entry) => !entry.isFolder && state.checked.has(entry.id)).map((entry) => entry.id);
    else {
        const at = state.index.position.get(state.currentId);
        ids = at === undefined ? [] : devicesUnder(at);
    }
    return ids.map((id) => ({ name: state.doc.nodes[id].name, ip: state.doc.nodes[id].ip || '' }));
}

export function selectedCount() {
    if (state.checked.size) return state.checked.size;
    const at = state.index.position.get(state.currentId);
    return at === undefined ? 0 : devicesUnder(at).length;
}

function renderSelection() {
    const count = selectedCount();
    let text;
    if (state.checked.size) text = `${count} device${count === 1 ? '' : 's'} selected`;
    else {
        const current = sites.nodeOf(state.doc, state.currentId);
        text = current ? `${current.name}: ${count} device${count === 1 ? '' : 's'}` : 'Nothing selected';
    }
    $('selection-text').textContent = text;
    for (const button of document.querySelectorAll('[data-action]')) {
        const restore = Command[button.dataset.action] === Command.restore;
        button.disabled = restore ? count !== 1 : count === 0;
        button.title = restore && count > 1 ? 'Restore works on one device at a time' : '';
    }
    $('clear-selection').disabled = state.checked.size === 0;
}

export function toggleCheck(at) {
    const entry = state.index.entries[at];
    const ids = devicesUnder(at);
    const allChecked = ids.length > 0 && ids.every((id) => state.checked.has(id));
    for (const id of ids) {
        if (allChecked) state.checked.delete(id);
        else state.checked.add(id);
    }
    if (!entry.isFolder && !ids.length) return;
    state.checkedCounts = checkedCounts(state.index, state.checked);
    redraw.rows();
    renderSelection();
}

export function wireSelection(jobs) {
    redraw.selection = renderSelection;
    $('clear-selection').addEventListener('click', () => {
        state.checked.clear();
        state.checkedCounts = checkedCounts(state.index, state.checked);
        redraw.rows();
        renderSelection();
    });
    for (const button of document.querySelectorAll('[data-action]'))
        button.addEventListener('click', () => jobs.run(JobAction[button.dataset.action], selectedDevices()));
}
