// The document's links, in document order, as one string: one string crosses from the render
// process and into Qt far cheaper than an array of hundreds of thousands.
//
// Records are separated by RS (U+001E), their fields by US (U+001F): the address, the text the
// link shows, then the link's segments, if it has several. Addresses are serialised URLs and hold no
// control characters; in texts GS (U+001D), RS and US are escaped as GS '0', GS '1', GS '2'.
// No links is the empty string; null is no document of the user's.
(() => {
    if (NOT_THE_USERS_DOCUMENT)
        return null;
    const escaped = (text) => (/[\x1d-\x1f]/.test(text)
        ? text.replace(/[\x1d-\x1f]/g, (c) => '\x1d' + String.fromCharCode(c.charCodeAt(0) - 0x1d + 48))
        : text);
    // The texts of the elements a link is built of, where it is built of several that each hold
    // a whole text: a card's rank, title and heat figure side by side. An element whose text
    // runs beside text of its parent's (如何评价<em>新作</em>的口碑) is part of that text.
    // (Their white space is folded on the other side.)
    const unshown = new Set(['SCRIPT', 'STYLE', 'TEMPLATE', 'NOSCRIPT']);
    const visible = /\S/;
    const segmentsOf = (a) => {
        const segments = [];
        const walk = (element) => {
            let child = element.firstElementChild;
            for (let node = element.firstChild; child && node; node = node.nextSibling) {
                if (node.nodeType === Node.TEXT_NODE && visible.test(node.data))
                    child = null;
            }
            if (!child) {
                const text = element.textContent;
                if (visible.test(text))
                    segments.push(text);
                return;
            }
            for (; child; child = child.nextElementSibling) {
                if (!unshown.has(child.tagName))
                    walk(child);
            }
        };
        walk(a);
        return segments.length > 1 ? segments : null;
    };
    const links = document.links;
    const n = links.length;
    const records = new Array(n);
    for (let i = 0; i < n; ++i) {
        const a = links[i];
        const segments = a.firstElementChild ? segmentsOf(a) : null;
        records[i] = a.href + '\x1f' + escaped(a.innerText)
            + (segments ? '\x1f' + segments.map(escaped).join('\x1f') : '');
    }
    return records.join('\x1e');
})()
