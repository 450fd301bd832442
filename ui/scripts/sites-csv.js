// The sites list as CSV: one row per device with its folder path ("Plant/Hall"), name,
// description, address and login. Import rebuilds a tree from such rows.
import * as sites from './sites-model.js';

var HEADER = ['folder', 'name', 'description', 'ip', 'username', 'password'];

function quote(field) {
    var text = String(field === undefined || field === null ? '' : field);
    return /[",\r\n]/.test(text) || /^\s|\s$/.test(text) ? '"' + text.replace(/"/g, '""') + '"' : text;
}

export function toCsv(doc) {
    var lines = [HEADER.join(',')];
    sites.walk(doc, function (node, depth, path) {
        if (node.type !== 'device') return;
        lines.push([path.join('/'), node.name, node.description, node.ip, node.username, node.password]
            .map(quote).join(','));
    });
    return lines.join('\r\n') + '\r\n';
}

// Rows of fields; quoted fields may hold commas, quotes and line breaks.
export function parseRows(text) {
    var rows = [], row = [], field = '', quoted = false, index = 0;
    if (text.charCodeAt(0) === 0xFEFF) index = 1;
    for (; index < text.length; index += 1) {
        var ch = text[index];
        if (quoted) {
            if (ch === '"' && text[index + 1] === '"') { field += '"'; index += 1; }
            else if (ch === '"') quoted = false;
            else field += ch;
        } else if (ch === '"') quoted = true;
        else if (ch === ',') { row.push(field); field = ''; }
        else if (ch === '\n' || ch === '\r') {
            if (ch === '\r' && text[index + 1] === '\n') index += 1;
            row.push(field); rows.push(row); row = []; field = '';
        } else field += ch;
    }
    if (field !== '' || row.length) { row.push(field); rows.push(row); }
    return rows.filter(function (r) { return r.some(function (f) { return f !== ''; }); });
}

// A new document from CSV text, or an error text when the rows do not fit.
export function fromCsv(text, rootName) {
    var rows = parseRows(text);
    if (!rows.length) return { error: 'The file holds no rows' };
    var header = rows[0].map(function (f) { return f.trim().toLowerCase(); });
    var column = {};
    HEADER.forEach(function (name) { column[name] = header.indexOf(name); });
    if (column.name < 0 || column.ip < 0) return { error: 'The file needs the columns "name" and "ip"' };
    var doc = sites.defaultDocument();
    if (rootName) doc.nodes.root.name = rootName;
    var folders = {};
    function folderFor(path) {
        var parentId = doc.rootId, key = '';
        path.split('/').map(function (p) { return p.trim(); }).filter(Boolean).forEach(function (part) {
            key += '/' + part;
            if (!folders[key]) folders[key] = sites.addFolder(doc, parentId, part);
            parentId = folders[key];
        });
        return parentId;
    }
    var skipped = 0;
    rows.slice(1).forEach(function (row) {
        function get(name) { return column[name] >= 0 ? (row[column[name]] || '') : ''; }
        if (sites.isBlank(get('name'))) { skipped += 1; return; }
        sites.addDevice(doc, folderFor(get('folder')), {
            name: get('name'), description: get('description'), ip: get('ip').trim(),
            username: get('username'), password: get('password')
        });
    });
    return { document: doc, skipped: skipped };
}
