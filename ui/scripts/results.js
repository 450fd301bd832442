// The results of the device actions: one row per device (waiting, done or failed with the
// host's message and exit code), the batch summary, a filter to the failed rows and the
// pieces "Retry failed" and "Copy as text" need. The latest batch of each action is kept, so
// status results that arrive while another action runs still land in their own batch.
import { actionLabel, canJoinAddress } from './protocol.js';

const STATE_TEXT = { waiting: 'Waiting', done: 'Done', failed: 'Failed' };

export function createResults(elements) {
    const batches = new Map();
    let shown = null;

    function element(tag, className, text) {
        const node = document.createElement(tag);
        if (className) node.className = className;
        if (text !== undefined) node.textContent = text;
        return node;
    }

    function paintRow(row) {
        const cells = row.element.children;
        row.element.className = 'result-' + row.state;
        cells[2].textContent = STATE_TEXT[row.state];
        cells[3].textContent = row.exitCode === null ? '' : String(row.exitCode);
        cells[4].textContent = row.message;
    }

    function counts(batch) {
        const tally = { waiting: 0, done: 0, failed: 0 };
        for (const row of batch.rows) tally[row.state] += 1;
        return tally;
    }

    function summaryText(batch) {
        const label = actionLabel[batch.action] || batch.action;
        const tally = counts(batch);
        if (batch.summary && !tally.waiting) {
            const { total, succeeded, failed } = batch.summary;
            const notSent = batch.rows.filter((row) => !row.sent).length;
            return `${label} finished: ${succeeded} of ${total} succeeded, ${failed} failed` + (notSent ? `; ${notSent} not sent` : '');
        }
        const parts = [`${tally.done} done`, `${tally.failed} failed`];
        if (tally.waiting) parts.push(`${tally.waiting} waiting`);
        return `${label}: ${batch.rows.length} device${batch.rows.length === 1 ? '' : 's'}, ${parts.join(', ')}`;
    }

    function paintSummary() {
        const batch = shown;
        elements.summary.textContent = batch ? summaryText(batch) : '';
        elements.retry.disabled = !batch || !failedDevices().length || counts(batch).waiting > 0;
        elements.copy.disabled = !batch;
        elements.empty.hidden = !!batch;
    }

    function show(batch) {
        shown = batch;
        const body = element('tbody');
        body.id = elements.body.id;
        for (const row of batch.rows) body.appendChild(row.element);
        elements.body.replaceWith(body);
        elements.body = body;
        paintSummary();
    }

    function newRow(names, address, state, message) {
        const tr = element('tr');
        tr.append(element('td', 'result-name', names.join(', ')), element('td', 'result-address', address),
            element('td', 'result-state'), element('td', 'result-code'), element('td', 'result-message'));
        const row = { names, address, state, message, exitCode: null, element: tr, sent: state === 'waiting' };
        paintRow(row);
        return row;
    }

    // A new batch for these devices ({ name, ip }); returns the addresses to send, each once.
    // Devices that cannot be sent get a failed row at once.
    function start(action, devices) {
        const byAddress = new Map();
        const rows = [];
        const refused = [];
        for (const device of devices) {
            const address = (device.ip || '').trim();
            if (!address) {
                refused.push(newRow([device.name], '', 'failed', 'The device has no address'));
                continue;
            }
            if (byAddress.has(address)) {
                const row = byAddress.get(address);
                row.names.push(device.name);
                row.element.children[0].textContent = row.names.join(', ');
                continue;
            }
            const row = newRow([device.name], address, 'waiting', '');
            byAddress.set(address, row);
            rows.push(row);
        }
        if (rows.length > 1) {
            for (const row of rows.filter((r) => !canJoinAddress(r.address))) {
                row.state = 'failed';
                row.sent = false;
                row.message = 'An address with a comma can only be run on its own';
                byAddress.delete(row.address);
                paintRow(row);
            }
        }
        const batch = { action, rows: rows.concat(refused), byAddress, summary: null };
        batches.set(action, batch);
        show(batch);
        return rows.filter((row) => row.sent).map((row) => row.address);
    }

    // One nativeActionResult. A result without an address (a cancelled picker, a missing
    // address) answers for every device still waiting.
    function apply(result) {
        const batch = batches.get(result.action);
        if (!batch) return;
        const address = typeof result.deviceIp === 'string' ? result.deviceIp.trim() : '';
        let targets;
        if (address) {
            let row = batch.byAddress.get(address);
            if (!row) {
                row = newRow([address], address, 'waiting', '');
                batch.byAddress.set(address, row);
                batch.rows.push(row);
                if (batch === shown) elements.body.appendChild(row.element);
            }
            targets = [row];
        } else {
            targets = batch.rows.filter((row) => row.state === 'waiting');
        }
        for (const row of targets) {
            row.state = result.success && result.exitCode === 0 ? 'done' : 'failed';
            row.exitCode = typeof result.exitCode === 'number' ? result.exitCode : null;
            row.message = String(result.message || '');
            paintRow(row);
        }
        if (batch === shown) paintSummary();
    }

    function summarize(summary) {
        const batch = batches.get(summary.action);
        if (!batch) return;
        batch.summary = summary;
        if (batch === shown) paintSummary();
    }

    function failedDevices() {
        if (!shown) return [];
        return shown.rows.filter((row) => row.state === 'failed' && row.sent)
            .map((row) => ({ name: row.names.join(', '), ip: row.address }));
    }

    function asText() {
        if (!shown) return '';
        const lines = [summaryText(shown)];
        for (const row of shown.rows) {
            lines.push([STATE_TEXT[row.state], row.names.join(', '), row.address,
                row.exitCode === null ? '' : row.exitCode, row.message].join('\t'));
        }
        return lines.join('\n') + '\n';
    }

    elements.failedOnly.addEventListener('change', () => {
        elements.table.classList.toggle('failed-only', elements.failedOnly.checked);
    });

    return {
        start,
        apply,
        summarize,
        failedDevices,
        asText,
        currentAction: () => (shown ? shown.action : null)
    };
}
