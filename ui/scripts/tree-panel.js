// The sites tree: its rows (only those in view are drawn), the summary under it, the current
// row, collapsing, the keyboard, check boxes, drag and drop, and adding folders and devices.
import * as sites from './sites-model.js';
import { $, state, redraw, element, deviceInfoOf } from './page.js';
import { visibleRows } from './tree-index.js';
import { change } from './editing.js';
import { editName, deleteCurrent } from './details-panel.js';
import { canMoveInto, moveInto } from './move-dialog.js';
import { toggleCheck } from './selection.js';

const ROW_HEIGHT = 30;
const OVERSCAN = 8;

// Rows shown change with the tree, a collapse or the search; selection and details do not.
export function refreshRows() {
    state.rows = visibleRows(state.index, state.collapsed, state.query);
    $('tree').style.height = state.rows.length * ROW_HEIGHT + 'px';
    renderRows();
    renderSummary();
}

function scheduleRows() {
    if (state.renderQueued) return;
    state.renderQueued = true;
    requestAnimationFrame(() => { state.renderQueued = false; renderRows(); });
}

function folderCheckState(at) {
    const entry = state.index.entries[at];
    const checked = state.checkedCounts[at];
    return { checked: entry.devices > 0 && checked === entry.devices, mixed: checked > 0 && checked < entry.devices };
}

function renderRow(rowNumber) {
    const at = state.rows[rowNumber];
    const entry = state.index.entries[at];
    const { node } = entry;
    const row = element('div', 'row ' + (entry.isFolder ? 'folder' : 'device'));
    row.id = 'node-' + entry.id;
    row.dataset.at = String(at);
    row.setAttribute('role', 'treeitem');
    row.setAttribute('aria-level', String(entry.depth + 1));
    row.setAttribute('aria-posinset', String(entry.place));
    row.setAttribute('aria-setsize', String(entry.size));
    row.setAttribute('aria-label', node.name);
    row.setAttribute('aria-selected', String(entry.id === state.currentId));
    row.style.top = rowNumber * ROW_HEIGHT + 'px';
    row.style.paddingLeft = 0.5 + entry.depth * 1.25 + 'em';
    if (entry.id === state.currentId) row.classList.add('current');
    if (entry.id !== state.doc.rootId) row.draggable = true;

    const twisty = element('span', 'twisty');
    twisty.setAttribute('aria-hidden', 'true');
    if (entry.isFolder) {
        const open = !!state.query || !state.collapsed.has(entry.id);
        row.setAttribute('aria-expanded', String(open));
        twisty.textContent = open ? '\u25BE' : '\u25B8';
    }
    const box = element('input', 'check');
    box.type = 'checkbox';
    box.tabIndex = -1;
    box.setAttribute('aria-label', node.name);
    if (entry.isFolder) {
        const { checked, mixed } = folderCheckState(at);
        box.checked = checked;
        box.indeterminate = mixed;
        box.disabled = entry.devices === 0;
    } else {
        box.checked = state.checked.has(entry.id);
    }
    row.append(twisty, box, element('span', 'name', node.name));
    if (entry.isFolder) {
        row.append(element('span', 'count', String(entry.devices)));
    } else {
        const info = deviceInfoOf(node);
        if (info) row.append(element('span', 'model', [info.model_name, info.firmware_version].filter(Boolean).join(' \u00B7 ')));
        row.append(element('span', 'ip', node.ip || 'no address'));
    }
    return row;
}

export function renderRows() {
    const viewport = $('tree-viewport');
    const first = Math.max(0, Math.floor(viewport.scrollTop / ROW_HEIGHT) - OVERSCAN);
    const last = Math.min(state.rows.length, Math.ceil((viewport.scrollTop + viewport.clientHeight) / ROW_HEIGHT) + OVERSCAN);
    const rows = [];
    for (let n = first; n < last; n += 1) rows.push(renderRow(n));
    const tree = $('tree');
    tree.replaceChildren(...rows);
    const active = document.getElementById('node-' + state.currentId);
    if (active) tree.setAttribute('aria-activedescendant', active.id);
    else tree.removeAttribute('aria-activedescendant');
}

function renderSummary() {
    const entries = state.index.entries;
    const root = entries[0];
    const devices = root ? root.devices : 0;
    let text = `${devices} device${devices === 1 ? '' : 's'} in ${state.folderCount} folder${state.folderCount === 1 ? '' : 's'}`;
    if (state.query.trim()) {
        let matches = 0;
        for (const at of state.rows) if (!entries[at].isFolder) matches += 1;
        text += ` \u2014 ${matches} shown for \u201C${state.query.trim()}\u201D`;
    }
    $('summary').textContent = text;
}

function setCurrent(id, options = {}) {
    state.currentId = id;
    if (options.reveal) revealCurrent();
    renderRows();
    redraw.selection();
    redraw.details();
}

function revealCurrent() {
    const at = state.index.position.get(state.currentId);
    const rowNumber = state.rows.indexOf(at);
    if (rowNumber < 0) return;
    const viewport = $('tree-viewport');
    const top = rowNumber * ROW_HEIGHT;
    if (top < viewport.scrollTop) viewport.scrollTop = top;
    else if (top + ROW_HEIGHT > viewport.scrollTop + viewport.clientHeight)
        viewport.scrollTop = top + ROW_HEIGHT - viewport.clientHeight;
}

function setCollapsed(id, collapsed) {
    if (collapsed) state.collapsed.add(id);
    else state.collapsed.delete(id);
    refreshRows();
}

function addNode(kind) {
    const parent = sites.targetFolder(state.doc, state.currentId);
    let id;
    change(kind === 'folder' ? 'Folder added' : 'Device added', () => {
        id = kind === 'folder' ? sites.addFolder(state.doc, parent, 'New folder') : sites.addDevice(state.doc, parent, { name: 'New device' });
        state.collapsed.delete(parent);
        state.currentId = id;
    });
    refreshRows();
    revealCurrent();
    renderRows();
    editName();
}

function onTreeKey(event) {
    if (event.target !== event.currentTarget) return;
    const at = state.index.position.get(state.currentId);
    const rowNumber = state.rows.indexOf(at);
    const entry = at === undefined ? null : state.index.entries[at];
    const moveTo = (n) => {
        const target = state.rows[Math.max(0, Math.min(state.rows.length - 1, n))];
        if (target !== undefined) setCurrent(state.index.entries[target].id, { reveal: true });
    };
    const open = entry && entry.isFolder && (state.query || !state.collapsed.has(entry.id));
    switch (event.key) {
    case 'ArrowDown': moveTo(rowNumber + 1); break;
    case 'ArrowUp': moveTo(rowNumber - 1); break;
    case 'Home': moveTo(0); break;
    case 'End': moveTo(state.rows.length - 1); break;
    case 'ArrowRight':
        if (entry && entry.isFolder && !open) setCollapsed(entry.id, false);
        else if (open) moveTo(rowNumber + 1);
        break;
    case 'ArrowLeft':
        if (open && !state.query) setCollapsed(entry.id, true);
        else if (entry && entry.parent >= 0) setCurrent(state.index.entries[entry.parent].id, { reveal: true });
        break;
    case 'Enter':
        if (entry && entry.isFolder && !state.query) setCollapsed(entry.id, open);
        else if (entry) editName();
        break;
    case ' ': if (at !== undefined) toggleCheck(at); break;
    case 'F2': if (entry) editName(); break;
    case 'Delete': deleteCurrent(); break;
    default: return;
    }
    event.preventDefault();
}

function rowAt(target) {
    const row = target.closest && target.closest('.row');
    return row ? Number(row.dataset.at) : undefined;
}

function dropFolder(target) {
    const at = rowAt(target);
    if (at === undefined) return null;
    const entry = state.index.entries[at];
    if (entry.isFolder) return entry.id;
    return entry.parent >= 0 ? state.index.entries[entry.parent].id : null;
}

function clearDropMarks() {
    for (const row of document.querySelectorAll('.row.drop-target')) row.classList.remove('drop-target');
}

function wireDragAndDrop(tree) {
    tree.addEventListener('dragstart', (event) => {
        const at = rowAt(event.target);
        if (at === undefined) return;
        state.dragId = state.index.entries[at].id;
        event.dataTransfer.setData('text/plain', state.dragId);
        event.dataTransfer.effectAllowed = 'move';
    });
    tree.addEventListener('dragover', (event) => {
        const folderId = dropFolder(event.target);
        clearDropMarks();
        if (!state.dragId || !folderId || !canMoveInto(state.dragId, folderId)) return;
        event.preventDefault();
        event.dataTransfer.dropEffect = 'move';
        const row = document.getElementById('node-' + folderId);
        if (row) row.classList.add('drop-target');
    });
    tree.addEventListener('drop', (event) => {
        const folderId = dropFolder(event.target);
        clearDropMarks();
        if (!state.dragId || !folderId) return;
        event.preventDefault();
        moveInto(state.dragId, folderId);
        state.dragId = null;
    });
    tree.addEventListener('dragend', () => { state.dragId = null; clearDropMarks(); });
}

export function wireTree() {
    redraw.tree = refreshRows;
    redraw.rows = renderRows;
    const tree = $('tree');
    $('tree-viewport').addEventListener('scroll', scheduleRows, { passive: true });
    window.addEventListener('resize', scheduleRows);
    tree.addEventListener('click', (event) => {
        const at = rowAt(event.target);
        if (at === undefined) return;
        const entry = state.index.entries[at];
        if (event.target.classList.contains('check')) return;
        if (event.target.classList.contains('twisty') && entry.isFolder && !state.query) {
            setCollapsed(entry.id, !state.collapsed.has(entry.id));
            return;
        }
        setCurrent(entry.id);
        tree.focus({ preventScroll: true });
    });
    tree.addEventListener('change', (event) => {
        const at = rowAt(event.target);
        if (at !== undefined) toggleCheck(at);
        // The box is redrawn; the keyboard stays with the tree.
        tree.focus({ preventScroll: true });
    });
    tree.addEventListener('keydown', onTreeKey);
    wireDragAndDrop(tree);
    $('search').addEventListener('input', (event) => {
        state.query = event.target.value;
        $('tree-viewport').scrollTop = 0;
        refreshRows();
        redraw.selection();
    });
    $('add-folder').addEventListener('click', () => addNode('folder'));
    $('add-device').addEventListener('click', () => addNode('device'));
}
