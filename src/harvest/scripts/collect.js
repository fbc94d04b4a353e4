// The document's links, in document order, as one string: one string crosses from the render
// process and into Qt far cheaper than an array of hundreds of thousands.
//
// Records are separated by RS (U+001E), their fields by US (U+001F): the address, the text the
// link shows, then the link's segments, if any. Addresses are serialised URLs and hold no
// control characters; in texts GS (U+001D), RS and US are escaped as GS '0', GS '1', GS '2'.
// No links is the empty string; null is no document of the user's.
(() => {
    if (NOT_THE_USERS_DOCUMENT)
        return null;
    const escaped = (text) => (/[\x1d-\x1f]/.test(text)
        ? text.replace(/[\x1d-\x1f]/g, (c) => '\x1d' + String.fromCharCode(c.charCodeAt(0) - 0x1d + 48))
        : text);
    const links = document.links;
    const n = links.length;
    const records = new Array(n);
    for (let i = 0; i < n; ++i) {
        const a = links[i];
        records[i] = a.href + '\x1f' + escaped(a.innerText);
    }
    return records.join('\x1e');
})()
