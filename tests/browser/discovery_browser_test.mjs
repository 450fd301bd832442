// "Find controllers" and "Audit DALI lines" in headless Chromium against the stand-in host:
// the scan's result table, what the technician applies to the tree (and nothing before), the
// serial numbers recorded, a refused range, and the audit's findings per controller.
import test from 'node:test';
import assert from 'node:assert';
import { loadChromium, serveUi, openUi } from './harness.mjs';

const plant = () => ({
    version: 1, rootId: 'r', nodes: {
        r: { id: 'r', type: 'folder', name: 'Plant', description: '', children: ['a', 'b'] },
        a: { id: 'a', type: 'folder', name: 'Hall A', description: '', children: ['d1', 'd2'] },
        b: { id: 'b', type: 'folder', name: 'Hall B', description: '', children: ['d3'] },
        d1: { id: 'd1', type: 'device', name: 'Gate 1', description: '', ip: '10.0.0.1', username: 'u', password: 'p' },
        d2: { id: 'd2', type: 'device', name: 'Gate 2', description: '', ip: '10.0.0.2', username: 'u', password: 'p' },
        d3: { id: 'd3', type: 'device', name: 'Gate 3', description: '', ip: '10.0.0.3', username: 'u', password: 'p' }
    }
});

const row = (state, address, serial, device = '', folder = '', treeAddress = '') => ({
    address, device, firmware: serial ? '1.5.0' : '', folder, mac: serial ? '00:1E:C0:00:00:01' : '',
    model: serial ? 'VELDIR-3' : '', serial, state, treeAddress
});

const found = [
    row('known', '10.0.0.2', 'SN2', 'Gate 2', 'Hall A'),
    row('missing', '10.0.0.3', '', 'Gate 3', 'Hall B'),
    row('new', '10.0.0.13', 'SN13'),
    row('new', '10.0.0.14', 'SN14'),
    row('moved', '10.0.0.77', 'SN1', 'Gate 1', 'Hall A', '10.0.0.1')
];

let browser;
let server;

test.before(async () => {
    browser = await loadChromium();
    server = await serveUi();
});

test.after(async () => {
    await browser?.close();
    server?.close();
});

const commandsAfterStart = async (ui) => (await ui.posted()).slice(4);

test('a scan lists new, known, moved and missing; only Apply changes the tree, by keyboard and accessible name', async () => {
    const ui = await openUi(browser, server, { sites: plant(), discovery: { rows: found } });
    const { page } = ui;
    await page.getByRole('button', { name: 'Find controllers' }).focus();
    await page.keyboard.press('Enter');
    const ranges = page.getByRole('textbox', { name: 'Address ranges' });
    await ranges.fill('10.0.0.0/15');
    await ranges.press('Enter');
    await page.getByText('one range may hold at most 65,536 (a /16)').waitFor();

    await ranges.fill('10.0.0.0/24');
    await ranges.press('Enter');
    await page.getByText('Scanned 256 addresses: 5 rows').waitFor();
    const table = page.getByRole('table', { name: 'Controllers found' });
    const cells = (await table.locator('tbody tr').allInnerTexts()).map((line) => line.split('\t').slice(1, 3).map((cell) => cell.trim()));
    assert.deepStrictEqual(cells, [['Known', '10.0.0.2'], ['Missing', '10.0.0.3'], ['New', '10.0.0.13'], ['New', '10.0.0.14'], ['Moved', '10.0.0.77']]);
    assert.strictEqual(await page.getByRole('textbox', { name: 'Name for 10.0.0.14' }).inputValue(), 'VELDIR-3 SN14');
    assert.ok(!(await commandsAfterStart(ui)).some((message) => message.command === 'setSitesData'), 'a scan changes nothing');

    await page.getByRole('textbox', { name: 'Name for 10.0.0.13' }).fill('Boiler room');
    await page.getByRole('checkbox', { name: 'Add 10.0.0.14' }).uncheck();
    await page.getByRole('combobox', { name: 'Folder for new controllers' }).selectOption({ label: 'Hall B' });
    await page.getByRole('button', { name: 'Apply' }).focus();
    await page.keyboard.press('Enter');
    await page.getByText('1 added, 1 moved').waitFor();
    assert.strictEqual(await page.getByRole('button', { name: 'Apply' }).isDisabled(), true);

    const posted = await commandsAfterStart(ui);
    const saves = posted.filter((message) => message.command === 'setSitesData');
    assert.strictEqual(saves.length, 1, 'one change for the whole choice');
    const nodes = saves[0].payload.sitesData.nodes;
    const added = Object.values(nodes).filter((node) => node.name === 'Boiler room');
    assert.strictEqual(added.length, 1);
    assert.strictEqual(added[0].ip, '10.0.0.13');
    assert.ok(nodes.b.children.includes(added[0].id), 'added to the chosen folder');
    assert.strictEqual(nodes.d1.ip, '10.0.0.77', 'the moved address was accepted');
    assert.ok(!Object.values(nodes).some((node) => node.ip === '10.0.0.14'), 'an unchecked controller is not added');
    assert.deepStrictEqual(posted.filter((message) => message.command.startsWith('discovery_')), [
        { command: 'discovery_start', payload: { ranges: '10.0.0.0/15', timeoutMs: 1000 } },
        { command: 'discovery_start', payload: { ranges: '10.0.0.0/24', timeoutMs: 1000 } },
        { command: 'discovery_recordSerials', payload: { serials: { '10.0.0.13': 'SN13', '10.0.0.1': '', '10.0.0.77': 'SN1', '10.0.0.2': 'SN2' } } }
    ]);

    await page.keyboard.press('Escape');
    await page.getByRole('treeitem', { name: 'Boiler room' }).waitFor();
    assert.deepStrictEqual(ui.errors, []);
    await ui.close();
});

test('Audit DALI lines runs one job over the selection and lists each controller\'s findings', async () => {
    const findings = ['Line 1 finding: gear 2 flagged present without a name', 'Line 1 finding: group 3 "Unused" is empty'];
    const ui = await openUi(browser, server, { sites: plant(), findings: { '10.0.0.1': findings }, failing: ['10.0.0.2'] });
    const { page } = ui;
    await page.getByRole('checkbox', { name: 'Hall A' }).check();
    await page.getByRole('button', { name: 'Audit DALI lines' }).click();
    await page.getByText('Audit DALI lines finished: 1 of 2 succeeded, 1 failed').waitFor();
    const rows = (await page.getByRole('table', { name: 'Device results' }).locator('tbody tr').allInnerTexts())
        .map((line) => line.split('\t').map((cell) => cell.trim()));
    assert.deepStrictEqual(rows.map((cells) => cells.slice(0, 6)), [
        ['Gate 1', '10.0.0.1', 'Done', '1', ['2 findings:', ...findings].join('\n'), ''],
        ['Gate 2', '10.0.0.2', 'Failed', '1', 'Action failed', 'Controller answered HTTP 500']
    ]);
    const starts = (await commandsAfterStart(ui)).filter((message) => message.command === 'jobs_start');
    assert.deepStrictEqual(starts.map((message) => [message.payload.action, message.payload.devices.map((device) => device.ip)]),
        [['audit', ['10.0.0.1', '10.0.0.2']]]);
    assert.deepStrictEqual(ui.errors, []);
    await ui.close();
});
