// Takes the pictures of the main screens in docs/ui/ from the UI in headless Chromium with the
// browser tests' stand-in host.   node scripts/ui_screenshots.mjs
import path from 'node:path';
import { mkdirSync } from 'node:fs';
import { loadChromium, serveUi, openUi, sourceDir } from '../tests/browser/harness.mjs';

const out = path.join(sourceDir, 'docs', 'ui');
mkdirSync(out, { recursive: true });

function plant() {
    const nodes = { r: { id: 'r', type: 'folder', name: 'North Campus', description: '', children: [] } };
    const buildings = [['Building A', ['Plant room', 'Lobby', 'Car park']], ['Building B', ['Ground floor', 'First floor']],
        ['Warehouse', ['Loading bay']]];
    let n = 0;
    buildings.forEach(([building, rooms], b) => {
        const bid = 'b' + b;
        nodes[bid] = { id: bid, type: 'folder', name: building, description: '', children: [] };
        nodes.r.children.push(bid);
        rooms.forEach((room, r) => {
            const fid = `f${b}-${r}`;
            nodes[fid] = { id: fid, type: 'folder', name: room, description: '', children: [] };
            nodes[bid].children.push(fid);
            for (let d = 1; d <= 3; d += 1) {
                n += 1;
                const id = 'd' + n;
                nodes[id] = { id, type: 'device', name: `${room} gateway ${d}`, description: d === 2 ? 'DALI lines 1-4' : '',
                    ip: `10.20.${b}.${10 * r + d}`, username: 'admin', password: 'secret' };
                nodes[fid].children.push(id);
            }
        });
    });
    return { version: 1, rootId: 'r', nodes };
}

const status = {};
for (let b = 0; b < 3; b += 1) {
    for (let i = 1; i < 24; i += 1) {
        status[`10.20.${b}.${i}`] = { bacnet_ip: `10.20.${b}.${i}:47808`, firmware_version: i % 3 ? '3.2.1' : '3.1.0',
            mac: `00:1a:2b:0${b}:00:${String(i).padStart(2, '0')}`, model_name: i % 2 ? 'VELDIR-4' : 'VELDIR-2',
            serial_number: `VD${b}${String(i).padStart(4, '0')}`, time: '2026-12-08T09:30:00Z', uptime: String(86400 * i) };
    }
}

const browser = await loadChromium();
const server = await serveUi();
const viewport = { width: 1366, height: 800 };
for (const colorScheme of ['light', 'dark']) {
    const ui = await openUi(browser, server, { sites: plant(), status, failing: ['10.20.0.12'] }, { viewport, colorScheme });
    const { page } = ui;
    await page.getByRole('checkbox', { name: 'Building A' }).check();
    await page.getByRole('button', { name: 'Status' }).click();
    await page.getByText('Status finished').waitFor();
    await page.getByRole('button', { name: 'Backup' }).click();
    await page.getByRole('dialog', { name: 'Backup' }).getByRole('button', { name: 'Back up' }).click();
    await page.getByText('Backup finished').waitFor();
    await page.getByRole('treeitem', { name: 'Lobby gateway 2' }).click();
    await page.screenshot({ path: path.join(out, `main-${colorScheme}.png`) });
    await ui.close();
}

const legacy = await openUi(browser, server, { sites: plant(), legacy: { legacyDetected: true, legacyDataDetected: true,
    legacyInstallDetected: true, migrationNeeded: true, canLaunchLegacyUninstall: true,
    legacyDataPath: '/home/tech/.wine/drive_c/users/tech/AppData/Local/VELDIR Tool/Local Storage/leveldb', legacyDisplayName: 'VELDIR Tool' } },
{ viewport });
await legacy.page.getByRole('searchbox', { name: 'Search' }).fill('dali');
await legacy.page.screenshot({ path: path.join(out, 'search-and-legacy-banner.png') });
await legacy.page.getByRole('treeitem', { name: 'Car park gateway 2' }).click();
await legacy.page.getByRole('button', { name: 'Move to…' }).click();
await legacy.page.screenshot({ path: path.join(out, 'move-to.png') });
await legacy.close();

// The DALI line dialogs on the three gateways of the plant room: a preview with one broken
// file, the export and the device firmware push.
const lines = await openUi(browser, server, { sites: plant(), choose: { csv: '/home/tech/commissioning/broken-groups.csv',
    folder: '/home/tech/exports' } }, { viewport });
await lines.page.getByRole('checkbox', { name: 'Plant room', exact: true }).check();
await lines.page.getByRole('button', { name: 'DALI line set-up…' }).click();
const setup = lines.page.getByRole('dialog', { name: 'DALI line set-up' });
await setup.getByRole('textbox', { name: 'Channel file of line 1' }).fill('/home/tech/commissioning/line1-channel.csv');
await setup.getByRole('textbox', { name: 'Input file of line 1' }).fill('/home/tech/commissioning/line1-inputs.csv');
await setup.getByRole('textbox', { name: 'Channel file of line 3' }).fill('/home/tech/commissioning/line3-channel.csv');
await setup.getByRole('button', { name: 'Choose the group file of line 2' }).click();
await setup.getByRole('table', { name: 'Lines that will not be pushed' }).waitFor();
await lines.page.waitForFunction(() => /would change/.test(document.getElementById('preview-status').textContent));
await lines.page.screenshot({ path: path.join(out, 'line-setup.png') });
await lines.page.keyboard.press('Escape');
await lines.page.getByRole('button', { name: 'Export DALI lines…' }).click();
await lines.page.getByRole('button', { name: 'Choose the export folder' }).click();
await lines.page.waitForFunction(() => document.getElementById('line-export-folder').value !== '');
await lines.page.screenshot({ path: path.join(out, 'line-export.png') });
await lines.page.keyboard.press('Escape');
await lines.page.getByRole('button', { name: 'DALI device firmware…' }).click();
await lines.page.getByRole('textbox', { name: 'Firmware file (.d2fw)' }).fill('/home/tech/firmware/ballast-2.4.d2fw');
await lines.page.screenshot({ path: path.join(out, 'device-firmware.png') });
await lines.close();
const found = (state, address, serial, device = '', folder = '', treeAddress = '') => ({
    address, device, firmware: serial ? '3.2.1' : '', folder, mac: serial ? `00:1a:2b:00:01:${address.split('.')[3].padStart(2, '0')}` : '',
    model: serial ? 'VELDIR-4' : '', serial, state, treeAddress
});
const discovery = { rows: [
    found('known', '10.20.0.1', 'VD00001', 'Plant room gateway 1', 'Building A/Plant room'),
    found('known', '10.20.0.2', 'VD00002', 'Plant room gateway 2', 'Building A/Plant room'),
    found('missing', '10.20.0.3', '', 'Plant room gateway 3', 'Building A/Plant room'),
    found('moved', '10.20.0.40', 'VD00011', 'Lobby gateway 1', 'Building A/Lobby', '10.20.0.11'),
    found('new', '10.20.0.61', 'VD00061'),
    found('new', '10.20.0.62', 'VD00062')
] };
const findings = { '10.20.0.1': ['Line 1 finding: gear short address 5 used twice: gear [0,1]', 'Line 1 finding: gear 2 flagged present without a name',
    'Line 2 finding: group 3 "Unused" is empty'] };
const scan = await openUi(browser, server, { sites: plant(), status, discovery, findings }, { viewport });
await scan.page.getByRole('button', { name: 'Find controllers' }).click();
await scan.page.getByRole('textbox', { name: 'Address ranges' }).fill('10.20.0.0/24');
await scan.page.getByRole('button', { name: 'Scan' }).click();
await scan.page.getByRole('table', { name: 'Controllers found' }).locator('tbody tr').first().waitFor();
await scan.page.screenshot({ path: path.join(out, 'find-controllers.png') });
await scan.page.keyboard.press('Escape');
await scan.page.getByRole('checkbox', { name: 'Plant room', exact: true }).check();
await scan.page.getByRole('button', { name: 'Audit DALI lines' }).click();
await scan.page.getByText('Audit DALI lines finished').waitFor();
await scan.page.screenshot({ path: path.join(out, 'audit-lines.png') });
await scan.close();
// A staged firmware upgrade: its dialog, then the rollout paused after the canary.
const rollout = await openUi(browser, server, { sites: plant(), status, holdJobs: true, concurrency: 1 }, { viewport });
await rollout.page.waitForFunction(() => document.getElementById('job-concurrency').value === '1');
await rollout.page.getByRole('checkbox', { name: 'Building B' }).check();
await rollout.page.getByRole('button', { name: 'Upgrade firmware' }).click();
const upgradeDialog = rollout.page.getByRole('dialog', { name: 'Upgrade firmware' });
await upgradeDialog.getByRole('checkbox', { name: 'Pause after the canary' }).check();
await upgradeDialog.getByRole('spinbutton', { name: 'Stop after failures' }).fill('2');
await rollout.page.screenshot({ path: path.join(out, 'upgrade-rollout.png') });
await upgradeDialog.getByRole('button', { name: 'Choose firmware file and start' }).click();
await rollout.page.evaluate(() => {
    window.deliverFromHost('jobDeviceResult', { jobId: '1', deviceIp: '10.20.1.1', success: true, exitCode: 0, cause: '',
        reason: '', message: 'Action completed successfully', seconds: 41.2 });
    window.deliverFromHost('jobDeviceResult', { jobId: '1', deviceIp: '10.20.1.2', success: true, exitCode: 0, cause: '',
        reason: 'already up to date', message: 'already up to date', seconds: 0.2 });
    window.deliverFromHost('jobPaused', { jobId: '1', reason: 'Canary upgrade succeeded' });
});
await rollout.page.getByRole('group', { name: /Rollout paused/ }).waitFor();
await rollout.page.screenshot({ path: path.join(out, 'rollout-paused.png') });
await rollout.close();

// A device's History: nightly backups into the library, the two newest compared.
const backupAt = (id, result, firmware) => ({ id, time: id.replace(/^(\d{4})(\d\d)(\d\d)T(\d\d)(\d\d)(\d\d)Z$/, '$1-$2-$3T$4:$5:$6Z'),
    result, firmware, model: 'VELDIR-4', serial: 'VD00012', address: '10.20.0.12', cause: result === 'failed' ? 'unreachable' : '',
    reason: result === 'failed' ? 'No answer from 10.20.0.12' : '', archivePath: result === 'failed' ? '' : `/home/tech/.local/share/kovrkit/backups/VD00012/${id}.zip` });
const history = { '10.20.0.12': [backupAt('20261209T021204Z', 'changed', '3.2.1'), backupAt('20261208T021511Z', 'unchanged', '3.2.1'),
    backupAt('20261207T020932Z', 'unchanged', '3.2.1'), backupAt('20261206T022047Z', 'failed', ''),
    backupAt('20261205T021733Z', 'changed', '3.2.1'), backupAt('20261201T020518Z', 'changed', '3.1.0')] };
const comparisons = { backup: { exitCode: 1, lines: [
    { kind: 'plain', text: 'changed dali1:' }, { kind: 'plain', text: 'Line 1 device 2 changed:' },
    { kind: 'plain', text: '\tname: "Line 1 luminaire 3" -> "Lobby downlight 3"' },
    { kind: 'plain', text: 'changed dali2:' }, { kind: 'plain', text: 'Line 2 group 1 changed:' },
    { kind: 'plain', text: '\tname: "Line 2 group 1" -> "Night"' },
    { kind: 'warning', text: '2 of 612 configuration items differ: 0 added, 0 removed, 2 changed.' }] } };
const past = await openUi(browser, server, { sites: plant(), status, history, comparisons }, { viewport });
await past.page.getByRole('treeitem', { name: 'Lobby gateway 2' }).click();
await past.page.getByRole('button', { name: 'History…' }).click();
const historyDialog = past.page.getByRole('dialog', { name: /History of/ });
const backups = historyDialog.getByRole('listbox', { name: 'Backups' });
await backups.getByRole('option').first().waitFor();
await backups.selectOption(['0', '1']);
await historyDialog.getByRole('button', { name: 'Compare', exact: true }).click();
await historyDialog.getByRole('log', { name: /Differences found/ }).waitFor();
await past.page.screenshot({ path: path.join(out, 'history.png') });
await past.page.keyboard.press('Escape');
// Backup asks where the archives go: the library unless a folder is named.
await past.page.getByRole('checkbox', { name: 'Lobby', exact: true }).check();
await past.page.getByRole('button', { name: 'Backup' }).click();
await past.page.getByRole('dialog', { name: 'Backup' }).getByRole('radio', { name: 'Backup library' }).waitFor();
await past.page.screenshot({ path: path.join(out, 'backup.png') });
await past.close();

await browser.close();
server.close();
console.log(`screenshots in ${out}`);
