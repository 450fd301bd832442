// The legacy tool's banner on the first page: what the host found of the old tool, with
// "Migrate" while its data still needs importing and "Uninstall legacy tool" while its
// uninstaller is known. Results of either appear in the banner itself.
(function () {
    'use strict';

    var host = window.KovrkitHost;

    function $(id) { return document.getElementById(id); }

    function describe(status) {
        if (status.migrationNeeded) return 'Sites of the legacy tool were found in ' + status.legacyDataPath + '.';
        if (status.migrationCompleted) return 'The legacy tool\u2019s sites were imported.';
        if (status.migrationDeclined) return 'Importing the legacy tool\u2019s sites was declined.';
        return 'The legacy tool' + (status.legacyDisplayName ? ' (' + status.legacyDisplayName + ')' : '') + ' is installed.';
    }

    function showStatus(status) {
        $('legacy').hidden = !status.legacyDetected;
        $('legacy-text').textContent = describe(status);
        $('legacy-migrate').hidden = !status.legacyDataDetected || status.migrationCompleted;
        $('legacy-uninstall').hidden = !status.canLaunchLegacyUninstall;
    }

    function showResult(payload) {
        $('legacy-result').textContent = payload.message || '';
        $('legacy-result').className = 'legacy-result ' + (payload.success ? 'status-ok' : 'status-error');
    }

    document.addEventListener('DOMContentLoaded', function () {
        host.on('legacyMigrationStatus', showStatus);
        host.on('legacyMigrationResult', function (payload) {
            showResult(payload);
            if (payload.success) $('legacy-migrate').hidden = true;
        });
        host.on('legacyUninstallLaunchResult', showResult);
        $('legacy-migrate').addEventListener('click', function () { host.send('legacy_migrate'); });
        $('legacy-uninstall').addEventListener('click', function () { host.send('legacy_uninstall'); });
    });
})();
