// Serves the UI folder on an ephemeral loopback port and opens it in headless Chromium with the
// stand-in host channel of fake_host.js.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { existsSync } from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = process.env.KOVRU_SOURCE_DIR || path.join(here, '..', '..');
const uiDir = path.join(sourceDir, 'ui');

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.json': 'application/json' };

export async function loadChromium() {
    const modules = path.join(here, 'node_modules', 'playwright-core', 'index.mjs');
    if (!existsSync(modules))
        throw new Error(`playwright-core is not installed in ${here}: run scripts/setup.sh (npm ci there)`);
    const executablePath = process.env.KOVRU_CHROMIUM || '/usr/bin/chromium';
    if (!existsSync(executablePath)) throw new Error(`no Chromium at ${executablePath}: run scripts/setup.sh`);
    const { chromium } = await import(modules);
    return chromium.launch({ executablePath, headless: true });
}

export function serveUi() {
    const server = createServer(async (request, response) => {
        const url = new URL(request.url, 'http://localhost');
        const relative = path.normalize(decodeURIComponent(url.pathname === '/' ? '/index.html' : url.pathname));
        const file = path.join(uiDir, relative);
        if (!file.startsWith(uiDir + path.sep)) {
            response.writeHead(404).end();
            return;
        }
        try {
            const body = await readFile(file);
            response.writeHead(200, { 'content-type': TYPES[path.extname(file)] || 'application/octet-stream' }).end(body);
        } catch {
            response.writeHead(404).end();
        }
    });
    return new Promise((resolve) => {
        server.listen(0, '127.0.0.1', () => resolve({ url: `http://127.0.0.1:${server.address().port}/`, close: () => server.close() }));
    });
}

const fakeHost = readFile(path.join(here, 'fake_host.js'), 'utf8');

// A page showing the UI with this host set-up; resolves once the tree is loaded.
export async function openUi(browser, server, setup, options = {}) {
    const context = await browser.newContext({ viewport: options.viewport || { width: 1280, height: 900 },
        colorScheme: options.colorScheme || 'light' });
    await context.addInitScript(`window.hostSetup = ${JSON.stringify(setup)};\n${await fakeHost}`);
    const page = await context.newPage();
    const errors = [];
    page.on('pageerror', (error) => errors.push(error));
    await page.goto(server.url);
    await page.getByRole('status').filter({ hasText: 'Sites loaded' }).waitFor();
    return {
        page,
        errors,
        posted: () => page.evaluate(() => window.posted),
        close: () => context.close()
    };
}
