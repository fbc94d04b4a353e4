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
    // Where the links stand: the elements above them, up to the root. Links are nodes 0 to
    // n - 1; each ancestor becomes a node, numbered from n on, when the first link under it is
    // met. A link's elements, from the root down, share a beginning with the link's before it:
    // the link says how many, then how many follow, then those elements' kinds, the link's own
    // last (numbers joined by commas). Kinds are tag and classes, joined by US. Each new ancestor
    // with children that hold no link and read short (a rank, a figure) gives its node, then
    // their texts, joined by US; those records are joined by RS. No element is looked up in a
    // map: on a page of 200,000 links that alone took longer than reading their texts.
    const layoutOf = (links) => {
        const kindIds = new Map();
        const kindOf = (element) => {
            const classes = element.className;
            const raw = typeof classes === 'string' && classes !== ''
                ? element.tagName + ' ' + classes
                : element.tagName;
            let id = kindIds.get(raw);
            if (id === undefined)
                kindIds.set(raw, id = kindIds.size);
            return id;
        };
        const n = links.length;
        const numbers = [];
        const pieces = [];
        let previous = [];
        let next = n;
        for (let i = 0; i < n; ++i) {
            let chain = previous;
            let shared = chain.length - 1;
            // Links side by side (a list's, a bar's) share all but themselves.
            if (i > 0 && links[i].parentElement === links[i - 1].parentElement) {
                chain[shared] = links[i];
            } else {
                chain = [];
                for (let element = links[i]; element; element = element.parentElement)
                    chain.push(element);
                chain.reverse();
                shared = 0;
                while (shared < chain.length - 1 && shared < previous.length - 1
                    && chain[shared] === previous[shared])
                    ++shared;
            }
            numbers.push(shared, chain.length - shared);
            for (let k = shared; k < chain.length; ++k) {
                numbers.push(kindOf(chain[k]));
                if (k === chain.length - 1)
                    break;
                const node = next++;
                // The root's and the body's children are the page's parts, not a card's.
                if (k < 2)
                    continue;
                let texts = '';
                for (let child = chain[k].firstChild; child; child = child.nextSibling) {
                    if (child === chain[k + 1] || (child.nodeType !== Node.TEXT_NODE
                        && (child.nodeType !== Node.ELEMENT_NODE
                            || /^(SCRIPT|STYLE|TEMPLATE|NOSCRIPT)$/.test(child.tagName))))
                        continue;
                    const text = child.textContent.trim();
                    if (text !== '' && text.length <= 16 && (child.nodeType === Node.TEXT_NODE
                        || !child.querySelector('a[href], area[href]')))
                        texts += '\x1f' + escaped(text);
                }
                if (texts !== '')
                    pieces.push(node + texts);
            }
            previous = chain;
        }
        return [Array.from(kindIds.keys(), escaped).join('\x1f'), numbers.join(','),
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
