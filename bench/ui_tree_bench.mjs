// Times the web UI with 20,000 devices in 2,000 folders in headless Chromium: from the host's
// "sitesDataLoaded" text to the painted tree, and one search keystroke to the painted result.
// The floors are what the browser cannot avoid: parsing the message text, and one pass of
// plain substring tests over every node's text.
//   node bench/ui_tree_bench.mjs [repetitions]
import { loadChromium, serveUi, openUi } from '../tests/browser/harness.mjs';

const repetitions = Number(process.argv[2] || 7);

function campus() {
    const nodes = { r: { id: 'r', type: 'folder', name: 'Campus', description: '', children: [] } };
    let devices = 0;
    const addDevices = (folder, count, label) => {
        for (let d = 0; d < count; d += 1) {
            const id = 'd' + devices;
            nodes[id] = { id, type: 'device', name: `Gateway ${label}-${d}`, description: `Riser ${d}`,
                ip: `10.${devices >> 16}.${(devices >> 8) & 255}.${devices & 255}`, username: 'admin', password: 'secret' };
            nodes[folder].children.push(id);
            devices += 1;
        }
    };
    for (let b = 0; b < 40; b += 1) {
        const building = 'b' + b;
        nodes[building] = { id: building, type: 'folder', name: `Building ${b}`, description: '', children: [] };
        nodes.r.children.push(building);
        addDevices(building, 10, `${b}`);
        for (let f = 0; f < 49; f += 1) {
            const floor = `f${b}-${f}`;
            nodes[floor] = { id: floor, type: 'folder', name: `Floor ${f}`, description: `Building ${b}`, children: [] };
            nodes[building].children.push(floor);
            addDevices(floor, 10, `${b}-${f}`);
        }
    }
    return { version: 1, rootId: 'r', nodes };
}

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const fmt = (ms) => ms.toFixed(1) + ' ms';

const browser = await loadChromium();
const server = await serveUi();
const empty = { version: 1, rootId: 'r', nodes: { r: { id: 'r', type: 'folder', name: 'Campus', description: '', children: [] } } };
const ui = await openUi(browser, server, { sites: empty }, { viewport: { width: 1366, height: 768 } });
const doc = campus();
const folders = Object.values(doc.nodes).filter((node) => node.type === 'folder').length - 1;
const devices = Object.values(doc.nodes).filter((node) => node.type === 'device').length;

const figures = await ui.page.evaluate(async ({ text, repetitions }) => {
    const frame = () => new Promise((resolve) => requestAnimationFrame(() => setTimeout(resolve, 0)));
    const render = [], parse = [], keystroke = [], scan = [];
    for (let run = 0; run < repetitions; run += 1) {
        await frame();
        let start = performance.now();
        JSON.parse(text);
        parse.push(performance.now() - start);
        start = performance.now();
        window.deliverFromHost('sitesDataLoaded', { sitesData: JSON.parse(text) });
        await frame();
        render.push(performance.now() - start);
    }
    const search = document.getElementById('search');
    const texts = [];
    const doc = JSON.parse(text);
    for (const node of Object.values(doc.nodes)) texts.push([node.name, node.description, node.ip].join('\n').toLowerCase());
    for (let run = 0; run < repetitions; run += 1) {
        search.value = '';
        search.dispatchEvent(new Event('input'));
        await frame();
        for (const ch of 'gateway 17-3') {
            const start = performance.now();
            search.value += ch;
            search.dispatchEvent(new Event('input'));
            await frame();
            keystroke.push(performance.now() - start);
            const before = performance.now();
            const needle = search.value;
            let hits = 0;
            for (const t of texts) if (t.indexOf(needle) >= 0) hits += 1;
            scan.push(performance.now() - before + (hits < 0 ? 1 : 0));
        }
    }
    return { render, parse, keystroke, scan, rows: document.querySelectorAll('[role=treeitem]').length };
}, { text: JSON.stringify(doc), repetitions });

console.log(`${devices} devices in ${folders} folders, ${repetitions} runs, rows in the DOM after the last search: ${figures.rows}`);
console.log(`render:    median ${fmt(median(figures.render))}, max ${fmt(Math.max(...figures.render))} (floor: JSON.parse ${fmt(median(figures.parse))}; target 300 ms)`);
console.log(`keystroke: median ${fmt(median(figures.keystroke))}, max ${fmt(Math.max(...figures.keystroke))} (floor: substring scan ${fmt(median(figures.scan))}; target 100 ms)`);
await ui.close();
await browser.close();
server.close();
