// Device jobs from the page's side: Status, Backup, Restore and Upgrade firmware start a job of
// the chosen devices, its messages fill the results panel, Cancel stops the shown job, "Retry
// failed" starts a job of its failed and cancelled devices, and the number of devices at once
// is a setting the host keeps. An upgrade carries the rollout options of its dialog
// (rollout-dialog.js), and a retry takes those of the action's last start.
import { Command, Message, jobActionLabel, payload, validConcurrency, DEFAULT_CONCURRENCY, MIN_CONCURRENCY, MAX_CONCURRENCY } from './protocol.js';
import { createResults } from './results.js';
import { auditResultView } from './audit.js';

const plural = (count) => `${count} device${count === 1 ? '' : 's'}`;

export function createJobs({ host, elements, setStatus, onStatusData }) {
    const results = createResults(elements);
    const pendingStarts = []; // { action, batch } until jobStarted or jobRefused
    const actionOfJob = new Map();
    const quietJobs = new Map(); // jobId -> handlers of runQuietly
    const optionsOfAction = new Map();
    let concurrency = DEFAULT_CONCURRENCY;

    function label(action) {
        return jobActionLabel[action] || action;
    }

    function run(action, devices, options) {
        if (!action) return;
        // A restore's archive belongs to that one run (the History's), never to the next.
        if (options && action !== 'restore') optionsOfAction.set(action, options);
        const sent = options || optionsOfAction.get(action) || {};
        const { batch, devices: toSend } = results.start(action, devices);
        if (!toSend.length) {
            setStatus('None of the selected devices has an address', 'error');
            return;
        }
        setStatus(`${label(action)} started for ${plural(toSend.length)}`);
        pendingStarts.push({ action, batch });
        batch.options = action === 'restore' ? undefined : sent; // "Retry failed" sends them again
        host.send(Command.jobsStart, payload.jobsStart(action, toSend, concurrency, sent));
    }

    // A job whose messages go to handlers instead of the results panel (the line set-up's
    // preview): handlers.started(jobId), result(body), finished(body), refused(message).
    function runQuietly(action, devices, options, handlers) {
        pendingStarts.push({ action, handlers });
        host.send(Command.jobsStart, payload.jobsStart(action, devices, concurrency, options));
    }

    function cancelShown() {
        const jobId = results.takeJobToCancel();
        if (!jobId) return;
        setStatus('Cancelling\u2026');
        host.send(Command.jobsCancel, payload.jobsCancel(jobId));
    }

    function showConcurrency(value) {
        concurrency = value;
        elements.concurrency.value = String(value);
    }

    function changeConcurrency() {
        const value = Number(elements.concurrency.value);
        if (!validConcurrency(value)) {
            setStatus(`Devices at once must be a whole number from ${MIN_CONCURRENCY} to ${MAX_CONCURRENCY}`, 'error');
            elements.concurrency.value = String(concurrency);
            return;
        }
        concurrency = value;
        host.send(Command.jobsSetSettings, payload.jobsSetSettings(value));
    }

    host.on(Message.jobStarted, (body) => {
        const at = pendingStarts.findIndex((start) => start.action === body.action);
        if (at < 0) return;
        const [{ batch, handlers }] = pendingStarts.splice(at, 1);
        if (handlers) {
            quietJobs.set(body.jobId, handlers);
            handlers.started(body.jobId);
            return;
        }
        actionOfJob.set(body.jobId, body.action);
        results.bind(batch, body.jobId);
    });
    host.on(Message.jobRefused, (body) => {
        if (body.request === Command.jobsStart) {
            const start = pendingStarts.shift();
            if (start && start.handlers) {
                start.handlers.refused(String(body.message || ''));
                return;
            }
            if (start) results.refuse(start.batch, String(body.message || ''));
            setStatus(`${start ? label(start.action) + ': ' : ''}${body.message}`, 'error');
            return;
        }
        setStatus(String(body.message || ''), 'error');
    });
    host.on(Message.jobDeviceProgress, (body) => {
        if (!quietJobs.has(body.jobId)) results.progress(body);
    });
    host.on(Message.jobDeviceResult, (message) => {
        if (quietJobs.has(message.jobId)) {
            quietJobs.get(message.jobId).result(message);
            return;
        }
        const action = actionOfJob.get(message.jobId);
        const body = action === 'audit' ? auditResultView(message) : message;
        results.result(body);
        const text = `${label(action)} ${body.deviceIp}: ${body.success ? body.message : body.reason || body.message}`;
        setStatus(text, body.success ? 'ok' : 'error');
        if (action === 'status' && body.success && body.data && typeof body.data === 'object')
            onStatusData(String(body.deviceIp).trim(), body.data);
    });
    host.on(Message.jobFinished, (body) => {
        if (quietJobs.has(body.jobId)) {
            const handlers = quietJobs.get(body.jobId);
            quietJobs.delete(body.jobId);
            handlers.finished(body);
            return;
        }
        results.finish(body);
        const action = actionOfJob.get(body.jobId);
        actionOfJob.delete(body.jobId);
        // A job of one device keeps that device's line, as a single action always did.
        if (body.total === 1 && !body.cancelled) return;
        const cancelled = body.cancelled ? `, ${body.cancelled} cancelled` : '';
        setStatus(`${label(action)}: ${body.succeeded} of ${body.total} devices succeeded, ${body.failed} failed${cancelled}`,
            body.failed || body.cancelled ? 'error' : 'ok');
    });
    host.on(Message.jobSettings, (body) => {
        if (validConcurrency(body.concurrency)) showConcurrency(body.concurrency);
        if (body.saved === false) setStatus('The number of devices at once could not be saved', 'error');
    });

    elements.cancel.addEventListener('click', cancelShown);
    elements.retry.addEventListener('click', () => run(results.currentAction(), results.failedDevices(), results.currentOptions()));
    elements.concurrency.addEventListener('change', changeConcurrency);

    return { run, runQuietly, cancel: (jobId) => host.send(Command.jobsCancel, payload.jobsCancel(jobId)), asText: () => results.asText() };
}
