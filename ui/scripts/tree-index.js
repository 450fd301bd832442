// The sites tree flattened once per change into depth-first order, so that what the page
// needs on every keystroke or scroll (visible rows, search, folder counts, check states) is a
// pass over plain arrays instead of a walk over the node map.
import { nodeOf } from './sites-model.js';

// entries[i] = { id, node, depth, parent (entry index or -1), end (index after the subtree),
//                devices (devices beneath a folder), text (lower-cased searchable text) }
export function buildIndex(doc) {
    const entries = [];
    const position = new Map();
    const seen = new Set();
    const stack = [{ id: doc.rootId, depth: 0, parent: -1 }];
    while (stack.length) {
        const item = stack.pop();
        if (item.close !== undefined) {
            const entry = entries[item.close];
            entry.end = entries.length;
            if (entry.parent >= 0) entries[entry.parent].devices += entry.devices;
            continue;
        }
        const node = nodeOf(doc, item.id);
        if (!node || seen.has(item.id)) continue;
        seen.add(item.id);
        const index = entries.length;
        const isFolder = node.type === 'folder';
        entries.push({
            id: item.id, node, depth: item.depth, parent: item.parent, end: index + 1,
            devices: isFolder ? 0 : 1, isFolder,
            text: [node.name, node.description, node.ip].join('\n').toLowerCase()
        });
        position.set(item.id, index);
        if (isFolder) {
            stack.push({ close: index });
            const children = Array.isArray(node.children) ? node.children : [];
            for (let c = children.length - 1; c >= 0; c -= 1)
                stack.push({ id: children[c], depth: item.depth + 1, parent: index });
        } else if (item.parent >= 0) {
            entries[item.parent].devices += 1;
        }
    }
    return { entries, position };
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
        if (shown[i] || entries[i].text.indexOf(needle) < 0) continue;
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
