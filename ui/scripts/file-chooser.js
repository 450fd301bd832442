// The host's file and folder choosers for the job dialogs: "jobs_chooseFile" names what to
// choose and a target, and "fileChosen" answers with the path ("" when cancelled).
import { Command, Message, payload } from './protocol.js';
import { host } from './page.js';

const waiting = new Map(); // target -> resolve

host.on(Message.fileChosen, (body) => {
    const resolve = waiting.get(body.target);
    if (!resolve) return;
    waiting.delete(body.target);
    resolve(body.chosen ? String(body.path || '') : '');
});

// The chosen path, or "" when the chooser was cancelled or there is no host.
export function chooseFile(kind, target) {
    const earlier = waiting.get(target);
    if (earlier) earlier('');
    return new Promise((resolve) => {
        waiting.set(target, resolve);
        if (!host.send(Command.jobsChooseFile, payload.jobsChooseFile(kind, target))) {
            waiting.delete(target);
            resolve('');
        }
    });
}

// A text field with a "Choose…" button beside it: the chosen path fills the field, which
// reports an input and a change event as if it had been typed and left.
export function wireChooser(button, field, kind) {
    button.addEventListener('click', async () => {
        const path = await chooseFile(kind, field.id);
        if (path) {
            field.value = path;
            field.dispatchEvent(new Event('input', { bubbles: true }));
            field.dispatchEvent(new Event('change', { bubbles: true }));
        }
        field.focus();
    });
}
