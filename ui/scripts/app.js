// The first page of the tool: who it is, and the technician's sites tree with folders and
// devices that can be added, edited and removed. Every change is saved through the host.
(function () {
    'use strict';

    var host = window.KovrkitHost;
    var sites = window.KovrkitSites;
    var sitesCsv = window.KovrkitSitesCsv;
    var state = { doc: sites.defaultDocument(), selectedId: null, loaded: false, deleteArmed: false };

    function $(id) { return document.getElementById(id); }

    function setStatus(text, kind) {
        var bar = $('status');
        bar.textContent = text;
        bar.className = 'status' + (kind ? ' status-' + kind : '');
    }

    function element(tag, className, text) {
        var node = document.createElement(tag);
        if (className) node.className = className;
        if (text !== undefined) node.textContent = text;
        return node;
    }

    function renderTree() {
        var tree = $('tree');
        tree.textContent = '';
        sites.walk(state.doc, function (node, depth) {
            var row = element('li', 'tree-row tree-' + node.type + (node.id === state.selectedId ? ' selected' : ''));
            row.style.paddingLeft = (0.6 + depth * 1.2) + 'em';
            row.setAttribute('role', 'treeitem');
            row.dataset.id = node.id;
            row.appendChild(element('span', 'tree-icon', node.type === 'folder' ? '\u25A0' : '\u25CF'));
            row.appendChild(element('span', 'tree-name', node.name));
            if (node.type === 'device' && node.ip) row.appendChild(element('span', 'tree-ip', node.ip));
            row.addEventListener('click', function () { select(node.id); });
            tree.appendChild(row);
        });
        $('summary').textContent = sites.countDevices(state.doc) + ' devices';
    }

    function fieldNames(node) {
        return node.type === 'device' ? ['name', 'description', 'ip', 'username', 'password'] : ['name', 'description'];
    }

    function renderDetails() {
        var node = state.selectedId ? sites.nodeOf(state.doc, state.selectedId) : null;
        $('details').hidden = !node;
        $('details-empty').hidden = !!node;
        state.deleteArmed = false;
        $('delete').textContent = 'Delete';
        if (!node) return;
        $('details-title').textContent = node.type === 'device' ? 'Device' : 'Folder';
        ['name', 'description', 'ip', 'username', 'password'].forEach(function (name) {
            var row = $('row-' + name);
            var shown = fieldNames(node).indexOf(name) >= 0;
            row.hidden = !shown;
            $('field-' + name).value = shown ? (node[name] || '') : '';
        });
        $('delete').disabled = node.id === state.doc.rootId;
    }

    function render() {
        renderTree();
        renderDetails();
    }

    function select(id) {
        state.selectedId = id;
        render();
    }

    function save(doneText) {
        if (!host.send('setSitesData', { sitesData: state.doc })) {
            setStatus('Not connected to the desktop host; changes are not saved', 'error');
            return;
        }
        state.pendingSaveText = doneText;
        setStatus('Saving\u2026');
    }

    function addFolder() {
        var parent = sites.targetFolder(state.doc, state.selectedId);
        state.selectedId = sites.addFolder(state.doc, parent, 'New folder');
        render();
        $('field-name').select();
        save('Folder added');
    }

    function addDevice() {
        var parent = sites.targetFolder(state.doc, state.selectedId);
        state.selectedId = sites.addDevice(state.doc, parent, { name: 'New device' });
        render();
        $('field-name').select();
        save('Device added');
    }

    function applyDetails(event) {
        event.preventDefault();
        var node = sites.nodeOf(state.doc, state.selectedId);
        if (!node) return;
        var fields = {};
        fieldNames(node).forEach(function (name) { fields[name] = $('field-' + name).value; });
        if (!sites.updateNode(state.doc, node.id, fields)) {
            setStatus('A name cannot be blank', 'error');
            return;
        }
        render();
        save('Changes saved');
    }

    function deleteSelected() {
        var node = sites.nodeOf(state.doc, state.selectedId);
        if (!node || node.id === state.doc.rootId) return;
        if (!state.deleteArmed) {
            state.deleteArmed = true;
            $('delete').textContent = 'Confirm delete';
            return;
        }
        var parentId = sites.parentOf(state.doc, node.id);
        sites.removeNode(state.doc, node.id);
        state.selectedId = parentId;
        render();
        save((node.type === 'device' ? 'Device' : 'Folder') + ' deleted');
    }

    var ACTION_NAMES = {
        native_actionGetStatus: 'Status',
        native_actionBackup: 'Backup',
        native_actionRestore: 'Restore',
        native_actionFirmwareUpgrade: 'Firmware upgrade'
    };

    // The addresses the selected node stands for: a device's own, or every device in a folder.
    function selectedAddresses() {
        var node = sites.nodeOf(state.doc, state.selectedId);
        if (!node) return [];
        if (node.type === 'device') return [node.ip || ''];
        var addresses = [];
        sites.walk({ rootId: node.id, nodes: state.doc.nodes }, function (child) {
            if (child.type === 'device' && child.ip) addresses.push(child.ip);
        });
        return addresses;
    }

    function logActivity(text, kind) {
        var entry = element('li', kind, text);
        var list = $('activity');
        list.insertBefore(entry, list.firstChild);
        while (list.children.length > 50) list.removeChild(list.lastChild);
    }

    var STATUS_FIELDS = [
        ['model_name', 'Model'], ['firmware_version', 'Firmware'], ['serial_number', 'Serial'],
        ['mac', 'MAC'], ['time', 'Time'], ['uptime', 'Uptime'], ['bacnet_ip', 'BACnet IP']
    ];

    // A device's status fields as one line under its result.
    function statusFieldsText(data) {
        return STATUS_FIELDS.filter(function (field) { return data[field[0]]; })
            .map(function (field) { return field[1] + ': ' + data[field[0]]; }).join(' · ');
    }

    function runDeviceAction(action) {
        var addresses = selectedAddresses();
        if (!addresses.length) {
            setStatus('The folder holds no device with an address', 'error');
            return;
        }
        var payload = addresses.length === 1 ? { ip: addresses[0] } : { ipsCsv: addresses.join(',') };
        logActivity(ACTION_NAMES[action] + ' started for ' + (addresses.join(', ') || 'a device without address'));
        host.send(action, payload);
    }

    function exportCsv() {
        host.send('sites_exportCsv', { csvContent: sitesCsv.toCsv(state.doc) });
    }

    function importCsv() {
        host.send('sites_importCsv');
    }

    function wireHost() {
        host.on('appInfoLoaded', function (info) {
            $('product').textContent = info.productName || 'TORVANE VELDIR Tool';
            $('version').textContent = info.version ? 'Version ' + info.version : '';
            $('copyright').textContent = info.copyright || '';
            var website = $('website');
            website.textContent = info.website || '';
            website.hidden = !info.website;
            document.title = info.windowTitle || document.title;
        });
        host.on('sitesDataLoaded', function (payload) {
            state.doc = sites.isUsableDocument(payload.sitesData) ? payload.sitesData : sites.defaultDocument();
            state.selectedId = state.doc.rootId;
            state.loaded = true;
            render();
            setStatus('Sites loaded');
        });
        host.on('sitesDataSaved', function (payload) {
            if (payload.success) setStatus(state.pendingSaveText || 'Saved', 'ok');
            else setStatus(payload.message || 'The sites could not be saved', 'error');
        });
        host.on('sitesCsvExported', function (payload) {
            setStatus(payload.success ? payload.message + ': ' + payload.path : payload.message, payload.success ? 'ok' : 'error');
        });
        host.on('sitesCsvImported', function (payload) {
            if (!payload.success) { setStatus(payload.message, 'error'); return; }
            var result = sitesCsv.fromCsv(payload.csvContent, sites.nodeOf(state.doc, state.doc.rootId).name);
            if (result.error) { setStatus(result.error, 'error'); return; }
            state.doc = result.document;
            state.selectedId = state.doc.rootId;
            render();
            save('CSV imported' + (result.skipped ? ' (' + result.skipped + ' rows without a name skipped)' : ''));
        });
        host.on('openExternalUrlResult', function (payload) {
            if (!payload.success) setStatus(payload.message, 'error');
        });
        host.on('nativeActionResult', function (payload) {
            var name = ACTION_NAMES[payload.action] || payload.action;
            var text = name + (payload.deviceIp ? ' ' + payload.deviceIp : '') + ': ' + payload.message;
            if (payload.data && payload.data.firmware_version) text += ' (firmware ' + payload.data.firmware_version + ')';
            if (payload.data) logActivity(statusFieldsText(payload.data), 'detail');
            logActivity(text, payload.success ? 'ok' : 'error');
            setStatus(text, payload.success ? 'ok' : 'error');
        });
        host.on('nativeActionBatchSummary', function (payload) {
            var text = (ACTION_NAMES[payload.action] || payload.action) + ': ' + payload.succeeded + ' of ' + payload.total
                + ' devices succeeded, ' + payload.failed + ' failed';
            logActivity(text, payload.failed ? 'error' : 'ok');
            setStatus(text, payload.failed ? 'error' : 'ok');
        });
    }

    function wirePage() {
        $('add-folder').addEventListener('click', addFolder);
        $('add-device').addEventListener('click', addDevice);
        $('details').addEventListener('submit', applyDetails);
        $('delete').addEventListener('click', deleteSelected);
        $('export-csv').addEventListener('click', exportCsv);
        Array.prototype.forEach.call($('device-actions').querySelectorAll('button'), function (button) {
            button.addEventListener('click', function () { runDeviceAction(button.dataset.action); });
        });
        $('import-csv').addEventListener('click', importCsv);
        $('website').addEventListener('click', function (event) {
            event.preventDefault();
            host.send('openExternalUrl', { url: $('website').textContent });
        });
    }

    document.addEventListener('DOMContentLoaded', function () {
        wirePage();
        wireHost();
        render();
        if (!host.available()) {
            setStatus('Not connected to the desktop host', 'error');
            return;
        }
        host.send('ui_ready');
        host.send('getAppInfo');
        host.send('getSitesData');
    });
})();
