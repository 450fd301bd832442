// The page's start: the masthead (who the tool is), loading the sites and reporting their
// saving, CSV import and export of the device list, Ctrl+Z, and the wiring of each panel and
// dialog, which live in modules of their own (docs/ui.md).
import { Command, Message, payload } from './protocol.js';
import * as sites from './sites-model.js';
import * as sitesCsv from './sites-csv.js';
import { $, host, state, setStatus, rebuildIndex } from './page.js';
import { change, undo } from './editing.js';
import { wireTree } from './tree-panel.js';
import { wireDetails } from './details-panel.js';
import { wireMoveDialog } from './move-dialog.js';
import { wireSelection } from './selection.js';
import { wireResults } from './results-panel.js';
import { wireLegacyBanner } from './legacy-banner.js';
import { wireLineSetupDialog } from './line-setup-dialog.js';
import { wireLineExportDialog } from './line-export-dialog.js';
import { wireDeviceFirmwareDialog } from './device-firmware-dialog.js';
import { wireHistory } from './history.js';
import { wireDiscovery } from './discovery.js';
import { wireRollout } from './rollout-dialog.js';
import { wireBackupDialog } from './backup-dialog.js';

function wirePage() {
    wireTree();
    wireMoveDialog();
    $('undo').addEventListener('click', undo);
    wireDetails();
    $('export-csv').addEventListener('click', () => host.send(Command.exportCsv, payload.exportCsv(sitesCsv.toCsv(state.doc))));
    $('import-csv').addEventListener('click', () => host.send(Command.importCsv));
    const jobs = wireBackupDialog(wireRollout(wireResults()));
    wireSelection(jobs);
    wireLineSetupDialog(jobs);
    wireLineExportDialog(jobs);
    wireDeviceFirmwareDialog(jobs);
    wireHistory(jobs);
    wireLegacyBanner();
    wireDiscovery();
    $('website').addEventListener('click', (event) => {
        event.preventDefault();
        host.send(Command.openExternalUrl, payload.openExternalUrl($('website').textContent));
    });
    document.addEventListener('keydown', (event) => {
        const editing = event.target.closest && event.target.closest('input, textarea, select');
        if ((event.ctrlKey || event.metaKey) && event.key.toLowerCase() === 'z' && !editing) {
            event.preventDefault();
            undo();
        }
    });
}

function loadDocument(doc) {
    state.doc = sites.isUsableDocument(doc) ? doc : sites.defaultDocument();
    state.collapsed.clear();
    state.checked.clear();
    state.undo = null;
    $('undo').disabled = true;
    state.currentId = state.doc.rootId;
    rebuildIndex();
}

function wireHost() {
    host.on(Message.appInfoLoaded, (info) => {
        $('product').textContent = info.productName || 'TORVANE VELDIR Tool';
        $('version').textContent = info.version ? 'Version ' + info.version : '';
        $('copyright').textContent = info.copyright || '';
        const website = $('website');
        website.textContent = info.website || '';
        website.hidden = !info.website;
        document.title = info.windowTitle || document.title;
    });
    host.on(Message.sitesDataLoaded, (body) => {
        loadDocument(body.sitesData);
        if (body.settingsNotice) setStatus(body.settingsNotice, 'error');
        else setStatus('Sites loaded');
    });
    host.on(Message.sitesDataSaved, (body) => {
        if (body.success) setStatus(state.pendingSaveText || 'Saved', 'ok');
        else setStatus(body.message || 'The sites could not be saved', 'error');
    });
    host.on(Message.sitesCsvExported, (body) => {
        setStatus(body.success ? `${body.message}: ${body.path}` : body.message, body.success ? 'ok' : 'error');
    });
    host.on(Message.sitesCsvImported, (body) => {
        if (!body.success) { setStatus(body.message, 'error'); return; }
        const imported = sitesCsv.fromCsv(body.csvContent, state.doc.nodes[state.doc.rootId].name);
        if (imported.error) { setStatus(imported.error, 'error'); return; }
        change('CSV imported' + (imported.skipped ? ` (${imported.skipped} rows without a name skipped)` : ''), () => {
            state.doc = imported.document;
            state.currentId = state.doc.rootId;
        });
    });
    host.on(Message.openExternalUrlResult, (body) => {
        if (!body.success) setStatus(body.message, 'error');
    });
}

function start() {
    wirePage();
    wireHost();
    rebuildIndex();
    if (!host.available) {
        setStatus('Not connected to the desktop host', 'error');
        return;
    }
    host.send(Command.uiReady);
    host.send(Command.getAppInfo);
    host.send(Command.getSitesData);
    host.send(Command.jobsGetSettings);
}

if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
else start();
