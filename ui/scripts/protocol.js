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
    jobsGetSettings: 'jobs_getSettings',
    jobsSetSettings: 'jobs_setSettings',
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
    jobFinished: 'jobFinished',
    jobRefused: 'jobRefused',
    jobSettings: 'jobSettings',
    historyList: 'historyList',
    historyCompared: 'historyCompared',
    historyRefused: 'historyRefused',
    historySimulatorOpened: 'historySimulatorOpened',
    historySimulatorClosed: 'historySimulatorClosed'
});

// The job action of each action button (its data-action), and how the technician reads it.
export const JobAction = Object.freeze({ getStatus: 'status', backup: 'backup', restore: 'restore', firmwareUpgrade: 'upgrade' });
export const jobActionLabel = Object.freeze({ status: 'Status', backup: 'Backup', restore: 'Restore', upgrade: 'Upgrade firmware' });

// Devices a job runs at once: the host takes 1 to 32 and starts with 4.
export const MIN_CONCURRENCY = 1;
export const MAX_CONCURRENCY = 32;
export const DEFAULT_CONCURRENCY = 4;

export function validConcurrency(value) {
    return Number.isInteger(value) && value >= MIN_CONCURRENCY && value <= MAX_CONCURRENCY;
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
    // devices: [{ ip, name }], each address once and trimmed.
    // options name the input so that no picker opens (a restore from the History).
    jobsStart: (action, devices, concurrency, options) => ({ action, devices, concurrency, options: options || {} }),
    jobsCancel: (jobId) => ({ jobId }),
    jobsSetSettings: (concurrency) => ({ concurrency })
});

export function envelope(command, body) {
    return body === undefined ? { command } : { command, payload: body };
}
