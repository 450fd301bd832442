// The sites tree flattened once per change into depth-first order, so that what the page
// needs on every keystroke or scroll (visible rows, search, folder counts, check states) is a
// pass over plain arrays instead of a walk over the node map.

// entries[i] = { id, node, depth, parent (entry index or -1), place and size (its position among
//                its parent's children, for assistive tools), end (index after the subtree),
//                devices (devices at or beneath it), isFolder, text (lower-cased searchable text,
//                made on the first search) }
export function buildIndex(doc) {
    const entries = [];
    const position = new Map();
    const hasNode = Object.prototype.hasOwnProperty;
    // Three parallel stacks; an id of null closes the folder whose index is in `parents`.
    const ids = [doc.rootId];
    const depths = [0];
    const parents = [-1];
    const places = [1];
    const sizes = [1];
    while (ids.length) {
        const id = ids.pop();
        const depth = depths.pop();
        const parent = parents.pop();
        const place = places.pop();
        const size = sizes.pop();
        if (id === null) {
            const folder = entries[parent];
            folder.end = entries.length;
            if (folder.parent >= 0) entries[folder.parent].devices += folder.devices;
            continue;
        }
        const node = hasNode.call(doc.nodes, id) ? doc.nodes[id] : null;
        if (!node || typeof node !== 'object' || position.has(id)) continue;
        const index = entries.length;
        const isFolder = node.type === 'folder';
        entries.push({ id, node, depth, parent, place, size, end: index + 1, devices: isFolder ? 0 : 1, isFolder, text: null });
        position.set(id, index);
        if (isFolder) {
            ids.push(null);
            depths.push(0);
            parents.push(index);
            places.push(0);
            sizes.push(0);
            const children = Array.isArray(node.children) ? node.children : [];
            for (let c = children.length - 1; c >= 0; c -= 1) {
                ids.push(children[c]);
                depths.push(depth + 1);
                parents.push(index);
                places.push(c + 1);
                sizes.push(children.length);
            }
        } else if (parent >= 0) {
            entries[parent].devices += 1;
        }
    }
    return { entries, position };
}

function searchText(entry) {
    if (entry.text === null) {
        const { node } = entry;
        entry.text = `${node.name || ''}\n${node.description || ''}\n${node.ip || ''}`.toLowerCase();
    }
    return entry.text;
}

// Entry indexes of the rows to show: every row outside collapsed folders, or, while a search
// runs, every match with the folders above it and everything inside a matching folder.
export function visibleRows(index, collapsed, query) {
    const { entries } = index;
    const rows = [];
    const needle = query.trim().toLowerCase();
    if (!needle) {
        for (let i = 0; i < entries.length;) {
            rows.push(i);
            const entry = entries[i];
            i = entry.isFolder && collapsed.has(entry.id) ? entry.end : i + 1;
        }
        return rows;
    }
    const shown = new Uint8Array(entries.length);
    for (let i = 0; i < entries.length; i += 1) {
        if (shown[i] || searchText(entries[i]).indexOf(needle) < 0) continue;
        for (let up = entries[i].parent; up >= 0 && !shown[up]; up = entries[up].parent) shown[up] = 1;
        shown.fill(1, i, entries[i].end);
    }
    for (let i = 0; i < entries.length; i += 1) if (shown[i]) rows.push(i);
    return rows;
}

// How many devices beneath each folder are checked: one pass from the leaves upward.
export function checkedCounts(index, checked) {
    const { entries } = index;
    const counts = new Uint32Array(entries.length);
    for (let i = entries.length - 1; i >= 0; i -= 1) {
        const entry = entries[i];
        if (!entry.isFolder && checked.has(entry.id)) counts[i] = 1;
        if (entry.parent >= 0) counts[entry.parent] += counts[i];
    }
    return counts;
}

// The device ids beneath (or at) one entry.
export function devicesBeneath(index, entryIndex) {
    const { entries } = index;
    const ids = [];
    for (let i = entryIndex; i < entries[entryIndex].end; i += 1) if (!entries[i].isFolder) ids.push(entries[i].id);
    return ids;
}
