// Every message between this page and the desktop host: the names, and the payloads the host
// reads. Nothing else in the page spells a message name.

export const Command = Object.freeze({
    uiReady: 'ui_ready',
    getAppInfo: 'getAppInfo',
    getSitesData: 'getSitesData',
    setSitesData: 'setSitesData',
    exportCsv: 'sites_exportCsv',
    importCsv: 'sites_importCsv',
    openExternalUrl: 'openExternalUrl',
    backup: 'native_actionBackup',
    restore: 'native_actionRestore',
    firmwareUpgrade: 'native_actionFirmwareUpgrade',
    getStatus: 'native_actionGetStatus',
    legacyGetStatus: 'legacy_getStatus',
    legacyMigrate: 'legacy_migrate',
    legacyUninstall: 'legacy_uninstall',
    jobsStart: 'jobs_start',
    jobsCancel: 'jobs_cancel',
    jobsResume: 'jobs_resume',
    jobsGetSettings: 'jobs_getSettings',
    jobsSetSettings: 'jobs_setSettings',
    jobsChooseFile: 'jobs_chooseFile',
    discoveryStart: 'discovery_start',
    discoveryCancel: 'discovery_cancel',
    discoveryRecordSerials: 'discovery_recordSerials',
    historyList: 'history_list',
    historyCompare: 'history_compare',
    historyPreviewRestore: 'history_previewRestore',
    historyOpenSimulator: 'history_openSimulator',
    historyCloseSimulator: 'history_closeSimulator'
});

export const Message = Object.freeze({
    appInfoLoaded: 'appInfoLoaded',
    sitesDataLoaded: 'sitesDataLoaded',
    sitesDataSaved: 'sitesDataSaved',
    sitesCsvExported: 'sitesCsvExported',
    sitesCsvImported: 'sitesCsvImported',
    openExternalUrlResult: 'openExternalUrlResult',
    nativeActionResult: 'nativeActionResult',
    nativeActionBatchSummary: 'nativeActionBatchSummary',
    legacyMigrationStatus: 'legacyMigrationStatus',
    legacyMigrationResult: 'legacyMigrationResult',
    legacyUninstallLaunchResult: 'legacyUninstallLaunchResult',
    jobStarted: 'jobStarted',
    jobDeviceProgress: 'jobDeviceProgress',
    jobDeviceResult: 'jobDeviceResult',
    jobPaused: 'jobPaused',
    jobFinished: 'jobFinished',
    jobRefused: 'jobRefused',
    jobSettings: 'jobSettings',
    fileChosen: 'fileChosen',
    discoveryRefused: 'discoveryRefused',
    discoveryStarted: 'discoveryStarted',
    discoveryProgress: 'discoveryProgress',
    discoveryFinished: 'discoveryFinished',
    discoverySerialsRecorded: 'discoverySerialsRecorded',
    historyList: 'historyList',
    historyCompared: 'historyCompared',
    historyRefused: 'historyRefused',
    historySimulatorOpened: 'historySimulatorOpened',
    historySimulatorClosed: 'historySimulatorClosed'
});

// The job action of each action button (its data-action), and how the technician reads it.
export const JobAction = Object.freeze({ getStatus: 'status', backup: 'backup', restore: 'restore', firmwareUpgrade: 'upgrade', auditLines: 'audit' });
export const jobActionLabel = Object.freeze({ status: 'Status', backup: 'Backup', restore: 'Restore', upgrade: 'Upgrade firmware', audit: 'Audit DALI lines',
    setupChannel: 'DALI line set-up', exportChannel: 'Export DALI lines', pushD2fw: 'DALI device firmware' });

// The DALI line and device firmware jobs, started from their dialogs.
export const LineJob = Object.freeze({ setup: 'setupChannel', export: 'exportChannel', deviceFirmware: 'pushD2fw' });
export const DALI_LINES = Object.freeze([1, 2, 3, 4]);
// What "jobs_chooseFile" asks the host to choose.
export const FileKind = Object.freeze({ csv: 'csv', deviceFirmware: 'd2fw', folder: 'folder', backupFolder: 'backupFolder' });

// Devices a job runs at once: the host takes 1 to 32 and starts with 4.
export const MIN_CONCURRENCY = 1;
export const MAX_CONCURRENCY = 32;
export const DEFAULT_CONCURRENCY = 4;

export function validConcurrency(value) {
    return Number.isInteger(value) && value >= MIN_CONCURRENCY && value <= MAX_CONCURRENCY;
}

// A firmware rollout: canary controllers first, then groups of "devices at once"; the host takes
// 1 to 1000 for the counts and 1 to 86400 s for the verification, 180 s by default.
export const ROLLOUT_LIMITS = Object.freeze({ canary: [1, 1000], stopAfterFailures: [1, 1000], verifySeconds: [1, 86400] });
export const DEFAULT_ROLLOUT = Object.freeze({ canary: 1, pauseAfterCanary: false, stopAfterFailures: 1, verifySeconds: 180 });

export function validRolloutNumber(name, value) {
    const [low, high] = ROLLOUT_LIMITS[name];
    return Number.isInteger(value) && value >= low && value <= high;
}

// The device actions as the technician reads them.
export const actionLabel = Object.freeze({
    [Command.getStatus]: 'Status',
    [Command.backup]: 'Backup',
    [Command.restore]: 'Restore',
    [Command.firmwareUpgrade]: 'Upgrade firmware'
});

// The host splits "ipsCsv" at commas, so an address that holds one can only travel alone.
export function canJoinAddress(address) {
    return address.indexOf(',') < 0;
}

// One device travels as "ip"; several as the comma-separated "ipsCsv", which the host runs
// as one batch with a summary at its end.
export function devicePayload(addresses) {
    return addresses.length === 1 ? { ip: addresses[0] } : { ipsCsv: addresses.join(',') };
}

export const payload = Object.freeze({
    setSitesData: (doc) => ({ sitesData: doc }),
    exportCsv: (csvText) => ({ csvContent: csvText }),
    openExternalUrl: (url) => ({ url }),
    // devices: [{ ip, name, slowLink? }], each address once and trimmed.
    jobsStart: (action, devices, concurrency, options = {}) => ({ action, devices, concurrency, options }),
    jobsChooseFile: (kind, target) => ({ kind, target }),
    // The upgrade options of jobs_start: { rollout: { canary, pauseAfterCanary, stopAfterFailures }, verifySeconds }.
    upgradeOptions: ({ canary, pauseAfterCanary, stopAfterFailures, verifySeconds }) =>
        ({ rollout: { canary, pauseAfterCanary, stopAfterFailures }, verifySeconds }),
    jobsCancel: (jobId) => ({ jobId }),
    jobsResume: (jobId) => ({ jobId }),
    jobsSetSettings: (concurrency) => ({ concurrency }),
    discoveryStart: (ranges, timeoutMs) => ({ ranges, timeoutMs }),
    discoveryRecordSerials: (serials) => ({ serials })
});

export function envelope(command, body) {
    return body === undefined ? { command } : { command, payload: body };
}
