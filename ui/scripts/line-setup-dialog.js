// The DALI line set-up dialog: per line (1 to 4) a channel, group and input CSV file; the
// preview, the tool's dry run on every chosen controller, as a table of each field that would
// change and of the lines that would not be pushed with the reason; Apply runs the set-up as a
// job in the results panel. Apply waits for a preview of the current choices in which every
// line of every controller can be pushed, so a bad file never reaches any controller.
import { LineJob, DALI_LINES, FileKind } from './protocol.js';
import { $, element, setStatus } from './page.js';
import { confirmDialog } from './dialogs.js';
import { wireChooser } from './file-chooser.js';
import { selectedDevices, describeDevices } from './selection.js';

const KINDS = [['channelFile', 'Channel file', 'channel'], ['groupsFile', 'Group file', 'groups'], ['inputsFile', 'Input file', 'inputs']];
// Typing a path previews once the keys rest; a chosen file, a left field or a line ticked on
// or off previews at once.
const PREVIEW_DELAY_MS = 300;

let jobs = null;
let devices = [];
let preview = null; // { key, jobId, results: Map address -> jobDeviceResult, finished, refused }
let timer = 0;

function fieldOf(line, slug) {
    return $(`line-${line}-${slug}`);
}

// One row per line: its box, then a field and a "Choose…" button per file kind, under the
// kinds' column heads.
function buildLines() {
    const holder = $('line-setup-lines');
    holder.append(element('span', 'line-head'), ...KINDS.map(([, text]) => element('span', 'line-head', text)));
    for (const line of DALI_LINES) {
        const use = element('label', 'inline line-use');
        const box = element('input');
        box.type = 'checkbox';
        box.id = `line-${line}-use`;
        use.append(box, ` Line ${line}`);
        holder.append(use);
        for (const [, text, slug] of KINDS) {
            const row = element('div', 'file-row');
            const field = element('input');
            field.id = `line-${line}-${slug}`;
            field.autocomplete = 'off';
            field.spellcheck = false;
            field.dataset.line = String(line);
            field.setAttribute('aria-label', `${text} of line ${line}`);
            const choose = element('button', '', 'Choose\u2026');
            choose.type = 'button';
            choose.setAttribute('aria-label', `Choose the ${text.toLowerCase()} of line ${line}`);
            wireChooser(choose, field, FileKind.csv);
            row.append(field, choose);
            holder.append(row);
        }
    }
}

// The lines as jobs_start takes them, or the problem that stops a preview.
function choices() {
    const lines = [];
    for (const line of DALI_LINES) {
        if (!$(`line-${line}-use`).checked) continue;
        const entry = { line };
        for (const [key, , slug] of KINDS) {
            const path = fieldOf(line, slug).value.trim();
            if (path) entry[key] = path;
        }
        if (Object.keys(entry).length === 1) return { problem: `Choose a CSV file for line ${line}` };
        lines.push(entry);
    }
    if (!lines.length) return { problem: 'Choose a line and its CSV files' };
    return { lines, key: JSON.stringify(lines) };
}

function cell(text) {
    return element('td', '', String(text));
}

function paintPreview() {
    const body = $('preview-body');
    const blocked = $('not-pushed-body');
    const rows = [];
    const notPushed = [];
    let changes = 0;
    let changedDevices = 0;
    for (const device of devices) {
        const result = preview && preview.results.get(device.ip);
        if (!result) continue;
        const data = result.data && typeof result.data === 'object' ? result.data : {};
        const changeList = Array.isArray(data.changes) ? data.changes : [];
        for (const change of changeList)
            rows.push([device.name, change.line, change.record, change.field, change.old, change.new]);
        changes += changeList.length;
        if (changeList.length) changedDevices += 1;
        const reported = new Set();
        for (const line of Array.isArray(data.lines) ? data.lines : []) {
            reported.add(line.line);
            if (!line.done) notPushed.push([device.name, line.line, line.reason]);
        }
        if (!result.success) {
            for (const entry of JSON.parse(preview.key))
                if (!reported.has(entry.line)) notPushed.push([device.name, entry.line, result.reason || result.message]);
        }
    }
    body.replaceChildren(...rows.map((values) => {
        const tr = element('tr');
        tr.append(...values.map(cell));
        return tr;
    }));
    blocked.replaceChildren(...notPushed.map((values) => {
        const tr = element('tr', 'not-pushed');
        tr.append(...values.map(cell));
        return tr;
    }));
    $('not-pushed-table').hidden = !notPushed.length;
    return { changes, changedDevices, notPushed: notPushed.length };
}

function showPreviewState() {
    const { changes, changedDevices, notPushed } = paintPreview();
    const status = $('preview-status');
    const current = choices();
    const upToDate = preview && current.key === preview.key;
    let ready = false;
    if (!preview) status.textContent = current.problem || '';
    else if (preview.refused) status.textContent = preview.refused;
    else if (!preview.finished) status.textContent = `Preview running: ${preview.results.size} of ${devices.length} devices checked`;
    else {
        const failed = [...preview.results.values()].some((result) => !result.success);
        status.textContent = `${changes} field${changes === 1 ? '' : 's'} would change on ${changedDevices} of ${devices.length} device${devices.length === 1 ? '' : 's'}`
            + (notPushed ? `; ${notPushed} line${notPushed === 1 ? '' : 's'} will not be pushed` : '');
        ready = upToDate && !failed && preview.results.size === devices.length;
    }
    $('line-setup-apply').disabled = !ready;
}

// A preview of the current choices; one that already ran (or runs) for them is kept unless
// `again` (the Preview button: the files may have changed on disk).
function runPreview(again) {
    clearTimeout(timer);
    const current = choices();
    if (again !== true && preview && !preview.refused && current.key === preview.key) {
        showPreviewState();
        return;
    }
    if (preview && !preview.finished && preview.jobId) jobs.cancel(preview.jobId);
    if (current.problem) {
        preview = null;
        showPreviewState();
        return;
    }
    const mine = { key: current.key, jobId: null, results: new Map(), finished: false, refused: '' };
    preview = mine;
    const own = (handler) => (body) => { if (preview === mine) { handler(body); showPreviewState(); } };
    jobs.runQuietly(LineJob.setup, devices, { lines: current.lines, dryRun: true }, {
        started: (jobId) => { mine.jobId = jobId; },
        result: own((body) => mine.results.set(body.deviceIp, body)),
        finished: own(() => { mine.finished = true; }),
        refused: own((message) => { mine.refused = message; mine.finished = true; })
    });
    showPreviewState();
}

function schedulePreview(event) {
    const line = event && event.target.dataset.line;
    if (line && event.target.value.trim()) $(`line-${line}-use`).checked = true;
    clearTimeout(timer);
    $('line-setup-apply').disabled = true;
    timer = setTimeout(runPreview, PREVIEW_DELAY_MS);
}

// The selected devices, each address once; those without one cannot take part.
function sendableDevices() {
    const byAddress = new Map();
    for (const device of selectedDevices()) {
        const ip = device.ip.trim();
        if (!ip || byAddress.has(ip)) continue;
        byAddress.set(ip, device.slowLink ? { ip, name: device.name, slowLink: true } : { ip, name: device.name });
    }
    return [...byAddress.values()];
}

async function openLineSetup() {
    devices = sendableDevices();
    if (!devices.length) {
        setStatus('None of the selected devices has an address', 'error');
        return;
    }
    $('line-setup-devices').textContent = describeDevices(devices);
    preview = null;
    const current = choices();
    if (!current.problem) runPreview();
    else showPreviewState();
    const dialog = $('line-setup-dialog');
    setTimeout(() => $('line-1-use').focus(), 0);
    const applied = await confirmDialog(dialog);
    clearTimeout(timer);
    if (preview && !preview.finished && preview.jobId) jobs.cancel(preview.jobId);
    const lines = applied && preview ? JSON.parse(preview.key) : null;
    preview = null;
    if (lines) jobs.run(LineJob.setup, devices, { lines });
    $('open-line-setup').focus();
}

export function wireLineSetupDialog(jobRunner) {
    jobs = jobRunner;
    buildLines();
    const holder = $('line-setup-lines');
    holder.addEventListener('input', schedulePreview);
    holder.addEventListener('change', () => runPreview());
    holder.addEventListener('keydown', (event) => {
        // Enter previews at once instead of submitting the dialog with its first button.
        if (event.key === 'Enter' && event.target.tagName === 'INPUT') {
            event.preventDefault();
            runPreview(true);
        }
    });
    $('line-setup-preview').addEventListener('click', () => runPreview(true));
    $('open-line-setup').addEventListener('click', openLineSetup);
}
