// The page's sites tree and CSV helpers, run with `node --test`.
import test from 'node:test';
import assert from 'node:assert';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const uiScripts = path.join(process.env.KOVRU_SOURCE_DIR || path.join(here, '..', '..'), 'ui', 'scripts');
const load = (name) => import(pathToFileURL(path.join(uiScripts, name)).href);
const sites = await load('sites-model.js');
const sitesCsv = await load('sites-csv.js');
const treeIndex = await load('tree-index.js');

function plant() {
    const doc = sites.defaultDocument();
    const hall = sites.addFolder(doc, doc.rootId, 'Hall');
    const gate = sites.addDevice(doc, hall, { name: 'Gate, "1"', ip: '10.0.0.1', password: 'p w' });
    const lobby = sites.addDevice(doc, doc.rootId, { name: 'Lobby', ip: '10.0.0.2' });
    return { doc, hall, gate, lobby };
}

test('new nodes get ids of their own and go into the selected folder', () => {
    const { doc, hall, gate, lobby } = plant();
    assert.deepStrictEqual(doc.nodes.root.children, [hall, lobby]);
    assert.deepStrictEqual(doc.nodes[hall].children, [gate]);
    assert.strictEqual(sites.targetFolder(doc, gate), hall);
    assert.strictEqual(sites.targetFolder(doc, hall), hall);
    assert.strictEqual(sites.targetFolder(doc, 'gone'), 'root');
    assert.notStrictEqual(sites.addDevice(doc, hall, { name: 'x' }), gate);
    assert.strictEqual(sites.countDevices(doc), 3);
});

test('edits refuse blank names and never touch id, type or children', () => {
    const { doc, hall } = plant();
    assert.strictEqual(sites.updateNode(doc, hall, { name: ' \t\r\n' }), false);
    assert.strictEqual(doc.nodes[hall].name, 'Hall');
    assert.strictEqual(sites.updateNode(doc, hall, { name: 'Hall B', id: 'x', type: 'device', children: 'y' }), true);
    assert.deepStrictEqual(Object.assign({}, doc.nodes[hall], { children: [] }),
        { id: hall, type: 'folder', name: 'Hall B', description: '', children: [] });
});

test('removing a folder removes everything below it but never the root', () => {
    const { doc, hall, gate, lobby } = plant();
    assert.strictEqual(sites.removeNode(doc, doc.rootId), false);
    assert.strictEqual(sites.removeNode(doc, hall), true);
    assert.deepStrictEqual(Object.keys(doc.nodes).sort(), ['root', lobby].sort());
    assert.strictEqual(sites.nodeOf(doc, gate), null);
    assert.deepStrictEqual(doc.nodes.root.children, [lobby]);
});

test('the walk survives a cyclic or dangling document from elsewhere', () => {
    const doc = sites.defaultDocument();
    const a = sites.addFolder(doc, 'root', 'A');
    doc.nodes[a].children.push('root', 'missing');
    const seen = [];
    sites.walk(doc, (node) => seen.push(node.id));
    assert.deepStrictEqual(seen, ['root', a]);
    assert.strictEqual(sites.isUsableDocument({ rootId: 'r', nodes: { r: { type: 'device' } } }), false);
    assert.strictEqual(sites.isUsableDocument(null), false);
});

test('CSV export quotes what needs it and import rebuilds the same tree', () => {
    const { doc } = plant();
    const text = sitesCsv.toCsv(doc);
    assert.strictEqual(text, 'folder,name,description,ip,username,password\r\n'
        + 'Hall,"Gate, ""1""",,10.0.0.1,,p w\r\n'
        + ',Lobby,,10.0.0.2,,\r\n');
    const back = sitesCsv.fromCsv('\uFEFF' + text, 'Plant');
    assert.strictEqual(back.error, undefined);
    assert.strictEqual(back.document.nodes.root.name, 'Plant');
    assert.strictEqual(sitesCsv.toCsv(back.document), text);
});

test('CSV import reads quoted line breaks, nested folders and refuses files without the needed columns', () => {
    const rows = sitesCsv.parseRows('a,"b\r\nc",d\n\n1,2,3');
    assert.deepStrictEqual(rows, [['a', 'b\r\nc', 'd'], ['1', '2', '3']]);
    const nested = sitesCsv.fromCsv('name,ip,folder\nX,1.1.1.1,North / Hall\nY,1.1.1.2,North\n ,1.1.1.3,');
    assert.strictEqual(nested.skipped, 1);
    const names = [];
    sites.walk(nested.document, (node, depth) => names.push(depth + ':' + node.name));
    assert.deepStrictEqual(names, ['0:Sites', '1:North', '2:Hall', '3:X', '2:Y']);
    assert.ok(sitesCsv.fromCsv('name,address\nX,1').error);
    assert.ok(sitesCsv.fromCsv('').error);
});

test('a move never loses a node: no root, no non-folder target, no folder into its own subtree', () => {
    const { doc, hall, gate, lobby } = plant();
    const inner = sites.addFolder(doc, hall, 'Inner');
    const before = JSON.stringify(doc);
    assert.strictEqual(sites.moveNode(doc, doc.rootId, hall), false);
    assert.strictEqual(sites.moveNode(doc, hall, inner), false);
    assert.strictEqual(sites.moveNode(doc, hall, hall), false);
    assert.strictEqual(sites.moveNode(doc, gate, lobby), false);
    assert.strictEqual(JSON.stringify(doc), before);
    assert.strictEqual(sites.moveNode(doc, lobby, inner), true);
    assert.deepStrictEqual(doc.nodes.root.children, [hall]);
    assert.deepStrictEqual(doc.nodes[inner].children, [lobby]);
    assert.strictEqual(sites.moveNode(doc, inner, doc.rootId), true);
    assert.deepStrictEqual(doc.nodes.root.children, [hall, inner]);
    assert.deepStrictEqual(doc.nodes[hall].children, [gate]);
});

test('the flat index counts devices per folder, hides collapsed folders and searches name, description and address', () => {
    const { doc, hall, gate, lobby } = plant();
    const north = sites.addFolder(doc, hall, 'North');
    const roof = sites.addDevice(doc, north, { name: 'Roof', description: 'Boiler room', ip: '10.9.9.9' });
    const index = treeIndex.buildIndex(doc);
    const ids = (rows) => rows.map((at) => index.entries[at].id);
    const entry = (id) => index.entries[index.position.get(id)];
    assert.deepStrictEqual([entry('root').devices, entry(hall).devices, entry(north).devices], [3, 2, 1]);
    assert.deepStrictEqual(ids(treeIndex.visibleRows(index, new Set(), '')), ['root', hall, gate, north, roof, lobby]);
    assert.deepStrictEqual(ids(treeIndex.visibleRows(index, new Set([hall]), '')), ['root', hall, lobby]);
    // A search ignores collapsed folders, keeps the folders above a match and shows a matching folder whole.
    assert.deepStrictEqual(ids(treeIndex.visibleRows(index, new Set([hall]), ' BOILER ')), ['root', hall, north, roof]);
    assert.deepStrictEqual(ids(treeIndex.visibleRows(index, new Set(), '10.0.0.2')), ['root', lobby]);
    assert.deepStrictEqual(ids(treeIndex.visibleRows(index, new Set(), 'north')), ['root', hall, north, roof]);
    const counts = treeIndex.checkedCounts(index, new Set([roof, lobby]));
    assert.deepStrictEqual([counts[index.position.get('root')], counts[index.position.get(hall)]], [2, 1]);
    assert.deepStrictEqual(treeIndex.devicesBeneath(index, index.position.get(hall)), [gate, roof]);
});
