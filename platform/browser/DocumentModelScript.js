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
// and frame depth; what lies beyond is left out.
//
// Subframes also announce on the console when they finished loading, as the
// program rescans the page then.
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

    const FRAME_COMPLETE = TAG + ':frame-complete ' + SECRET;
    const TREE = TAG + ':tree ' + SECRET + ' ';

    // Object and embed elements are read through the prototype's functions:
    // a property looked up on the element itself asks the engine for its
    // plugin first, which lays the page out again, element by element.
    const getAttribute = Element.prototype.getAttribute;
    const childrenOf = Object.getOwnPropertyDescriptor(Element.prototype, 'children').get;

    function attr(el, name) {
        return getAttribute.call(el, name);
    }

    // The first MAX_ELEMENTS items of a collection, each read, while keep
    // says so (it may stop earlier).
    function take(list, read, keep) {
        const out = [];
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

    function own(doc, budget) {
        return {
            url: doc.URL,
            objects: take(doc.getElementsByTagName('object'), o => ({
                classid: attr(o, 'classid'),
                type: attr(o, 'type'),
                codebase: attr(o, 'codebase'),  // raw: the codeBase property comes back resolved
                data: attr(o, 'data'),
                params: take(childrenOf.call(o),
                    p => p.localName === 'param' ? [attr(p, 'name'), attr(p, 'value')] : undefined),
            })),
            embeds: take(doc.embeds, e => attr(e, 'src')),
            scripts: take(doc.scripts, s => {
                const text = s.text.slice(0, budget.scriptText);
                budget.scriptText -= text.length;
                return text;
            }, () => budget.scriptText > 0),
            frames: [],
        };
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

    window.addEventListener('message', ev => {
        const d = ev.data;
        if (!d || typeof d !== 'object' || d[TAG] !== 'collect' || typeof d.slot !== 'string'
            || !/^[0-9a-f]{32}$/.test(d.slot) || !fromAncestor(ev.source))
            return;
        const depth = depthOf(window);
        if (depth > MAX_FRAME_DEPTH)
            return;
        console.info(TREE + d.slot + ' ' + depth + ' ' + JSON.stringify(collectTree(window, depth, newBudget())));
    }, true);

    if (window !== window.top && !isPluginContent()) {
        const announce = () => console.info(FRAME_COMPLETE);
        if (document.readyState === 'complete')
            announce();
        else
            window.addEventListener('load', announce, {once: true});
    }

    window[TAG] = {
        // The top document's tree as JSON, cross-origin frames as slots.
        collect() {
            return JSON.stringify(collectTree(window, 0, newBudget()));
        },
    };
})();
