// Tessaro's document collector. Injected into every frame of the page view
// in an isolated world, so page scripts can neither see nor patch it.
//
// The program asks the top frame for its tree: per document, its URL, its
// object elements (raw attributes and PARAM children), the src of its embeds
// as written, the text of its scripts, and its frame and iframe documents in
// document order. A same-origin child is read directly. A cross-origin child
// cannot be, so its place in the tree holds a fresh random slot name and the
// frame's depth, and the child is asked by postMessage to report itself under
// that slot; the copy of this script running there writes its tree to the
// console, which only the program reads. No tree ever travels in a message:
// page scripts see the requests, so an answer by message would hand a page
// the content of frames from other origins.
//
// A page can write to the console under this script's name too (eval with a
// source URL), and sees the slot names. So every console report carries the
// secret the program wrote into this script for the current load, which page
// scripts cannot read, and states the frame's depth, which the program checks
// against the slot's: a frame cannot have another frame answer for it.
//
// What is read is bounded: script text per tree, elements per collection,
// the length of each attribute, and frame depth; what lies beyond is left
// out, and a tree that left something out says so ("cut": true on its
// document), so the program can tell the user.
//
// Subframes also announce on the console when they finished loading, as the
// program rescans the page then; and every document, for a while after it
// completed, when elements that may hold a movie were added.
//
// Per document also: its base address, the type and flashvars of objects
// and embeds, the objects and embeds written inside noscript (text while
// scripts run, parsed here into a document of their own that loads and runs
// nothing), and, when the program asks for it, the text of its external
// script files. That text is not in
// the element; it is read as the browser keeps it, from its HTTP cache
// (fetch with only-if-cached, which never goes to the network and is allowed
// for the document's own origin only), so a file the cache does not hold, or
// one from another origin, is left out. Reads start when the document
// completed and are bounded in count, size and time; a tree asked for while
// some are under way waits for them.
(function () {
    'use strict';
    const TAG = '__tessaroDocumentModel';
    if (window[TAG])
        return;

    // Written by the program into the source for each load.
    const SECRET = '@SECRET@';
    const MAX_SCRIPT_TEXT = Number('@MAX_SCRIPT_TEXT@');  // UTF-16 units per tree
    const MAX_ELEMENTS = Number('@MAX_ELEMENTS@');        // per collection
    const MAX_FRAME_DEPTH = Number('@MAX_FRAME_DEPTH@');  // the top document is 0
    const MAX_ATTRIBUTE_TEXT = Number('@MAX_ATTRIBUTE_TEXT@');  // UTF-16 units of one attribute value
    const READS_SCRIPT_FILES = '@READS_SCRIPT_FILES@' === 'true';  // the texts of external script files

    const FRAME_COMPLETE = TAG + ':frame-complete ' + SECRET;
    const TREE = TAG + ':tree ' + SECRET + ' ';
    const ELEMENTS_ADDED = TAG + ':elements-added ' + SECRET;
    const NOT_READY = -2;  // the program asks again

    const MAX_LOADED_SCRIPTS = 64;         // external files read per document
    const MAX_LOADED_TEXT = 1024 * 1024;   // UTF-16 units kept per file
    const LOADED_READ_MS = 3000;           // after which a read is given up
    const MAX_NOSCRIPT_TEXT = 256 * 1024;  // markup parsed per noscript element
    const GROWTH_WATCH_MS = 10000;         // how long after completion additions count
    const GROWTH_ANNOUNCE_MS = 250;        // additions within this make one announcement

    // Object and embed elements are read through the prototype's functions:
    // a property looked up on the element itself asks the engine for its
    // plugin first, which lays the page out again, element by element.
    const getAttribute = Element.prototype.getAttribute;
    const childrenOf = Object.getOwnPropertyDescriptor(Element.prototype, 'children').get;

    // Whether the tree being collected left something out.
    let cut = false;

    // A value past the bound is left out whole: cut short it would name
    // another address.
    function attr(el, name) {
        const value = getAttribute.call(el, name);
        if (value !== null && value.length > MAX_ATTRIBUTE_TEXT) {
            cut = true;
            return null;
        }
        return value;
    }

    // The first MAX_ELEMENTS items of a collection, each read, while keep
    // says so (it may stop earlier).
    function take(list, read, keep) {
        const out = [];
        if (list.length > MAX_ELEMENTS)
            cut = true;
        const n = Math.min(list.length, MAX_ELEMENTS);
        for (let i = 0; i < n && (!keep || keep()); ++i) {
            const item = read(list[i]);
            if (item !== undefined)
                out.push(item);
        }
        return out;
    }

    // How many frames up the top document is; the parent chain is readable
    // across origins and cannot be changed by a page.
    function depthOf(w) {
        let depth = 0;
        for (let p = w; p !== p.parent; p = p.parent)
            ++depth;
        return depth;
    }

    function objectOf(o) {
        return {
            classid: attr(o, 'classid'),
            type: attr(o, 'type'),
            codebase: attr(o, 'codebase'),  // raw: the codeBase property comes back resolved
            data: attr(o, 'data'),
            flashvars: attr(o, 'flashvars'),
            base: attr(o, 'base'),
            params: take(childrenOf.call(o),
                p => p.localName === 'param' ? [attr(p, 'name'), attr(p, 'value')] : undefined),
        };
    }

    // Embeds are listed by src, as written; their other attributes in a
    // list of the same order beside.
    function embedsOf(list, into) {
        into.embeds = take(list, e => attr(e, 'src'));
        into.embedAttributes =
            take(list, e => ({type: attr(e, 'type'), flashvars: attr(e, 'flashvars'), base: attr(e, 'base')}));
        return into;
    }

    // Texts of external script files by address: null when none could be
    // read, undefined while being read.
    const loadedTexts = new Map();
    let readsUnderWay = 0;

    async function readBounded(response) {
        const reader = response.body.getReader();
        const decoder = new TextDecoder();
        let text = '';
        while (text.length < MAX_LOADED_TEXT) {
            const {done, value} = await reader.read();
            if (done)
                return text + decoder.decode();
            text += decoder.decode(value, {stream: true});
        }
        reader.cancel();
        return text.slice(0, MAX_LOADED_TEXT);
    }

    function readLoaded(doc, address) {
        if (!READS_SCRIPT_FILES || loadedTexts.has(address))
            return;
        if (loadedTexts.size >= MAX_LOADED_SCRIPTS) {
            loadedTexts.set(address, null);
            return;
        }
        let url;
        try {
            url = new URL(address);
        } catch (e) {
            return;
        }
        if (url.origin !== doc.location.origin || !/^https?:$/.test(url.protocol)) {
            loadedTexts.set(address, null);
            return;
        }
        loadedTexts.set(address, undefined);
        ++readsUnderWay;
        const abort = new AbortController();
        const timer = setTimeout(() => abort.abort(), LOADED_READ_MS);
        doc.defaultView.fetch(address, {cache: 'only-if-cached', mode: 'same-origin', credentials: 'same-origin',
                                        redirect: 'error', signal: abort.signal})
            .then(response => (response.ok ? readBounded(response) : null))
            .catch(() => null)
            .then(text => {
                clearTimeout(timer);
                loadedTexts.set(address, text);
                --readsUnderWay;
            });
    }

    function readAllLoaded(doc) {
        take(doc.scripts, s => (s.src ? readLoaded(doc, s.src) : undefined));
    }

    // Scripts are listed by text (empty for an external one); the texts of
    // their files, null for an inline one, in a list of the same order
    // beside; both within the budget.
    function scriptsOf(doc, budget, into) {
        into.scripts = [];
        into.loadedScripts = [];
        take(doc.scripts, s => {
            const text = s.text.slice(0, budget.scriptText);
            if (text.length < s.text.length)
                cut = true;
            budget.scriptText -= text.length;
            let loaded = null;
            if (s.src) {
                readLoaded(doc, s.src);
                loaded = (loadedTexts.get(s.src) || '').slice(0, budget.scriptText);
                budget.scriptText -= loaded.length;
            }
            into.scripts.push(text);
            into.loadedScripts.push(loaded);
        }, () => budget.scriptText > 0);
        return into;
    }

    function noscriptOf(doc) {
        const found = {objects: [], embeds: [], embedAttributes: []};
        take(doc.getElementsByTagName('noscript'), n => {
            const markup = n.textContent.slice(0, MAX_NOSCRIPT_TEXT);
            if (!/<(object|embed)[\s>\/]/i.test(markup))
                return;
            const parsed = new DOMParser().parseFromString('<!DOCTYPE html><body>' + markup, 'text/html');
            found.objects.push(...take(parsed.getElementsByTagName('object'), objectOf));
            const embeds = embedsOf(parsed.getElementsByTagName('embed'), {});
            found.embeds.push(...embeds.embeds);
            found.embedAttributes.push(...embeds.embedAttributes);
        }, () => found.objects.length + found.embeds.length < MAX_ELEMENTS);
        return found;
    }

    function own(doc, budget) {
        // A document whose address is past the bound names nothing a row
        // can hold; its frames are read as documents of their own.
        if (doc.URL.length > MAX_ATTRIBUTE_TEXT || doc.baseURI.length > MAX_ATTRIBUTE_TEXT) {
            cut = true;
            return {url: null, frames: []};
        }
        const tree = {
            url: doc.URL,
            base: doc.baseURI,
            objects: take(doc.getElementsByTagName('object'), objectOf),
            // A frame may show a movie itself: its document is then no page.
            frameSources: take(doc.querySelectorAll('iframe, frame'), f => attr(f, 'src') || undefined),
            // Links and image-map areas, as written: a page may reference a
            // movie only by linking to it ("play full screen").
            links: take(doc.links, a => attr(a, 'href') || undefined),
        };
        embedsOf(doc.embeds, tree);
        scriptsOf(doc, budget, tree);
        tree.noscript = noscriptOf(doc);
        tree.frames = [];
        return tree;
    }

    function readable(w) {
        try {
            return !!w.document && typeof w.document.URL === 'string';
        } catch (e) {
            return false;
        }
    }

    // A request may come from the parent or, when a same-origin ancestor read
    // the parent directly, from that ancestor.
    function fromAncestor(source) {
        for (let p = window; p !== p.parent;) {
            p = p.parent;
            if (p === source)
                return true;
        }
        return false;
    }

    // The document an object or embed element shows in place of its plugin;
    // only known when the parent is of the same origin.
    function isPluginContent() {
        try {
            const owner = window.frameElement;
            return !!owner && (owner.localName === 'object' || owner.localName === 'embed');
        } catch (e) {
            return false;
        }
    }

    function newSlot() {
        const bytes = new Uint8Array(16);
        crypto.getRandomValues(bytes);
        return Array.from(bytes, b => b.toString(16).padStart(2, '0')).join('');
    }

    function collectTree(win, depth, budget) {
        const tree = own(win.document, budget);
        if (depth >= MAX_FRAME_DEPTH)
            return tree;
        // Only frame and iframe elements hold frames for the scan. Objects and
        // embeds whose plugin is missing get a browsing context of their own
        // too; walking those thousands of empty documents costs seconds.
        tree.frames = take(win.document.querySelectorAll('iframe, frame'), container => {
            const w = container.contentWindow;
            if (!w)
                return undefined;
            if (readable(w))
                return collectTree(w, depth + 1, budget);
            // The program splices the report in place of exactly this text.
            const slot = newSlot();
            w.postMessage({[TAG]: 'collect', slot}, '*');
            return {slot, depth: depth + 1};
        });
        return tree;
    }

    function newBudget() {
        return {scriptText: MAX_SCRIPT_TEXT};
    }

    // A whole tree, marked when anything was left out of it.
    function collectMarked(win, depth) {
        cut = false;
        const tree = collectTree(win, depth, newBudget());
        if (cut)
            tree.cut = true;
        return tree;
    }

    window.addEventListener('message', ev => {
        const d = ev.data;
        if (!d || typeof d !== 'object' || d[TAG] !== 'collect' || typeof d.slot !== 'string'
            || !/^[0-9a-f]{32}$/.test(d.slot) || !fromAncestor(ev.source))
            return;
        const depth = depthOf(window);
        if (depth > MAX_FRAME_DEPTH)
            return;
        // The frame's external files may still be being read; a read ends
        // within its time bound.
        const report = () => {
            const tree = collectMarked(window, depth);
            if (readsUnderWay > 0)
                setTimeout(report, 20);
            else
                console.info(TREE + d.slot + ' ' + depth + ' ' + JSON.stringify(tree));
        };
        report();
    }, true);

    if (window !== window.top && !isPluginContent()) {
        const announce = () => console.info(FRAME_COMPLETE);
        if (document.readyState === 'complete')
            announce();
        else
            window.addEventListener('load', announce, {once: true});
    }

    // Announces, for a while after the document completed, that elements
    // which may hold a movie were added or changed; at most one announcement
    // a batch of additions.
    function watchGrowth() {
        const relevant = 'object, embed, param, script, iframe, frame, noscript';
        let timer = 0;
        // The first MAX_ELEMENTS of a batch, and of the nodes a record adds.
        const adds = r => {
            const n = Math.min(r.addedNodes.length, MAX_ELEMENTS);
            for (let i = 0; i < n; ++i) {
                const node = r.addedNodes[i];
                if (node.nodeType === Node.ELEMENT_NODE && (node.matches(relevant) || node.querySelector(relevant)))
                    return true;
            }
            return false;
        };
        const observer = new MutationObserver(records => {
            if (timer)
                return;
            let seen = false;
            for (let i = 0; i < records.length && i < MAX_ELEMENTS && !seen; ++i)
                seen = records[i].type === 'attributes' ? records[i].target.matches(relevant) : adds(records[i]);
            if (!seen)
                return;
            timer = setTimeout(() => {
                timer = 0;
                readAllLoaded(document);
                console.info(ELEMENTS_ADDED);
            }, GROWTH_ANNOUNCE_MS);
        });
        observer.observe(document, {childList: true, subtree: true, attributes: true,
                                    attributeFilter: ['src', 'data', 'value', 'type', 'classid', 'flashvars']});
        setTimeout(() => observer.disconnect(), GROWTH_WATCH_MS);
    }

    function completed() {
        readAllLoaded(document);
        watchGrowth();
    }
    if (document.readyState === 'complete')
        completed();
    else
        window.addEventListener('load', completed, {once: true});

    window[TAG] = {
        // The top document's tree as JSON, cross-origin frames as slots;
        // NOT_READY while external files are being read.
        collect() {
            const tree = JSON.stringify(collectMarked(window, 0));
            return readsUnderWay > 0 ? NOT_READY : tree;
        },
    };
})();
