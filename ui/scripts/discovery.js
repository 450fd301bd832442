// "Find controllers": the technician gives address ranges, the host scans them and compares
// what answers with the tree (new, known, moved, missing). New controllers are added to a
// chosen folder under an editable name, moved ones get their new address, and only when the
// technician applies the choice; the serial numbers of what was applied are recorded.
import * as sites from './sites-model.js';
import { Command, Message, payload } from './protocol.js';
import { $, host, state, element, setStatus } from './page.js';
import { change } from './editing.js';

const STATE_LABEL = { new: 'New', known: 'Known', moved: 'Moved', missing: 'Missing' };

// The name a new controller gets: its model and serial number.
export function suggestedName(row) {
    return [row.model, row.serial].filter((part) => part).join(' ') || row.address;
}

// The tree's device a moved row names: the device at the old address with that name.
function movedDevice(row) {
    let found = null;
    sites.walk(state.doc, (node) => {
        if (!found && node.type === 'device' && (node.ip || '').trim() === row.treeAddress.trim() && node.name === row.device) found = node;
    });
    return found;
}

export function wireDiscovery() {
    const dialog = $('discovery-dialog');
    let rows = [];
    let running = false;

    function paintControls() {
        $('discovery-scan').disabled = running;
        $('discovery-stop').disabled = !running;
        const choices = rows.filter((row) => row.choice && row.choice.checked).length;
        $('discovery-apply').disabled = running || choices === 0;
    }

    function fillFolders() {
        const select = $('discovery-folder');
        const chosen = select.value;
        select.replaceChildren();
        for (const folder of sites.folderPaths(state.doc)) {
            const option = element('option', '', folder.path);
            option.value = folder.id;
            select.append(option);
        }
        const current = sites.targetFolder(state.doc, state.currentId);
        select.value = [...select.options].some((option) => option.value === chosen) ? chosen : current;
    }

    function choiceCell(row) {
        const cell = element('td');
        if (row.state !== 'new' && row.state !== 'moved') return cell;
        const box = element('input');
        box.type = 'checkbox';
        box.checked = true;
        box.setAttribute('aria-label', row.state === 'new' ? `Add ${row.address}` : `Accept the new address ${row.address} of ${row.device}`);
        box.addEventListener('change', paintControls);
        row.choice = box;
        cell.append(box);
        return cell;
    }

    function nameCell(row) {
        const cell = element('td');
        if (row.state !== 'new') {
            cell.textContent = row.device ? (row.folder ? `${row.folder}/${row.device}` : row.device) : '';
            if (row.state === 'moved') cell.textContent += ` (was ${row.treeAddress})`;
            return cell;
        }
        const input = element('input');
        input.value = suggestedName(row);
        input.setAttribute('aria-label', `Name for ${row.address}`);
        input.autocomplete = 'off';
        row.nameInput = input;
        cell.append(input);
        return cell;
    }

    function showRows(found) {
        rows = found.map((row) => ({ ...row }));
        const body = $('discovery-body');
        body.replaceChildren();
        for (const row of rows) {
            const tr = element('tr', 'discovery-' + row.state);
            tr.append(choiceCell(row), element('td', '', STATE_LABEL[row.state] || row.state), element('td', '', row.address),
                element('td', '', row.model), element('td', '', row.firmware), element('td', '', row.serial),
                element('td', '', row.mac), nameCell(row));
            body.append(tr);
        }
        $('discovery-empty').hidden = rows.length > 0;
    }

    function scan() {
        const timeout = Number($('discovery-timeout').value);
        if (!host.send(Command.discoveryStart, payload.discoveryStart($('discovery-ranges').value, timeout))) {
            $('discovery-status').textContent = 'Not connected to the desktop host';
            return;
        }
        running = true;
        showRows([]);
        $('discovery-empty').hidden = true;
        $('discovery-progress').value = 0;
        $('discovery-status').textContent = 'Scanning\u2026';
        paintControls();
    }

    function apply() {
        const folderId = $('discovery-folder').value || state.doc.rootId;
        const serials = {};
        const chosen = rows.filter((row) => row.choice && row.choice.checked);
        for (const row of chosen) {
            if (row.state === 'new' && sites.isBlank(row.nameInput.value)) {
                setStatus(`The controller at ${row.address} needs a name`, 'error');
                row.nameInput.focus();
                return;
            }
        }
        let added = 0;
        let moved = 0;
        const applied = change('Controllers added or moved', () => {
            for (const row of chosen) {
                if (row.state === 'new') {
                    sites.addDevice(state.doc, folderId, { name: row.nameInput.value, ip: row.address });
                    added += 1;
                } else {
                    const device = movedDevice(row);
                    if (!device) continue;
                    device.ip = row.address;
                    serials[row.treeAddress] = '';
                    moved += 1;
                }
                if (row.serial) serials[row.address] = row.serial;
            }
            for (const row of rows) if (row.state === 'known' && row.serial) serials[row.address] = row.serial;
            state.collapsed.delete(folderId);
            return added + moved > 0;
        });
        if (!applied) return;
        host.send(Command.discoveryRecordSerials, payload.discoveryRecordSerials(serials));
        for (const row of chosen) {
            row.choice.checked = false;
            row.choice.disabled = true;
        }
        $('discovery-status').textContent = `${added} added, ${moved} moved`;
        paintControls();
    }

    $('find-controllers').addEventListener('click', () => {
        fillFolders();
        paintControls();
        dialog.showModal();
        $('discovery-ranges').focus();
    });
    $('discovery-scan').addEventListener('click', scan);
    $('discovery-ranges').addEventListener('keydown', (event) => {
        if (event.key === 'Enter') {
            event.preventDefault();
            if (!running) scan();
        }
    });
    $('discovery-stop').addEventListener('click', () => host.send(Command.discoveryCancel));
    $('discovery-apply').addEventListener('click', apply);
    dialog.addEventListener('close', () => {
        if (running) host.send(Command.discoveryCancel);
        $('find-controllers').focus();
    });

    host.on(Message.discoveryRefused, (body) => {
        running = false;
        $('discovery-status').textContent = String(body.message || '');
        paintControls();
    });
    host.on(Message.discoveryStarted, (body) => {
        $('discovery-progress').max = Math.max(1, body.total || 0);
    });
    host.on(Message.discoveryProgress, (body) => {
        $('discovery-progress').max = Math.max(1, body.total || 0);
        $('discovery-progress').value = body.done || 0;
        $('discovery-status').textContent = `Scanning: ${body.done} of ${body.total} addresses, ${body.found} found`;
    });
    host.on(Message.discoveryFinished, (body) => {
        running = false;
        $('discovery-progress').value = $('discovery-progress').max;
        $('discovery-status').textContent = String(body.message || '');
        showRows(Array.isArray(body.rows) ? body.rows : []);
        paintControls();
    });
    host.on(Message.discoverySerialsRecorded, (body) => {
        if (!body.saved) setStatus('The serial numbers of the controllers could not be recorded', 'error');
    });
}
