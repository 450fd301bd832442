// The sites tree in the form the host exchanges: a map of nodes keyed by id, folders listing
// their children by id. Every edit returns nothing and changes the document in place; ids
// are valid until the next load from the host.
export function defaultDocument() {
    return {
        version: 1,
        rootId: 'root',
        nodes: { root: { id: 'root', type: 'folder', name: 'Sites', description: '', children: [] } }
    };
}

export function isUsableDocument(doc) {
    if (!doc || typeof doc !== 'object' || typeof doc.rootId !== 'string' || !doc.nodes) return false;
    var root = doc.nodes[doc.rootId];
    return !!root && root.type === 'folder' && Array.isArray(root.children);
}

export function nodeOf(doc, id) {
    var node = Object.prototype.hasOwnProperty.call(doc.nodes, id) ? doc.nodes[id] : null;
    return node && typeof node === 'object' ? node : null;
}

function newId(doc, kind) {
    var number = 1;
    while (nodeOf(doc, kind + '-new-' + number)) number += 1;
    return kind + '-new-' + number;
}

export function parentOf(doc, id) {
    var found = null;
    Object.keys(doc.nodes).forEach(function (key) {
        var node = doc.nodes[key];
        if (node && node.type === 'folder' && Array.isArray(node.children) && node.children.indexOf(id) >= 0)
            found = key;
    });
    return found;
}

// The folder new nodes go into: the selected folder, the selected device's folder, or the root.
export function targetFolder(doc, selectedId) {
    var selected = selectedId ? nodeOf(doc, selectedId) : null;
    if (selected && selected.type === 'folder') return selectedId;
    if (selected && selected.type === 'device') return parentOf(doc, selectedId) || doc.rootId;
    return doc.rootId;
}

export function addFolder(doc, parentId, name) {
    var id = newId(doc, 'folder');
    doc.nodes[id] = { id: id, type: 'folder', name: name, description: '', children: [] };
    nodeOf(doc, parentId).children.push(id);
    return id;
}

export function addDevice(doc, parentId, fields) {
    var id = newId(doc, 'device');
    doc.nodes[id] = {
        id: id, type: 'device', name: fields.name, description: fields.description || '',
        ip: fields.ip || '', username: fields.username || '', password: fields.password || ''
    };
    nodeOf(doc, parentId).children.push(id);
    return id;
}

export function isBlank(text) {
    return typeof text !== 'string' || text.replace(/[ \t\r\n]/g, '') === '';
}

// Applies the edited fields; false (and nothing changed) when the name is blank, which the
// host would refuse.
export function updateNode(doc, id, fields) {
    var node = nodeOf(doc, id);
    if (!node || isBlank(fields.name)) return false;
    Object.keys(fields).forEach(function (key) {
        if (key !== 'id' && key !== 'type' && key !== 'children') node[key] = String(fields[key]);
    });
    return true;
}

// Removes a node and everything below it; the root stays.
export function removeNode(doc, id) {
    if (id === doc.rootId || !nodeOf(doc, id)) return false;
    var parentId = parentOf(doc, id);
    if (parentId) {
        var siblings = doc.nodes[parentId].children;
        siblings.splice(siblings.indexOf(id), 1);
    }
    var pending = [id];
    while (pending.length) {
        var current = pending.pop();
        var node = nodeOf(doc, current);
        if (!node) continue;
        if (node.type === 'folder' && Array.isArray(node.children)) pending = pending.concat(node.children);
        delete doc.nodes[current];
    }
    return true;
}

// Depth-first walk from the root: visit(node, depth, path of folder names above it).
export function walk(doc, visit) {
    var seen = {};
    function step(id, depth, path) {
        var node = nodeOf(doc, id);
        if (!node || seen[id]) return;
        seen[id] = true;
        visit(node, depth, path);
        if (node.type === 'folder' && Array.isArray(node.children)) {
            var below = depth === 0 ? path : path.concat([node.name]);
            node.children.forEach(function (child) { step(child, depth + 1, below); });
        }
    }
    step(doc.rootId, 0, []);
}

export function countDevices(doc) {
    var count = 0;
    walk(doc, function (node) { if (node.type === 'device') count += 1; });
    return count;
}

// True when id is ancestorId itself or lies anywhere beneath it.
export function isWithin(doc, id, ancestorId) {
    let found = false;
    walk({ rootId: ancestorId, nodes: doc.nodes }, (node) => { if (node.id === id) found = true; });
    return found;
}

export function canMove(doc, id, folderId) {
    const node = nodeOf(doc, id);
    const folder = nodeOf(doc, folderId);
    if (!node || id === doc.rootId || !folder || folder.type !== 'folder') return false;
    return !(node.type === 'folder' && isWithin(doc, folderId, id));
}

// Moves a node (with everything below it) to the end of another folder; false (and nothing
// changed) when that would lose it: the root, a target that is not a folder, or a folder
// dropped into itself or its own descendants.
export function moveNode(doc, id, folderId) {
    if (!canMove(doc, id, folderId)) return false;
    const parentId = parentOf(doc, id);
    if (parentId === folderId) return false;
    if (parentId) {
        const siblings = doc.nodes[parentId].children;
        siblings.splice(siblings.indexOf(id), 1);
    }
    doc.nodes[folderId].children.push(id);
    return true;
}

// Folder ids in tree order with their path, for a "Move to…" choice.
export function folderPaths(doc) {
    const folders = [];
    walk(doc, (node, depth, path) => {
        if (node.type === 'folder') folders.push({ id: node.id, path: depth === 0 ? node.name : path.concat([node.name]).join(' / ') });
    });
    return folders;
}
