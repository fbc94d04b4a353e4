// Keeps BrowserPane's mirror of this document's links up to date.
//
// Runs in the pane's isolated world at document creation, right after qwebchannel.js, so
// neither the transport nor these functions are reachable from the page's own scripts.
// Every push announces a whole new list with this document's token and creation time, which
// is how the pane tells documents apart and drops what an older one sends late. A push carries
// the list's beginning; the pane fetches the rest with lexhaulChunk() in pieces of bounded
// size: one channel message is parsed whole on the window's thread, and a big one would hold
// the window up for as long.
(function () {
    'use strict';
    if (typeof globalThis.lexhaulFlush === 'function')
        return;

    const MIN_GAP_MS = 25;
    const FIRST_CHARS = 1 << 16; // of the list, in the push itself
    const CHUNK_CHARS = 1 << 22; // per lexhaulChunk()

    function newToken() {
        const words = new Uint32Array(4);
        crypto.getRandomValues(words);
        return Array.from(words, (w) => w.toString(36)).join('.');
    }

    let token = newToken();
    // Wall-clock time, comparable across render processes: a later document is created later.
    let created = performance.timeOrigin + performance.now();
    // The engine's error pages are not a document of the user's.
    const ours = location.protocol !== 'chrome-error:';

    let sink = null;
    let connecting = false;
    let dirty = true;
    let nudged = false; // the pane was told we are dirty and waits for a push or "settled"
    let sent = null; // the last list pushed; null before the first push
    let version = 0; // counts the lists pushed
    let timer = 0;
    let cost = 0; // ms the last collection took
    let lastEnd = -Infinity;

    // The list goes over as one string, "address SEP text SEP address SEP text ...": one
    // string is far cheaper than thousands for both JSON ends of the channel. Addresses are
    // serialised URLs and hold no control characters; in texts, ESC and SEP are escaped as
    // ESC '0' and ESC '1'.
    const SEP = '\x1f';
    const ESC = '\x1e';
    const escapes = /[\x1e\x1f]/g;

    function escapeText(text) {
        if (text.indexOf(SEP) < 0 && text.indexOf(ESC) < 0)
            return text;
        return text.replace(escapes, (c) => (c === ESC ? ESC + '0' : ESC + '1'));
    }

    function collect() {
        const links = document.links;
        const n = links.length;
        const parts = new Array(2 * n);
        for (let i = 0; i < n; ++i) {
            const a = links[i];
            parts[2 * i] = a.href;
            parts[2 * i + 1] = escapeText(a.innerText);
        }
        return { count: n, payload: parts.join(SEP) };
    }

    // Whether a collection may run now: after a gap of twice the last collection's cost, so
    // that huge, busy pages do not spend all their time here. While the parser is still at
    // work on a page whose collections are no longer cheap, every collection holds it up, and
    // one still running when the parser is done delays the whole list: then at most a tenth
    // of the time goes to collecting, and none while the last collection cost more than a
    // tenth of the document's age. (Asking the document for its size would cost a walk over
    // it.)
    function due() {
        const now = performance.now();
        if (document.readyState !== 'loading' || cost < MIN_GAP_MS)
            return now - lastEnd >= Math.max(MIN_GAP_MS, 2 * cost);
        return now - lastEnd >= Math.max(MIN_GAP_MS, 9 * cost) && cost <= now / 10;
    }

    function push(count, payload) {
        ++version;
        sink.push(token, created, version, count, payload.length, payload.slice(0, FIRST_CHARS));
    }

    // Sends the list if it changed since the last push. Unless forced, only when due().
    function flush(force) {
        if (!sink || !dirty)
            return;
        if (!force && !due()) {
            schedule();
            return;
        }
        if (timer) {
            clearTimeout(timer);
            timer = 0;
        }
        dirty = false;
        if (!ours) {
            if (sent === null) {
                sent = { count: -1, payload: '' };
                push(-1, '');
            }
            return;
        }
        const start = performance.now();
        const list = collect();
        lastEnd = performance.now();
        cost = lastEnd - start;
        const unchanged =
            sent !== null && list.count === sent.count && list.payload === sent.payload;
        if (unchanged && nudged)
            sink.settled(token);
        nudged = false;
        if (unchanged)
            return;
        sent = list;
        push(list.count, list.payload);
    }

    // Page timers are throttled in hidden pages; the pane also calls lexhaulFlush() while we
    // are dirty, so this timer only helps when the page is visible.
    function schedule() {
        if (!timer)
            timer = setTimeout(() => {
                timer = 0;
                flush(false);
            }, MIN_GAP_MS);
    }

    function touch() {
        if (dirty)
            return;
        dirty = true;
        if (!sink)
            return;
        // After a quiet spell, send at once: this is the end of this task's changes, and
        // the engine has not yet painted them (which can take long on a big page).
        if (due()) {
            flush(true);
            return;
        }
        sink.dirty(token);
        nudged = true;
        schedule();
    }

    function connect() {
        if (sink || connecting || typeof qt !== 'object' || !qt || !qt.webChannelTransport)
            return;
        connecting = true;
        new QWebChannel(qt.webChannelTransport, (channel) => {
            sink = channel.objects.lexhaulMirror;
            dirty = true;
            flush(true);
        });
    }

    // For the pane: lexhaulFlush() sends pending changes, lexhaulFlush(true) the whole list
    // again; lexhaulToken() names the document the engine holds; lexhaulChunk() hands over
    // the piece of the pushed list that starts at `from`, or null once that list is no
    // longer the last one pushed.
    globalThis.lexhaulChunk = (pushedBy, pushed, from) =>
        pushedBy === token && pushed === version && sent !== null
            ? sent.payload.slice(from, from + CHUNK_CHARS)
            : null;
    globalThis.lexhaulFlush = (resend) => {
        if (!sink) {
            connect();
        } else if (resend) {
            sent = null;
            dirty = true;
            flush(true);
        } else {
            flush(false);
        }
    };
    globalThis.lexhaulToken = () => token;

    function settle() {
        dirty = true;
        flush(true);
    }

    // Styles and fonts that arrive late can change texts without a mutation: once the page
    // has loaded, collect once more. At once where collecting is cheap; on a big page only
    // when due, as the pane may still be fetching the list the parser's end brought, from this
    // same thread.
    function recheck() {
        if (cost < MIN_GAP_MS)
            return settle();
        dirty = false;
        touch();
    }

    new MutationObserver(touch).observe(document, {
        subtree: true,
        childList: true,
        characterData: true,
        attributes: true,
    });
    document.addEventListener('DOMContentLoaded', settle, true);
    window.addEventListener('load', recheck, true);
    // A document restored from the back-forward cache is current again: announce it anew.
    window.addEventListener('pageshow', (event) => {
        if (!event.persisted)
            return;
        token = newToken();
        created = performance.timeOrigin + performance.now();
        sent = null;
        settle();
    }, true);

    connect();
})();
