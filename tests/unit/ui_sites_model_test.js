// The page's sites tree and CSV helpers, run with `node --test`.
'use strict';

const test = require('node:test');
const assert = require('node:assert');
const path = require('node:path');

const uiScripts = path.join(process.env.KOVRU_SOURCE_DIR || path.join(__dirname, '..', '..'), 'ui', 'scripts');
const sites = require(path.join(uiScripts, 'sites-model.js'));
const sitesCsv = require(path.join(uiScripts, 'sites-csv.js'));

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
