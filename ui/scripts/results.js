// The results panel of device jobs: one row per device (waiting, running with a progress bar
// and the tool's latest line, then done, failed with its reason, or cancelled, each with the
// time it took), the job's summary, a filter to the failed rows and the pieces "Retry failed",
// "Cancel" and "Copy as text" need. The latest batch of each action is kept, so status results
// that arrive while another job runs still land in their own batch.
import { jobActionLabel } from './protocol.js';

const STATE_TEXT = { waiting: 'Waiting', running: 'Running', done: 'Done', failed: 'Failed', cancelled: 'Cancelled' };

export function formatSeconds(seconds) {
    if (typeof seconds !== 'number' || !(seconds >= 0)) return '';
    return seconds < 10 ? `${seconds.toFixed(1)} s` : `${Math.round(seconds)} s`;
}

export function createResults(elements) {
    const batches = new Map(); // action -> batch
    const jobs = new Map(); // jobId -> batch
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
        if (row.state === 'running') {
            const bar = element('progress', 'result-progress');
            bar.max = 100;
            bar.value = row.percent;
            bar.setAttribute('aria-label', `Progress of ${row.names.join(', ')}`);
            cells[2].append(' ', bar);
        }
        cells[3].textContent = row.exitCode === null ? '' : String(row.exitCode);
        cells[4].textContent = row.state === 'running' ? row.line : row.message;
        cells[5].textContent = row.reason;
        cells[6].textContent = formatSeconds(row.seconds);
    }

    function counts(batch) {
        const tally = { waiting: 0, running: 0, done: 0, failed: 0, cancelled: 0 };
        for (const row of batch.rows) tally[row.state] += 1;
        return tally;
    }

    function summaryText(batch) {
        const label = jobActionLabel[batch.action] || batch.action;
        const tally = counts(batch);
        if (batch.summary && !tally.waiting && !tally.running) {
            const { total, succeeded, failed, cancelled } = batch.summary;
            const notSent = batch.rows.filter((row) => !row.sent).length;
            return `${label} finished: ${succeeded} of ${total} succeeded, ${failed} failed` + (cancelled ? `, ${cancelled} cancelled` : '')
                + (notSent ? `; ${notSent} not sent` : '');
        }
        const parts = [`${tally.done} done`, `${tally.failed} failed`];
        if (tally.cancelled) parts.push(`${tally.cancelled} cancelled`);
        if (tally.running) parts.push(`${tally.running} running`);
        if (tally.waiting) parts.push(`${tally.waiting} waiting`);
        return `${label}: ${batch.rows.length} device${batch.rows.length === 1 ? '' : 's'}, ${parts.join(', ')}`;
    }

    function paintSummary() {
        const batch = shown;
        elements.summary.textContent = batch ? summaryText(batch) : '';
        const busy = !!batch && !batch.summary;
        elements.retry.disabled = !batch || !failedDevices().length || busy;
        elements.cancel.disabled = !batch || !batch.jobId || !!batch.summary || batch.cancelling;
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
            element('td', 'result-state'), element('td', 'result-code'), element('td', 'result-message'),
            element('td', 'result-reason'), element('td', 'result-time'));
        const row = { names, address, state, message, reason: '', line: '', percent: 0, seconds: null, exitCode: null, element: tr, sent: state === 'waiting' };
        paintRow(row);
        return row;
    }

    // A new batch for these devices ({ name, ip }); returns it with the devices to send, each
    // address once. Devices that cannot be sent get a failed row at once.
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
            row.slowLink = !!device.slowLink;
            byAddress.set(address, row);
            rows.push(row);
        }
        const batch = { action, rows: rows.concat(refused), byAddress, summary: null, jobId: null, cancelling: false };
        batches.set(action, batch);
        show(batch);
        return { batch, devices: rows.map(sentDevice) };
    }

    // A device as jobs_start takes it; the slow-link mark only where it is set.
    function sentDevice(row) {
        const device = { ip: row.address, name: row.names.join(', ') };
        if (row.slowLink) device.slowLink = true;
        return device;
    }

    function batchOf(jobId) {
        return jobs.get(jobId) || null;
    }

    function repaint(batch) {
        if (batch === shown) paintSummary();
    }

    // jobStarted: the batch now belongs to the job.
    function bind(batch, jobId) {
        if (batch.jobId) return;
        batch.jobId = jobId;
        jobs.set(jobId, batch);
        repaint(batch);
    }

    // jobRefused of a start: every waiting row fails with the host's message.
    function refuse(batch, message) {
        if (batch.jobId || batch.summary) return;
        const waiting = batch.rows.filter((row) => row.state === 'waiting');
        for (const row of waiting) {
            row.state = 'failed';
            row.exitCode = -1;
            row.message = message;
            paintRow(row);
        }
        batch.summary = { total: waiting.length, succeeded: 0, failed: waiting.length, cancelled: 0 };
        repaint(batch);
    }

    function progress(event) {
        const batch = batchOf(event.jobId);
        const row = batch && batch.byAddress.get(event.deviceIp);
        if (!row || (row.state !== 'waiting' && row.state !== 'running')) return;
        const wasRunning = row.state === 'running';
        row.state = 'running';
        row.percent = typeof event.percent === 'number' ? event.percent : 0;
        row.line = String(event.line || '');
        const bar = row.element.querySelector('progress');
        if (wasRunning && bar) {
            bar.value = row.percent;
            row.element.children[4].textContent = row.line;
        } else {
            paintRow(row);
            repaint(batch);
        }
    }

    function result(event) {
        const batch = batchOf(event.jobId);
        const row = batch && batch.byAddress.get(event.deviceIp);
        if (!row) return;
        row.state = event.success ? 'done' : event.cause === 'cancelled' ? 'cancelled' : 'failed';
        row.exitCode = typeof event.exitCode === 'number' ? event.exitCode : null;
        row.message = String(event.message || '');
        row.reason = event.success ? '' : String(event.reason || '');
        row.seconds = event.seconds;
        paintRow(row);
        repaint(batch);
    }

    function finish(event) {
        const batch = batchOf(event.jobId);
        if (!batch) return;
        batch.summary = event;
        jobs.delete(event.jobId);
        repaint(batch);
    }

    // The job of the shown batch while it runs, marked as being cancelled.
    function takeJobToCancel() {
        if (!shown || !shown.jobId || shown.summary || shown.cancelling) return null;
        shown.cancelling = true;
        paintSummary();
        return shown.jobId;
    }

    function failedDevices() {
        if (!shown) return [];
        return shown.rows.filter((row) => (row.state === 'failed' || row.state === 'cancelled') && row.sent)
            .map(sentDevice);
    }

    function asText() {
        if (!shown) return '';
        const lines = [summaryText(shown)];
        for (const row of shown.rows) {
            lines.push([STATE_TEXT[row.state], row.names.join(', '), row.address,
                row.exitCode === null ? '' : row.exitCode, row.message, row.reason, formatSeconds(row.seconds)].join('\t'));
        }
        return lines.join('\n') + '\n';
    }

    elements.failedOnly.addEventListener('change', () => {
        elements.table.classList.toggle('failed-only', elements.failedOnly.checked);
    });

    return {
        start,
        bind,
        refuse,
        progress,
        result,
        finish,
        takeJobToCancel,
        failedDevices,
        asText,
        currentAction: () => (shown ? shown.action : null),
        currentOptions: () => (shown ? shown.options : undefined)
    };
}
