// Backup from the window: the dialog "Backup" asks where the archives go before the job starts.
// The backup library (docs/backup_library.md) is the default, so every backup shows in the
// device's History; a folder the technician names or chooses takes its place, and then only
// the zip archives are written there.
import { JobAction, FileKind } from './protocol.js';
import { $, setStatus } from './page.js';
import { confirmDialog, submitOnEnter } from './dialogs.js';
import { wireChooser } from './file-chooser.js';
import { describeDevices } from './selection.js';

const toFolder = () => $('backup-to-folder').checked;

// Keeps the dialog open with the reason when a folder is wanted but none is named.
function checkBackup(event) {
    const problem = toFolder() && !$('backup-folder').value.trim() ? 'Choose the folder to back up into' : '';
    $('backup-problem').textContent = problem;
    if (problem) event.preventDefault();
}

// The job's options: the library, or the folder named.
function destination() {
    return toFolder() ? { backupFolder: $('backup-folder').value.trim() } : { library: true };
}

async function askDestination(devices) {
    $('backup-devices').textContent = describeDevices(devices);
    $('backup-problem').textContent = '';
    $('backup-to-library').checked = true;
    setTimeout(() => $('backup-to-library').focus(), 0);
    const ok = await confirmDialog($('backup-dialog'));
    if (!ok) setStatus('Backup cancelled');
    return ok ? destination() : null;
}

// Wraps the jobs of the results panel: a backup asks the dialog first.
export function wireBackupDialog(jobs) {
    wireChooser($('backup-choose'), $('backup-folder'), FileKind.backupFolder);
    submitOnEnter($('backup-dialog'), $('backup-ok'));
    $('backup-ok').addEventListener('click', checkBackup);
    // A folder typed or chosen is the destination.
    $('backup-folder').addEventListener('input', () => {
        if ($('backup-folder').value.trim()) $('backup-to-folder').checked = true;
    });

    async function run(action, devices, options) {
        // Nothing to ask when no device can be sent: the results panel says why.
        if (action !== JobAction.backup || options || !devices.some((device) => device.ip.trim()))
            return jobs.run(action, devices, options);
        const chosen = await askDestination(devices);
        if (chosen) jobs.run(action, devices, chosen);
        document.querySelector('[data-action=backup]').focus();
    }

    return Object.assign({}, jobs, { run });
}
