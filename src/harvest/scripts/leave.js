// Marks the document the engine holds as one the pane has left. A navigation within it (only
// the fragment changes) keeps it, and with it the mark goes.
window.lexhaulLeft = true;
window.addEventListener('hashchange', () => { window.lexhaulLeft = false; }, { once: true });
