// Changes to the sites tree: each is applied, saved through the host at once ("setSitesData")
// and can be undone (the last one).
import { Command, payload } from './protocol.js';
import { $, host, state, setStatus, rebuildIndex } from './page.js';

function save(doneText) {
    if (!host.send(Command.setSitesData, payload.setSitesData(state.doc))) {
        setStatus('Not connected to the desktop host; changes are not saved', 'error');
        return;
    }
    state.pendingSaveText = doneText;
    setStatus('Saving\u2026');
}

// Applies one change; the tree before it is kept so that the change can be undone.
export function change(doneText, mutate) {
    const before = JSON.stringify(state.doc);
    if (mutate() === false) return false;
    state.undo = { before, text: doneText };
    $('undo').disabled = false;
    $('undo').title = 'Undo: ' + doneText;
    rebuildIndex();
    save(doneText);
    return true;
}

export function undo() {
    if (!state.undo) return;
    const { before, text } = state.undo;
    state.undo = null;
    $('undo').disabled = true;
    $('undo').title = '';
    state.doc = JSON.parse(before);
    rebuildIndex();
    save('Undone: ' + text);
}
