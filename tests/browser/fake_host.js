// Runs inside the page before its scripts: a stand-in for the desktop host's channel. It keeps
// every message the page posts (as the JSON the host would read) in window.posted and answers
// the way the host does. window.hostSetup, set by the test before the page loads, holds the
// sites document, the addresses whose actions fail, the status answers and the legacy state.
(() => {
    const setup = window.hostSetup || {};
    const listeners = [];
    const posted = [];
    window.posted = posted;

    function deliver(command, payload) {
        const event = { data: { command, payload } };
        setTimeout(() => listeners.forEach((listener) => listener(event)), 0);
    }
    window.deliverFromHost = (command, payload) => listeners.forEach((listener) => listener({ data: { command, payload } }));

    function text(body, key) {
        return body && typeof body[key] === 'string' ? body[key] : '';
    }

    function runAction(action, body) {
        const csv = text(body, 'ipsCsv');
        const pieces = csv ? csv.split(',').map((piece) => piece.trim()).filter(Boolean) : null;
        const batch = pieces ? pieces.length > 1 : false;
        const addresses = pieces ? [...new Set(pieces)] : [text(body, 'ip').trim()];
        const result = (success, exitCode, message, deviceIp, data) =>
            deliver('nativeActionResult', Object.assign({ action, success, exitCode, message, deviceIp }, data ? { data } : {}));
        if (!addresses.length || !addresses[0]) {
            result(false, -1, 'Missing device IP', '');
            return;
        }
        if (action === 'native_actionRestore' && addresses.length > 1) {
            addresses.forEach((address) => result(false, -1, 'Batch restore is not supported', address));
            deliver('nativeActionBatchSummary', { action, total: addresses.length, succeeded: 0, failed: addresses.length });
            return;
        }
        if (setup.cancelNext && action !== 'native_actionGetStatus') {
            setup.cancelNext = false;
            result(false, -1, 'Action cancelled', batch ? '' : addresses[0]);
            if (batch) deliver('nativeActionBatchSummary', { action, total: addresses.length, succeeded: 0, failed: addresses.length });
            return;
        }
        let succeeded = 0;
        for (const address of addresses) {
            const failing = (setup.failing || []).includes(address);
            if (action === 'native_actionGetStatus') {
                const status = (setup.status || {})[address];
                if (status) result(true, 0, 'Status retrieved successfully', address, status);
                else result(false, -1, 'Failed to send status request', address);
                if (status) succeeded += 1;
            } else if (failing) {
                result(false, 1, 'Action failed', address);
            } else {
                result(true, 0, 'Action completed successfully', address);
                succeeded += 1;
            }
        }
        if (batch) deliver('nativeActionBatchSummary', { action, total: addresses.length, succeeded, failed: addresses.length - succeeded });
    }

    // Device jobs: each device reports progress and then its result, unless setup.holdJobs
    // keeps the job running until the page cancels it.
    let lastJob = 0;
    const heldJobs = new Map();

    // A dry run of the line set-up: each line's channel file renames device 0 after the file;
    // a file whose name holds "broken" stops its line.
    function lineSetupResult(jobId, address, options) {
        const lines = (options && options.lines) || [];
        const data = { dryRun: !!options.dryRun, lines: [], changes: [] };
        for (const line of lines) {
            const files = [line.channelFile, line.groupsFile, line.inputsFile].filter(Boolean);
            const broken = files.find((file) => file.includes('broken'));
            data.lines.push({ line: line.line, done: !broken, reason: broken ? `${broken} is not a readable CSV file (quoted field never closed); line ${line.line} not changed.` : '' });
            if (!broken && line.channelFile && options.dryRun)
                data.changes.push({ line: line.line, record: 'device 0', field: 'name', old: `"Luminaire ${address}"`, new: `"${line.channelFile.split('/').pop()}"` });
        }
        const failed = data.lines.filter((line) => !line.done);
        return failed.length
            ? { jobId, deviceIp: address, success: false, exitCode: 1, cause: 'other', reason: failed.map((line) => `Line ${line.line}: ${line.reason}`).join('; '), message: 'Action failed', seconds: 0.4, data }
            : { jobId, deviceIp: address, success: true, exitCode: 0, cause: '', reason: '', message: 'Action completed successfully', seconds: 0.4, data };
    }

    function deviceResult(jobId, action, address, options) {
        if (action === 'setupChannel') return lineSetupResult(jobId, address, options || {});
        if (action === 'audit' && !(setup.failing || []).includes(address)) {
            const findings = (setup.findings || {})[address] || [];
            return { jobId, deviceIp: address, success: true, exitCode: findings.length ? 1 : 0, cause: '', reason: '',
                message: 'Action completed successfully', seconds: 1.5, data: { findings } };
        }
        if (action === 'status') {
            const status = (setup.status || {})[address];
            return status
                ? { jobId, deviceIp: address, success: true, exitCode: 0, cause: '', reason: '', message: 'Status retrieved successfully', seconds: 0.2, data: status }
                : { jobId, deviceIp: address, success: false, exitCode: -1, cause: 'unreachable', reason: 'Failed to send status request', message: 'Failed to send status request', seconds: 10 };
        }
        if ((setup.failing || []).includes(address))
            return { jobId, deviceIp: address, success: false, exitCode: 1, cause: 'controller-refused', reason: 'Controller answered HTTP 500', message: 'Action failed', seconds: 2.5 };
        return { jobId, deviceIp: address, success: true, exitCode: 0, cause: '', reason: '', message: 'Action completed successfully', seconds: 12.25 };
    }

    function startJob(body) {
        const devices = Array.isArray(body.devices) ? body.devices : [];
        if (setup.cancelNext && body.action !== 'status') {
            setup.cancelNext = false;
            deliver('jobRefused', { request: 'jobs_start', jobId: '', message: 'Action cancelled' });
            return;
        }
        const jobId = String(++lastJob);
        deliver('jobStarted', { jobId, action: body.action, total: devices.length });
        const running = devices.slice(0, body.concurrency);
        for (const device of running) deliver('jobDeviceProgress', { jobId, deviceIp: device.ip, percent: 40, line: 'Reading item 3 of 612' });
        if (setup.holdJobs) {
            heldJobs.set(jobId, { devices, running: running.length });
            return;
        }
        let succeeded = 0;
        for (const device of devices) {
            const result = deviceResult(jobId, body.action, device.ip, body.options);
            if (result.success) succeeded += 1;
            deliver('jobDeviceResult', result);
        }
        deliver('jobFinished', { jobId, total: devices.length, succeeded, failed: devices.length - succeeded, cancelled: 0, seconds: 14 });
    }

    function cancelJob(body) {
        const job = heldJobs.get(body.jobId);
        if (!job) {
            deliver('jobRefused', { request: 'jobs_cancel', jobId: String(body.jobId), message: 'No such job' });
            return;
        }
        heldJobs.delete(body.jobId);
        const jobId = body.jobId;
        job.devices.forEach((device, index) => {
            const started = index < job.running;
            deliver('jobDeviceResult', { jobId, deviceIp: device.ip, success: false, exitCode: started ? 1 : -1, cause: 'cancelled',
                reason: started ? 'Cancelled.' : 'Cancelled before it started', message: 'Action cancelled', seconds: started ? 3 : 0 });
        });
        deliver('jobFinished', { jobId, total: job.devices.length, succeeded: 0, failed: 0, cancelled: job.devices.length, seconds: 3 });
    }

    // Discovery: setup.discovery.rows is what every scan finds; a range with "/15" is refused.
    function startDiscovery(body) {
        const ranges = text(body, 'ranges');
        if (ranges.includes('/15')) {
            deliver('discoveryRefused', { message: `The range "${ranges}" holds 131,072 addresses; one range may hold at most 65,536 (a /16)` });
            return;
        }
        const rows = (setup.discovery || {}).rows || [];
        deliver('discoveryStarted', { total: 256 });
        deliver('discoveryProgress', { done: 128, total: 256, found: 2 });
        deliver('discoveryFinished', { success: true, message: `Scanned 256 addresses: ${rows.length} rows`, scanned: 256, tree: true, rows });
    }

    const legacyStatus = (completed) => Object.assign({
        legacyDetected: false, legacyDataDetected: false, legacyInstallDetected: false, migrationCompleted: completed,
        migrationDeclined: false, migrationNeeded: false, suppressUiPrompt: false, canLaunchLegacyUninstall: false,
        legacyDataPath: '', legacyDisplayName: ''
    }, setup.legacy || {}, completed ? { migrationCompleted: true, migrationNeeded: false } : {});

    // History: setup.history lists each address's backups (newest first), setup.comparisons
    // the tool's answer for "backup", "controller" and "restore".
    function compared(body, against) {
        const reply = (setup.comparisons || {})[against] || { exitCode: 0, lines: [] };
        const outcome = reply.exitCode === 0 ? 'equal' : reply.exitCode === 1 ? 'different' : 'trouble';
        deliver('historyCompared', { requestId: text(body, 'requestId'), ip: text(body, 'ip'), id: text(body, 'id'),
            otherId: against === 'backup' ? text(body, 'otherId') : '', against, exitCode: reply.exitCode, outcome, lines: reply.lines });
    }

    function answer(message) {
        const body = message.payload || {};
        switch (message.command) {
        case 'getAppInfo':
            deliver('appInfoLoaded', { version: '2.0.2.0', productName: 'TORVANE VELDIR Tool', windowTitle: 'TORVANE VELDIR Tool 2.0.2.0',
                copyright: 'Copyright TORVANE', website: 'https://torvane.example/' });
            deliver('legacyMigrationStatus', legacyStatus(false));
            break;
        case 'getSitesData':
            deliver('sitesDataLoaded', { sitesData: setup.sites });
            break;
        case 'setSitesData':
            setup.sites = body.sitesData;
            deliver('sitesDataSaved', { success: true });
            break;
        case 'sites_exportCsv':
            deliver('sitesCsvExported', { success: true, message: 'CSV exported', path: '/home/tech/sites.csv' });
            break;
        case 'sites_importCsv':
            deliver('sitesCsvImported', { success: true, message: 'CSV imported', csvContent: setup.csv || '' });
            break;
        case 'openExternalUrl':
            deliver('openExternalUrlResult', { success: true, message: 'Opened in browser' });
            break;
        case 'native_actionBackup': case 'native_actionRestore': case 'native_actionFirmwareUpgrade': case 'native_actionGetStatus':
            runAction(message.command, body);
            break;
        case 'jobs_start':
            startJob(body);
            break;
        case 'jobs_cancel':
            cancelJob(body);
            break;
        case 'jobs_chooseFile': {
            if (!['csv', 'd2fw', 'folder', 'backupFolder'].includes(body.kind)) {
                deliver('jobRefused', { request: 'jobs_chooseFile', jobId: '', message: 'Unknown file kind' });
                break;
            }
            const path = (setup.choose || {})[body.kind] || '';
            deliver('fileChosen', { kind: body.kind, target: body.target, chosen: !!path, path });
            break;
        }
        case 'jobs_getSettings':
            deliver('jobSettings', { concurrency: setup.concurrency || 4, saved: true });
            break;
        case 'jobs_setSettings':
            setup.concurrency = body.concurrency;
            deliver('jobSettings', { concurrency: body.concurrency, saved: true });
            break;
        case 'discovery_start':
            startDiscovery(body);
            break;
        case 'discovery_recordSerials':
            deliver('discoverySerialsRecorded', { saved: true });
            break;
        case 'legacy_migrate':
            setup.sites = setup.legacySites;
            deliver('legacyMigrationStatus', legacyStatus(true));
            deliver('sitesDataLoaded', { sitesData: setup.legacySites });
            deliver('legacyMigrationResult', { success: true, migrated: true, canLaunchLegacyUninstall: true, message: 'Legacy data migrated successfully' });
            break;
        case 'history_list':
            deliver('historyList', { ip: body.ip, key: body.ip, backups: (setup.history || {})[body.ip] || [] });
            break;
        case 'history_compare':
            compared(body, body.against);
            break;
        case 'history_previewRestore':
            compared(body, 'restore');
            break;
        case 'history_openSimulator':
            deliver('historySimulatorOpened', { ip: body.ip, id: body.id, success: true, address: '127.0.0.1:40001',
                name: 'Simulated SN-001 (' + body.id + ')', message: '' });
            break;
        case 'legacy_uninstall':
            deliver('legacyUninstallLaunchResult', { success: true, message: 'Legacy uninstaller launched' });
            break;
        default:
            break;
        }
    }

    window.chrome = window.chrome || {};
    window.chrome.webview = {
        postMessage(message) {
            const copy = JSON.parse(JSON.stringify(message));
            posted.push(copy);
            answer(copy);
        },
        addEventListener(type, listener) { if (type === 'message') listeners.push(listener); },
        removeEventListener(type, listener) {
            const at = listeners.indexOf(listener);
            if (at >= 0) listeners.splice(at, 1);
        }
    };
})();
