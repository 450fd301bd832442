// The technician's page: who the tool is, the sites tree (search, check boxes, drag and drop,
// keyboard, undo), the device actions on the checked devices and their results, and the
// legacy tool's banner. Every change to the tree is saved through the host at once.
import { Command, Message, JobAction, payload } from './protocol.js';
import { connectHost } from './host.js';
import * as sites from './sites-model.js';
import * as sitesCsv from './sites-csv.js';
import { buildIndex, visibleRows, checkedCounts, devicesBeneath } from './tree-index.js';
import { createJobs } from './jobs.js';

const ROW_HEIGHT = 30;
const OVERSCAN = 8;

const $ = (id) => document.getElementById(id);
const host = connectHost(window.chrome && window.chrome.webview);

const state = {
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

let jobs;

function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
}

function setStatus(text, kind) {
    const bar = $('status');
    bar.textContent = text;
    bar.className = 'status' + (kind ? ' status-' + kind : '');
}

// ---- tree state ----------------------------------------------------------------------------

function rebuildIndex() {
    state.index = buildIndex(state.doc);
    for (const id of [...state.checked]) if (!state.index.position.has(id)) state.checked.delete(id);
    if (!state.index.position.has(state.currentId)) state.currentId = state.doc.rootId;
    state.checkedCounts = checkedCounts(state.index, state.checked);
    state.folderCount = state.index.entries.reduce((count, entry) => count + (entry.isFolder ? 1 : 0), -1);
    refreshRows();
    renderSelection();
    renderDetails();
}

// Rows shown change with the tree, a collapse or the search; selection and details do not.
function refreshRows() {
    state.rows = visibleRows(state.index, state.collapsed, state.query);
    $('tree').style.height = state.rows.length * ROW_HEIGHT + 'px';
    renderRows();
    renderSummary();
}

function entryOf(id) {
    const at = state.index.position.get(id);
    return at === undefined ? null : state.index.entries[at];
}

function scheduleRows() {
    if (state.renderQueued) return;
    state.renderQueued = true;
    requestAnimationFrame(() => { state.renderQueued = false; renderRows(); });
}

function deviceInfoOf(node) {
    return node.type === 'device' ? state.deviceInfo.get((node.ip || '').trim()) : undefined;
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

function renderRows() {
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

// ---- selection -----------------------------------------------------------------------------

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
function selectedDevices() {
    const { entries } = state.index;
    let ids;
    if (state.checked.size) ids = entries.filter((entry) => !entry.isFolder && state.checked.has(entry.id)).map((entry) => entry.id);
    else {
        const at = state.index.position.get(state.currentId);
        ids = at === undefined ? [] : devicesUnder(at);
    }
    return ids.map((id) => ({ name: state.doc.nodes[id].name, ip: state.doc.nodes[id].ip || '' }));
}

function selectedCount() {
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

function toggleCheck(at) {
    const entry = state.index.entries[at];
    const ids = devicesUnder(at);
    const allChecked = ids.length > 0 && ids.every((id) => state.checked.has(id));
    for (const id of ids) {
        if (allChecked) state.checked.delete(id);
        else state.checked.add(id);
    }
    if (!entry.isFolder && !ids.length) return;
    state.checkedCounts = checkedCounts(state.index, state.checked);
    renderRows();
    renderSelection();
}

function setCurrent(id, options = {}) {
    state.currentId = id;
    if (options.reveal) revealCurrent();
    renderRows();
    renderSelection();
    renderDetails();
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

// ---- details -------------------------------------------------------------------------------

const DEVICE_FIELDS = ['name', 'description', 'ip', 'username', 'password'];
const INFO_LABELS = [['model_name', 'Model'], ['firmware_version', 'Firmware'], ['serial_number', 'Serial number'],
    ['mac', 'MAC address'], ['bacnet_ip', 'BACnet/IP'], ['uptime', 'Uptime'], ['time', 'Device time']];

function fieldNames(node) {
    return node.type === 'device' ? DEVICE_FIELDS : ['name', 'description'];
}

function renderDetails() {
    const node = sites.nodeOf(state.doc, state.currentId);
    $('details').hidden = !node;
    $('details-empty').hidden = !!node;
    if (!node) return;
    $('details-title').textContent = node.type === 'device' ? 'Device' : 'Folder';
    for (const name of DEVICE_FIELDS) {
        const shown = fieldNames(node).includes(name);
        $('row-' + name).hidden = !shown;
        const field = $('field-' + name);
        if (document.activeElement !== field || field.dataset.nodeId !== node.id) field.value = shown ? node[name] || '' : '';
        field.dataset.nodeId = node.id;
    }
    $('delete').disabled = node.id === state.doc.rootId;
    const info = deviceInfoOf(node);
    const list = $('device-info');
    list.hidden = !info;
    list.replaceChildren();
    if (info) {
        for (const [key, label] of INFO_LABELS) {
            if (!info[key]) continue;
            list.append(element('dt', '', label), element('dd', '', String(info[key])));
        }
    }
}

// ---- changes, saving and undo --------------------------------------------------------------

function save(doneText) {
    if (!host.send(Command.setSitesData, payload.setSitesData(state.doc))) {
        setStatus('Not connected to the desktop host; changes are not saved', 'error');
        return;
    }
    state.pendingSaveText = doneText;
    setStatus('Saving\u2026');
}

// Applies one change; the tree before it is kept so that the change can be undone.
function change(doneText, mutate) {
    const before = JSON.stringify(state.doc);
    if (mutate() === false) return false;
    state.undo = { before, text: doneText };
    $('undo').disabled = false;
    $('undo').title = 'Undo: ' + doneText;
    rebuildIndex();
    save(doneText);
    return true;
}

function undo() {
    if (!state.undo) return;
    const { before, text } = state.undo;
    state.undo = null;
    $('undo').disabled = true;
    $('undo').title = '';
    state.doc = JSON.parse(before);
    rebuildIndex();
    save('Undone: ' + text);
}

function editName() {
    const field = $('field-name');
    field.focus();
    field.select();
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

function applyDetails(event) {
    event.preventDefault();
    const node = sites.nodeOf(state.doc, state.currentId);
    if (!node) return;
    const fields = {};
    for (const name of fieldNames(node)) fields[name] = $('field-' + name).value;
    if (sites.isBlank(fields.name)) {
        setStatus('A name cannot be blank', 'error');
        return;
    }
    change('Changes saved', () => sites.updateNode(state.doc, node.id, fields));
}

// The showing of each dialog whose close has not been reported yet. The close event comes as a
// task of its own, so the dialog can be asked again before it arrives: the earlier showing is
// then answered with the value it closed with, and its late event answers nothing.
const unreportedShowing = new WeakMap();

function confirmDialog(dialog) {
    const earlier = unreportedShowing.get(dialog);
    if (earlier) earlier();
    return new Promise((resolve) => {
        const settle = () => {
            dialog.removeEventListener('close', closed);
            if (unreportedShowing.get(dialog) === settle) unreportedShowing.delete(dialog);
            resolve(dialog.returnValue === 'ok');
        };
        const closed = () => {
            if (!dialog.open) settle();
        };
        unreportedShowing.set(dialog, settle);
        dialog.returnValue = '';
        dialog.addEventListener('close', closed);
        dialog.showModal();
    });
}

async function deleteCurrent() {
    const node = sites.nodeOf(state.doc, state.currentId);
    if (!node || node.id === state.doc.rootId) return;
    const entry = entryOf(node.id);
    $('confirm-text').textContent = node.type === 'device'
        ? `Delete the device \u201C${node.name}\u201D?`
        : `Delete the folder \u201C${node.name}\u201D with its ${entry.devices} device${entry.devices === 1 ? '' : 's'}?`;
    if (!(await confirmDialog($('confirm-dialog')))) {
        $('tree').focus();
        return;
    }
    const parentId = sites.parentOf(state.doc, node.id);
    change((node.type === 'device' ? 'Device' : 'Folder') + ' deleted', () => {
        sites.removeNode(state.doc, node.id);
        state.currentId = parentId;
    });
    $('tree').focus();
}

// A node can move into a folder that is not inside it and is not already its parent.
function canMoveInto(id, folderId) {
    const from = state.index.position.get(id);
    const to = state.index.position.get(folderId);
    if (from === undefined || to === undefined || id === state.doc.rootId) return false;
    const target = state.index.entries[to];
    if (!target.isFolder || (to >= from && to < state.index.entries[from].end)) return false;
    return state.index.entries[from].parent !== to;
}

function moveInto(id, folderId) {
    if (!canMoveInto(id, folderId)) return false;
    const folder = state.doc.nodes[folderId];
    return change(`Moved \u201C${state.doc.nodes[id].name}\u201D to \u201C${folder.name}\u201D`, () => {
        state.collapsed.delete(folderId);
        return sites.moveNode(state.doc, id, folderId);
    });
}

async function moveCurrent() {
    const id = state.currentId;
    if (!id || id === state.doc.rootId) {
        setStatus('Choose a device or a folder to move', 'error');
        return;
    }
    const select = $('move-target');
    select.replaceChildren();
    for (const folder of sites.folderPaths(state.doc)) {
        if (!canMoveInto(id, folder.id)) continue;
        const option = element('option', '', folder.path);
        option.value = folder.id;
        select.append(option);
    }
    if (!select.options.length) {
        setStatus('There is no other folder to move to', 'error');
        return;
    }
    select.selectedIndex = 0;
    $('move-title').textContent = `Move \u201C${state.doc.nodes[id].name}\u201D to\u2026`;
    if (await confirmDialog($('move-dialog'))) moveInto(id, select.value);
    $('tree').focus();
}

// ---- device actions ------------------------------------------------------------------------

function onStatusData(address, data) {
    state.deviceInfo.set(address, data);
    renderRows();
    renderDetails();
}

async function copyResults() {
    const text = jobs.asText();
    try {
        await navigator.clipboard.writeText(text);
    } catch {
        const area = element('textarea');
        area.value = text;
        document.body.append(area);
        area.select();
        document.execCommand('copy');
        area.remove();
    }
    setStatus('Results copied', 'ok');
}

// ---- legacy tool ---------------------------------------------------------------------------

function showLegacy(status) {
    const offerMigrate = status.legacyDataDetected && !status.migrationCompleted;
    const show = status.migrationNeeded || status.canLaunchLegacyUninstall;
    $('legacy-banner').hidden = !show;
    $('legacy-migrate').hidden = !offerMigrate;
    $('legacy-uninstall').hidden = !status.canLaunchLegacyUninstall;
    const name = status.legacyDisplayName || 'the legacy VELDIR Tool';
    $('legacy-text').textContent = status.migrationNeeded
        ? `Sites from ${name} were found${status.legacyDataPath ? ' in ' + status.legacyDataPath : ''}. Migrate them into this tool?`
        : `${name} is still installed.`;
}

function legacyOutcome(text, ok) {
    $('legacy-banner').hidden = false;
    $('legacy-text').textContent = text;
    setStatus(text, ok ? 'ok' : 'error');
}

// ---- wiring --------------------------------------------------------------------------------

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

function wireTree() {
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

function wirePage() {
    wireTree();
    $('search').addEventListener('input', (event) => {
        state.query = event.target.value;
        $('tree-viewport').scrollTop = 0;
        refreshRows();
        renderSelection();
    });
    $('add-folder').addEventListener('click', () => addNode('folder'));
    $('add-device').addEventListener('click', () => addNode('device'));
    $('move-to').addEventListener('click', moveCurrent);
    $('undo').addEventListener('click', undo);
    $('details').addEventListener('submit', applyDetails);
    $('delete').addEventListener('click', deleteCurrent);
    $('export-csv').addEventListener('click', () => host.send(Command.exportCsv, payload.exportCsv(sitesCsv.toCsv(state.doc))));
    $('import-csv').addEventListener('click', () => host.send(Command.importCsv));
    $('clear-selection').addEventListener('click', () => {
        state.checked.clear();
        state.checkedCounts = checkedCounts(state.index, state.checked);
        renderRows();
        renderSelection();
    });
    for (const button of document.querySelectorAll('[data-action]'))
        button.addEventListener('click', () => jobs.run(JobAction[button.dataset.action], selectedDevices()));
    $('copy-results').addEventListener('click', copyResults);
    $('legacy-migrate').addEventListener('click', () => { host.send(Command.legacyMigrate); setStatus('Migrating\u2026'); });
    $('legacy-uninstall').addEventListener('click', () => host.send(Command.legacyUninstall));
    $('legacy-dismiss').addEventListener('click', () => { $('legacy-banner').hidden = true; });
    $('website').addEventListener('click', (event) => {
        event.preventDefault();
        host.send(Command.openExternalUrl, payload.openExternalUrl($('website').textContent));
    });
    document.addEventListener('keydown', (event) => {
        const editing = event.target.closest && event.target.closest('input, textarea, select');
        if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'z' && !editing) {
            event.preventDefault();
            undo();
        }
    });
    jobs = createJobs({
        host, setStatus, onStatusData,
        elements: {
            body: $('results-body'), table: $('results-table'), summary: $('results-summary'), empty: $('results-empty'),
            failedOnly: $('failed-only'), retry: $('retry-failed'), cancel: $('cancel-job'), copy: $('copy-results'),
            concurrency: $('job-concurrency')
        }
    });
}

function loadDocument(doc) {
    state.doc = sites.isUsableDocument(doc) ? doc : sites.defaultDocument();
    state.collapsed.clear();
    state.checked.clear();
    state.undo = null;
    $('undo').disabled = true;
    state.currentId = state.doc.rootId;
    rebuildIndex();
}

function wireHost() {
    host.on(Message.appInfoLoaded, (info) => {
        $('product').textContent = info.productName || 'TORVANE VELDIR Tool';
        $('version').textContent = info.version ? 'Version ' + info.version : '';
        $('copyright').textContent = info.copyright || '';
        const website = $('website');
        website.textContent = info.website || '';
        website.hidden = !info.website;
        document.title = info.windowTitle || document.title;
    });
    host.on(Message.sitesDataLoaded, (body) => {
        loadDocument(body.sitesData);
        setStatus('Sites loaded');
    });
    host.on(Message.sitesDataSaved, (body) => {
        if (body.success) setStatus(state.pendingSaveText || 'Saved', 'ok');
        else setStatus(body.message || 'The sites could not be saved', 'error');
    });
    host.on(Message.sitesCsvExported, (body) => {
        setStatus(body.success ? `${body.message}: ${body.path}` : body.message, body.success ? 'ok' : 'error');
    });
    host.on(Message.sitesCsvImported, (body) => {
        if (!body.success) { setStatus(body.message, 'error'); return; }
        const imported = sitesCsv.fromCsv(body.csvContent, state.doc.nodes[state.doc.rootId].name);
        if (imported.error) { setStatus(imported.error, 'error'); return; }
        change('CSV imported' + (imported.skipped ? ` (${imported.skipped} rows without a name skipped)` : ''), () => {
            state.doc = imported.document;
            state.currentId = state.doc.rootId;
        });
    });
    host.on(Message.openExternalUrlResult, (body) => {
        if (!body.success) setStatus(body.message, 'error');
    });
    host.on(Message.legacyMigrationStatus, showLegacy);
    host.on(Message.legacyMigrationResult, (body) => legacyOutcome(body.message || '', body.success));
    host.on(Message.legacyUninstallLaunchResult, (body) => legacyOutcome(body.message || '', body.success));
}

function start() {
    wirePage();
    wireHost();
    rebuildIndex();
    if (!host.available) {
        setStatus('Not connected to the desktop host', 'error');
        return;
    }
    host.send(Command.uiReady);
    host.send(Command.getAppInfo);
    host.send(Command.getSitesData);
    host.send(Command.jobsGetSettings);
}

if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
else start();
