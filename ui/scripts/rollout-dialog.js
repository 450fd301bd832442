// Firmware upgrades from the window: the upgrade dialog asks how the rollout goes through the
// controllers (canary controllers first, a pause after them, the failures that stop it, the
// verification time of each controller) before the job starts, and the paused bar of the
// results panel offers "Continue" and "Stop" while a rollout waits after its canary.
import { Command, Message, JobAction, validRolloutNumber, payload } from './protocol.js';
import { $, host, setStatus } from './page.js';
import { confirmDialog } from './dialogs.js';

const numberFields = [
    { name: 'canary', id: 'rollout-canary', problem: 'Canary controllers must be a whole number from 1 to 1000' },
    { name: 'stopAfterFailures', id: 'rollout-stop', problem: 'Stop after failures must be a whole number from 1 to 1000' },
    { name: 'verifySeconds', id: 'rollout-verify', problem: 'Verification time must be a whole number of seconds from 1 to 86400' }
];

// The dialog's rollout, or null (with the reason on the status line) when a field is unusable.
function readRollout() {
    const rollout = { pauseAfterCanary: $('rollout-pause').checked };
    for (const { name, id, problem } of numberFields) {
        const field = $(id);
        const value = field.value.trim() === '' ? NaN : Number(field.value);
        if (!validRolloutNumber(name, value)) {
            setStatus(problem, 'error');
            return null;
        }
        rollout[name] = value;
    }
    return rollout;
}

async function askRollout(count) {
    $('upgrade-devices').textContent = `${count} controller${count === 1 ? '' : 's'} selected. The canary controllers are upgraded first; if one fails, no other controller is touched. Each controller must report the new firmware within the verification time.`;
    if (!(await confirmDialog($('upgrade-dialog')))) {
        setStatus('Upgrade firmware cancelled');
        return null;
    }
    return readRollout();
}

// Wraps the jobs of the results panel: an upgrade asks the dialog first.
export function wireRollout(jobs) {
    let pausedJob = null;

    function hidePaused() {
        pausedJob = null;
        $('job-paused').hidden = true;
    }

    function answerPause(command, text) {
        if (!pausedJob) return;
        const jobId = pausedJob;
        const hadFocus = $('job-paused').contains(document.activeElement);
        hidePaused();
        host.send(command, command === Command.jobsResume ? payload.jobsResume(jobId) : payload.jobsCancel(jobId));
        setStatus(text);
        if (hadFocus) $('cancel-job').focus();
    }

    host.on(Message.jobPaused, (body) => {
        pausedJob = String(body.jobId);
        $('job-paused-text').textContent = `Rollout paused: ${body.reason || 'waiting'}. Continue with the other controllers, or stop the rollout?`;
        $('job-paused').hidden = false;
        setStatus(`Upgrade firmware paused: ${body.reason || 'waiting'}`);
        $('resume-job').focus();
    });
    host.on(Message.jobFinished, (body) => {
        if (String(body.jobId) === pausedJob) hidePaused();
    });
    $('resume-job').addEventListener('click', () => answerPause(Command.jobsResume, 'Upgrade firmware continues'));
    $('stop-job').addEventListener('click', () => answerPause(Command.jobsCancel, 'Stopping the rollout\u2026'));

    async function run(action, devices, options) {
        if (action !== JobAction.firmwareUpgrade) return jobs.run(action, devices, options);
        const rollout = await askRollout(devices.length);
        if (rollout) jobs.run(action, devices, payload.upgradeOptions(rollout));
    }

    return Object.assign({}, jobs, { run });
}
