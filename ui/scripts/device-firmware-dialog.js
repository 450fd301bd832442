// "DALI device firmware": a .d2fw file pushed to every chosen controller as a job in the
// results panel; the controller then offers it to the DALI devices of its lines.
import { LineJob, FileKind } from './protocol.js';
import { $, setStatus } from './page.js';
import { confirmDialog, submitOnEnter } from './dialogs.js';
import { wireChooser } from './file-chooser.js';
import { selectedDevices, describeDevices } from './selection.js';

let jobs = null;

function checkFile(event) {
    const file = $('device-firmware-file').value.trim();
    const problem = !file ? 'Choose the firmware file'
        : !/\.d2fw$/i.test(file) ? 'A DALI device firmware file ends in .d2fw' : '';
    $('device-firmware-problem').textContent = problem;
    if (problem) event.preventDefault();
}

async function openDeviceFirmware() {
    const devices = selectedDevices();
    if (!devices.length) return;
    $('device-firmware-devices').textContent = describeDevices(devices);
    $('device-firmware-problem').textContent = '';
    setTimeout(() => $('device-firmware-file').focus(), 0);
    if (await confirmDialog($('device-firmware-dialog')))
        jobs.run(LineJob.deviceFirmware, devices, { firmwareFile: $('device-firmware-file').value.trim() });
    else
        setStatus('DALI device firmware cancelled');
    $('open-device-firmware').focus();
}

export function wireDeviceFirmwareDialog(jobRunner) {
    jobs = jobRunner;
    wireChooser($('device-firmware-choose'), $('device-firmware-file'), FileKind.deviceFirmware);
    submitOnEnter($('device-firmware-dialog'), $('device-firmware-ok'));
    $('device-firmware-ok').addEventListener('click', checkFile);
    $('open-device-firmware').addEventListener('click', openDeviceFirmware);
}
