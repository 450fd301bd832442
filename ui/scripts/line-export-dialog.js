// "Export DALI lines": the channel, group and input CSV files of the chosen lines of every
// chosen controller into a folder, one folder per controller named after it and its address
// (the host names and makes it), as a job in the results panel.
import { LineJob, FileKind } from './protocol.js';
import { $, setStatus } from './page.js';
import { confirmDialog, submitOnEnter } from './dialogs.js';
import { wireChooser } from './file-chooser.js';
import { selectedDevices, describeDevices } from './selection.js';

let jobs = null;

function chosenLines() {
    return [...document.querySelectorAll('input[name=export-line]')].filter((box) => box.checked).map((box) => Number(box.value));
}

// Keeps the dialog open with the reason when the choice cannot run.
function checkExport(event) {
    const problem = !chosenLines().length ? 'Choose at least one line'
        : !$('line-export-folder').value.trim() ? 'Choose the folder to export into' : '';
    $('line-export-problem').textContent = problem;
    if (problem) event.preventDefault();
}

async function openLineExport() {
    const devices = selectedDevices();
    if (!devices.length) return;
    $('line-export-devices').textContent = describeDevices(devices);
    $('line-export-problem').textContent = '';
    setTimeout(() => $('line-export-folder').focus(), 0);
    if (await confirmDialog($('line-export-dialog'))) {
        const lines = chosenLines();
        jobs.run(LineJob.export, devices, { lines, exportFolder: $('line-export-folder').value.trim() });
    } else {
        setStatus('Export cancelled');
    }
    $('open-line-export').focus();
}

export function wireLineExportDialog(jobRunner) {
    jobs = jobRunner;
    wireChooser($('line-export-choose'), $('line-export-folder'), FileKind.folder);
    submitOnEnter($('line-export-dialog'), $('line-export-ok'));
    $('line-export-ok').addEventListener('click', checkExport);
    $('open-line-export').addEventListener('click', openLineExport);
}
