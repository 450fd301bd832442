// A device's History: its backups from the library with time, firmware and whether they
// changed; Compare two, or one with the controller; Restore this one, which shows what the
// restore would change first and asks; and "Open as simulated controller", which starts a
// simulator from that backup and adds a device for it under the "Simulated" folder.
import * as sites from './sites-model.js';
import { Command, Message } from './protocol.js';
import { $, host, state, redraw, element, setStatus } from './page.js';
import { change } from './editing.js';
import { confirmDialog } from './dialogs.js';

const SIMULATED_FOLDER = 'Simulated';

const view = {
    device: null, // { name, ip } of the device shown
    backups: [], // newest first, as the host lists them
    pending: null, // { requestId, kind, entry } of the comparison awaited
    requests: 0,
    jobs: null
};

function when(time) {
    const match = /^(\d{4}-\d{2}-\d{2})T(\d{2}:\d{2}:\d{2})Z$/.exec(time || '');
    return match ? `${match[1]} ${match[2]} UTC` : String(time || '');
}

function describe(entry) {
    const firmware = entry.firmware ? `firmware ${entry.firmware}` : 'firmware unknown';
    return `${when(entry.time)} \u00B7 ${firmware} \u00B7 ${entry.result}`;
}

function selectedEntries() {
    return [...$('history-list').selectedOptions].map((option) => view.backups[Number(option.value)]);
}

function renderButtons() {
    const chosen = selectedEntries();
    const busy = view.pending !== null;
    $('history-compare').disabled = busy || chosen.length !== 2;
    for (const id of ['history-compare-controller', 'history-restore', 'history-simulate'])
        $(id).disabled = busy || chosen.length !== 1;
}

function showLines(container, lines) {
    container.replaceChildren(...lines.map((line) => element('div', 'tool-line tool-' + (line.kind || 'plain'), line.text)));
}

function showOutput(title, lines) {
    $('history-output-title').textContent = title;
    showLines($('history-output'), lines);
}

function renderList() {
    const list = $('history-list');
    list.replaceChildren();
    view.backups.forEach((entry, at) => {
        const option = element('option', 'history-' + entry.result, describe(entry));
        option.value = String(at);
        option.disabled = !entry.archivePath;
        if (!entry.archivePath && entry.reason) option.title = entry.reason;
        list.append(option);
    });
    const firstGood = view.backups.findIndex((entry) => entry.archivePath);
    if (firstGood >= 0) list.options[firstGood].selected = true;
    $('history-empty').hidden = view.backups.length > 0;
    list.hidden = view.backups.length === 0;
    renderButtons();
}

function ask(kind, entry, body) {
    view.requests += 1;
    const requestId = 'history-' + view.requests;
    view.pending = { requestId, kind, entry };
    renderButtons();
    host.send(kind === 'restore' ? Command.historyPreviewRestore : Command.historyCompare, { requestId, ip: view.device.ip, ...body });
}

function compareTwo() {
    const [newer, older] = selectedEntries();
    showOutput(`Comparing the backup of ${when(older.time)} with that of ${when(newer.time)}\u2026`, []);
    ask('backup', older, { id: older.id, against: 'backup', otherId: newer.id });
}

function compareWithController() {
    const [entry] = selectedEntries();
    showOutput(`Comparing the backup of ${when(entry.time)} with the controller\u2026`, []);
    ask('controller', entry, { id: entry.id, against: 'controller', otherId: '' });
}

function previewRestore() {
    const [entry] = selectedEntries();
    showOutput(`What restoring the backup of ${when(entry.time)} would change\u2026`, []);
    ask('restore', entry, { id: entry.id });
}

function openSimulated() {
    const [entry] = selectedEntries();
    setStatus(`Starting a simulated controller from the backup of ${when(entry.time)}\u2026`);
    host.send(Command.historyOpenSimulator, { ip: view.device.ip, id: entry.id });
}

const outcomeText = {
    equal: 'No differences.',
    different: 'Differences found.',
    trouble: 'The comparison could not be made.'
};

async function askRestore(entry, body) {
    const preview = $('restore-preview');
    showLines(preview, body.lines);
    $('restore-text').textContent = body.outcome === 'equal'
        ? `The controller ${view.device.ip} already holds the configuration of the backup of ${when(entry.time)}. Restore it anyway?`
        : `Restore the backup of ${when(entry.time)} to ${view.device.ip}? Each difference below is written to the controller (the backup's side first).`;
    if (!(await confirmDialog($('restore-dialog')))) {
        setStatus('Restore cancelled');
        $('history-restore').focus();
        return;
    }
    view.jobs.run('restore', [{ name: view.device.name, ip: view.device.ip }], { backupFile: entry.archivePath });
    $('history-dialog').close();
}

function onCompared(body) {
    const pending = view.pending;
    if (!pending || body.requestId !== pending.requestId) return;
    view.pending = null;
    renderButtons();
    const title = $('history-output-title').textContent.replace(/\u2026$/, '');
    showOutput(`${title}: ${outcomeText[body.outcome] || ''}`, body.lines || []);
    if (pending.kind === 'restore') {
        if (body.outcome === 'trouble') setStatus('The restore preview failed; nothing was restored', 'error');
        else askRestore(pending.entry, body);
    }
}

function onRefused(body) {
    if (view.pending && body.requestId === view.pending.requestId) {
        view.pending = null;
        renderButtons();
        showOutput($('history-output-title').textContent.replace(/\u2026$/, ''), [{ kind: 'error', text: body.message }]);
    }
    setStatus(String(body.message || ''), 'error');
}

function simulatedFolder() {
    const root = state.doc.nodes[state.doc.rootId];
    const existing = root.children.find((id) => {
        const node = sites.nodeOf(state.doc, id);
        return node && node.type === 'folder' && node.name === SIMULATED_FOLDER;
    });
    return existing || sites.addFolder(state.doc, state.doc.rootId, SIMULATED_FOLDER);
}

function onSimulatorOpened(body) {
    if (!body.success) {
        setStatus(body.message || 'The simulator could not be started', 'error');
        return;
    }
    change(`Simulated controller added at ${body.address}; it stops when the window closes`, () => {
        const folder = simulatedFolder();
        state.collapsed.delete(folder);
        state.currentId = sites.addDevice(state.doc, folder, {
            name: body.name, ip: body.address,
            description: `Started from a backup of ${body.ip}; it stops when the window closes.`
        });
    });
}

export function openHistory(device) {
    view.device = device;
    view.backups = [];
    view.pending = null;
    $('history-title').textContent = `History of \u201C${device.name}\u201D`;
    $('history-empty').textContent = 'Loading\u2026';
    $('history-empty').hidden = false;
    $('history-list').hidden = true;
    showOutput('Comparison', []);
    renderButtons();
    if (!$('history-dialog').open) $('history-dialog').showModal();
    $('history-list').focus();
    host.send(Command.historyList, { ip: device.ip });
}

// The History button belongs to a device with an address.
function renderHistoryButton() {
    const node = sites.nodeOf(state.doc, state.currentId);
    const button = $('show-history');
    button.hidden = !node || node.type !== 'device';
    button.disabled = !node || !(node.ip || '').trim();
}

export function wireHistory(jobs) {
    view.jobs = jobs;
    const drawDetails = redraw.details;
    redraw.details = () => {
        drawDetails();
        renderHistoryButton();
    };
    renderHistoryButton();
    $('history-list').addEventListener('change', renderButtons);
    $('history-compare').addEventListener('click', compareTwo);
    $('history-compare-controller').addEventListener('click', compareWithController);
    $('history-restore').addEventListener('click', previewRestore);
    $('history-simulate').addEventListener('click', openSimulated);
    $('history-close').addEventListener('click', () => $('history-dialog').close());
    $('history-dialog').addEventListener('close', () => {
        view.pending = null;
        $('tree').focus();
    });
    $('show-history').addEventListener('click', () => {
        const node = sites.nodeOf(state.doc, state.currentId);
        if (!node || node.type !== 'device') return;
        if (!(node.ip || '').trim()) {
            setStatus('The device has no address', 'error');
            return;
        }
        openHistory({ name: node.name, ip: node.ip.trim() });
    });
    host.on(Message.historyList, (body) => {
        if (!view.device || body.ip !== view.device.ip) return;
        view.backups = Array.isArray(body.backups) ? body.backups : [];
        $('history-empty').textContent = 'No backups of this device in the library yet.';
        renderList();
    });
    host.on(Message.historyCompared, onCompared);
    host.on(Message.historyRefused, onRefused);
    host.on(Message.historySimulatorOpened, onSimulatorOpened);
    host.on(Message.historySimulatorClosed, (body) => setStatus(`The simulated controller at ${body.address} has stopped`));
}
