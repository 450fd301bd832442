// The legacy tool's banner: offers to migrate its sites, or to uninstall it, and shows the
// outcome.
import { Command, Message } from './protocol.js';
import { $, host, setStatus } from './page.js';

function showLegacy(status) {
    const offerMigrate = status.legacyDataDetected && !status.migrationCompleted;
    const show = status.migrationNeeded || status.canLaunchLegacyUninstall;
    $('legacy-banner').hidden = !show;
    $('legacy-migrate').hidden = !offerMigrate;
    $('legacy-uninstall').hidden = !status.canLaunchLegacyUninstall;
    const name = status.legacyDisplayName || 'the legacy VELDIR Tool';
    $('legacy-text').textContent = status.migrationNeeded
        ? `Sites from ${name} were found${status.legacyDataPath ? ' in ' + status.legacyDataPath : ''}. Migrate them into this tool?`
        : `${name} is still installed.`;
}

function legacyOutcome(text, ok) {
    $('legacy-banner').hidden = false;
    $('legacy-text').textContent = text;
    setStatus(text, ok ? 'ok' : 'error');
}

export function wireLegacyBanner() {
    $('legacy-migrate').addEventListener('click', () => { host.send(Command.legacyMigrate); setStatus('Migrating\u2026'); });
    $('legacy-uninstall').addEventListener('click', () => host.send(Command.legacyUninstall));
    $('legacy-dismiss').addEventListener('click', () => { $('legacy-banner').hidden = true; });
    host.on(Message.legacyMigrationStatus, showLegacy);
    host.on(Message.legacyMigrationResult, (body) => legacyOutcome(body.message || '', body.success));
    host.on(Message.legacyUninstallLaunchResult, (body) => legacyOutcome(body.message || '', body.success));
}
