// How long the document's links have stood still, in milliseconds: a watch of the document's
// changes to links (added, removed, edited, re-addressed), started by the first question.
(() => {
    if (NOT_THE_USERS_DOCUMENT)
        return null;
    if (!window.lexhaulQuiet) {
        const quiet = (window.lexhaulQuiet = { since: performance.now() });
        const link = 'a[href], area[href]';
        const inLink = (node) => {
            const element = node.nodeType === Node.ELEMENT_NODE ? node : node.parentElement;
            return !!(element && element.closest(link));
        };
        const holdsLink = (node) => node.nodeType === Node.ELEMENT_NODE
            && (node.matches(link) || !!node.querySelector(link));
        new MutationObserver((records) => {
            for (const record of records) {
                if (inLink(record.target) || Array.prototype.some.call(record.addedNodes, holdsLink)
                    || Array.prototype.some.call(record.removedNodes, holdsLink)) {
                    quiet.since = performance.now();
                    return;
                }
            }
        }).observe(document, { subtree: true, childList: true, characterData: true, attributes: true });
    }
    return Math.floor(performance.now() - window.lexhaulQuiet.since);
})()
