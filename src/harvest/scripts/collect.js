// The document's links, in document order, as one string: one string crosses from the render
// process and into Qt far cheaper than an array of hundreds of thousands.
//
// Records are separated by RS (U+001E), their fields by US (U+001F): the address, the text the
// link shows, then the link's segments, if it has several. Addresses are serialised URLs and hold no
// control characters; in texts GS (U+001D), RS and US are escaped as GS '0', GS '1', GS '2'.
// No links is the empty string; null is no document of the user's.
//
// The request below is null for every link, as above. With a selector (the user's rule for the page), the
// elements it selects take the links' place, each with its own address, its nearest enclosing
// link's, or none. With layout, the answer is an array: the records, then where the links stand
// (see layoutOf).
(() => {
    if (NOT_THE_USERS_DOCUMENT)
        return null;
    const request = REQUEST;
    const escaped = (text) => (/[\x1d-\x1f]/.test(text)
        ? text.replace(/[\x1d-\x1f]/g, (c) => '\x1d' + String.fromCharCode(c.charCodeAt(0) - 0x1d + 48))
        : text);
    // The texts of the elements a link is built of, where it is built of several that each hold
    // a whole text: a card's rank, title and heat figure side by side. An element whose text
    // runs beside text of its parent's (如何评价<em>新作</em>的口碑) is part of that text.
    const segmentsOf = (a) => {
        const segments = [];
        const walk = (element) => {
            let child = element.firstElementChild;
            for (let node = element.firstChild; child && node; node = node.nextSibling) {
                if (node.nodeType === Node.TEXT_NODE && node.data.trim() !== '')
                    child = null;
            }
            if (!child) {
                const text = element.textContent.replace(/\s+/g, ' ').trim();
                if (text !== '')
                    segments.push(text);
                return;
            }
            for (; child; child = child.nextElementSibling) {
                if (!/^(SCRIPT|STYLE|TEMPLATE|NOSCRIPT)$/.test(child.tagName))
                    walk(child);
            }
        };
        walk(a);
        return segments.length > 1 ? segments : null;
    };
    // The elements above the links, up to the root: links are nodes 0 to n - 1, their
    // ancestors follow as they are met. Answers the kinds (tag and classes) joined by US, then
    // each node's parent and each node's kind as numbers joined by commas, then, joined by RS,
    // the ancestors that have children holding no link: the node, then those children's texts
    // where short, joined by US.
    const layoutOf = (links) => {
        const ids = new Map();
        const parents = [];
        const kinds = [];
        const kindIds = new Map();
        const kindOf = (element) => {
            const classes = element.getAttribute('class');
            const kind = classes && classes.trim() !== ''
                ? element.tagName + ' ' + classes.trim().split(/\s+/).join(' ')
                : element.tagName;
            let id = kindIds.get(kind);
            if (id === undefined)
                kindIds.set(kind, id = kindIds.size);
            return id;
        };
        const n = links.length;
        for (let i = 0; i < n; ++i) {
            ids.set(links[i], i);
            parents.push(-1);
            kinds.push(kindOf(links[i]));
        }
        const ancestors = [];
        for (let i = 0; i < n; ++i) {
            let child = i;
            for (let element = links[i].parentElement; element; element = element.parentElement) {
                let id = ids.get(element);
                const known = id !== undefined;
                if (!known) {
                    ids.set(element, id = parents.length);
                    parents.push(-1);
                    kinds.push(kindOf(element));
                    ancestors.push(element);
                }
                parents[child] = id;
                if (known)
                    break;
                child = id;
            }
        }
        const pieces = [];
        for (const element of ancestors) {
            let texts = '';
            for (let node = element.firstChild; node; node = node.nextSibling) {
                // Ancestors of links are nodes themselves; scripts and styles show nothing.
                if (ids.has(node) || (node.nodeType !== Node.TEXT_NODE
                    && (node.nodeType !== Node.ELEMENT_NODE
                        || /^(SCRIPT|STYLE|TEMPLATE|NOSCRIPT)$/.test(node.tagName))))
                    continue;
                const text = node.textContent.trim();
                if (text !== '' && text.length <= 16)
                    texts += '\x1f' + escaped(text);
            }
            if (texts !== '')
                pieces.push(ids.get(element) + texts);
        }
        return [Array.from(kindIds.keys(), escaped).join('\x1f'), parents.join(','), kinds.join(','),
            pieces.join('\x1e')];
    };
    const links = document.links;
    if (request === null) {
        const n = links.length;
        const records = new Array(n);
        for (let i = 0; i < n; ++i) {
            const a = links[i];
            const segments = a.firstElementChild ? segmentsOf(a) : null;
            records[i] = a.href + '\x1f' + escaped(a.innerText)
                + (segments ? '\x1f' + segments.map(escaped).join('\x1f') : '');
        }
        return records.join('\x1e');
    }
    const selected = request.selector !== undefined;
    // The engine accepted the selector when the rules were read.
    const chosen = selected ? document.querySelectorAll(request.selector) : links;
    const n = chosen.length;
    const records = new Array(n);
    for (let i = 0; i < n; ++i) {
        const element = chosen[i];
        const segments = element.firstElementChild ? segmentsOf(element) : null;
        let address = element.href;
        let text = element.innerText;
        if (selected) {
            const link = element.closest('a[href], area[href]');
            address = link && typeof link.href === 'string' ? link.href : '';
            if (typeof text !== 'string')
                text = element.textContent; // no HTML element
        }
        records[i] = address + '\x1f' + escaped(text)
            + (segments ? '\x1f' + segments.map(escaped).join('\x1f') : '');
    }
    const joined = records.join('\x1e');
    return request.layout ? [joined, ...layoutOf(chosen)] : joined;
})()
