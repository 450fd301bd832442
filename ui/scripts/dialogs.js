// Modal dialogs: a <dialog> holding a form of method "dialog" is shown and answers whether it
// closed with the value "ok".

// The showing of each dialog whose close has not been reported yet. The close event comes as a
// task of its own, so the dialog can be asked again before it arrives: the earlier showing is
// then answered with the value it closed with, and its late event answers nothing.
const unreportedShowing = new WeakMap();

export function confirmDialog(dialog) {
    const earlier = unreportedShowing.get(dialog);
    if (earlier) earlier();
    return new Promise((resolve) => {
        const settle = () => {
            dialog.removeEventListener('close', closed);
            if (unreportedShowing.get(dialog) === settle) unreportedShowing.delete(dialog);
            resolve(dialog.returnValue === 'ok');
        };
        const closed = () => {
            if (!dialog.open) settle();
        };
        unreportedShowing.set(dialog, settle);
        dialog.returnValue = '';
        dialog.addEventListener('close', closed);
        dialog.showModal();
    });
}
