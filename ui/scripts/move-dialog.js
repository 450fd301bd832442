// Moving a node: the rule of where it may go (drag and drop uses it too) and the "Move to…"
// dialog for the current row.
import * as sites from './sites-model.js';
import { $, state, element, setStatus } from './page.js';
import { change } from './editing.js';
import { confirmDialog } from './dialogs.js';

// A node can move into a folder that is not inside it and is not already its parent.
export function canMoveInto(id, folderId) {
    const from = state.index.position.get(id);
    const to = state.index.position.get(folderId);
    if (from === undefined || to === undefined || id === state.doc.rootId) return false;
    const target = state.index.entries[to];
    if (!target.isFolder || (to >= from && to < state.index.entries[from].end)) return false;
    return state.index.entries[from].parent !== to;
}

export function moveInto(id, folderId) {
    if (!canMoveInto(id, folderId)) return false;
    const folder = state.doc.nodes[folderId];
    return change(`Moved \u201C${state.doc.nodes[id].name}\u201D to \u201C${folder.name}\u201D`, () => {
        state.collapsed.delete(folderId);
        return sites.moveNode(state.doc, id, folderId);
    });
}

async function moveCurrent() {
    const id = state.currentId;
    if (!id || id === state.doc.rootId) {
        setStatus('Choose a device or a folder to move', 'error');
        return;
    }
    const select = $('move-target');
    select.replaceChildren();
    for (const folder of sites.folderPaths(state.doc)) {
        if (!canMoveInto(id, folder.id)) continue;
        const option = element('option', '', folder.path);
        option.value = folder.id;
        select.append(option);
    }
    if (!select.options.length) {
        setStatus('There is no other folder to move to', 'error');
        return;
    }
    select.selectedIndex = 0;
    $('move-title').textContent = `Move \u201C${state.doc.nodes[id].name}\u201D to\u2026`;
    if (await confirmDialog($('move-dialog'))) moveInto(id, select.value);
    $('tree').focus();
}

export function wireMoveDialog() {
    $('move-to').addEventListener('click', moveCurrent);
}
