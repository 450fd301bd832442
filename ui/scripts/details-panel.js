// The details panel: the current folder's or device's fields (saved with "Save changes"), the
// device's status as the last status job reported it, and Delete, which asks first.
import * as sites from './sites-model.js';
import { $, state, redraw, element, setStatus, entryOf, deviceInfoOf } from './page.js';
import { change } from './editing.js';
import { confirmDialog } from './dialogs.js';

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

export function editName() {
    const field = $('field-name');
    field.focus();
    field.select();
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

export async function deleteCurrent() {
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

export function wireDetails() {
    redraw.details = renderDetails;
    $('details').addEventListener('submit', applyDetails);
    $('delete').addEventListener('click', deleteCurrent);
}
