// Tessaro's document collector. Injected into every frame of the page view
// in an isolated world, so page scripts can neither see nor patch it.
//
// The program asks the top frame for its tree: per document, its URL, its
// object elements (raw attributes and PARAM children), the src of its embeds
// as written, the text of its scripts, and its frame and iframe documents in
// document order. A same-origin child is read directly. A cross-origin child
// cannot be, so its place in the tree holds a fresh random slot name, and the
// child is asked by postMessage to report itself under that slot; the copy of
// this script running there writes its tree to the console, which only the
// program reads. No tree ever travels in a message: page scripts see the
// requests, so an answer by message would hand a page the content of frames
// from other origins.
//
// Subframes also announce on the console when they finished loading, as the
// program rescans the page then.
(function () {
    'use strict';
    const TAG = '__tessaroDocumentModel';
    if (window[TAG])
        return;

    const FRAME_COMPLETE = TAG + ':frame-complete';
    const TREE = TAG + ':tree ';

    // Object and embed elements are read through the prototype's functions:
    // a property looked up on the element itself asks the engine for its
    // plugin first, which lays the page out again, element by element.
    const getAttribute = Element.prototype.getAttribute;
    const childrenOf = Object.getOwnPropertyDescriptor(Element.prototype, 'children').get;

    function attr(el, name) {
        return getAttribute.call(el, name);
    }

    function own(doc) {
        return {
            url: doc.URL,
            objects: Array.from(doc.getElementsByTagName('object'), o => ({
                classid: attr(o, 'classid'),
                type: attr(o, 'type'),
                codebase: attr(o, 'codebase'),  // raw: the codeBase property comes back resolved
                data: attr(o, 'data'),
                params: Array.from(childrenOf.call(o))
                    .filter(p => p.localName === 'param')
                    .map(p => [attr(p, 'name'), attr(p, 'value')]),
            })),
            embeds: Array.from(doc.embeds, e => attr(e, 'src')),
            scripts: Array.from(doc.scripts, s => s.text),
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

    function collectTree(win) {
        const tree = own(win.document);
        // Only frame and iframe elements hold frames for the scan. Objects and
        // embeds whose plugin is missing get a browsing context of their own
        // too; walking those thousands of empty documents costs seconds.
        for (const container of win.document.querySelectorAll('iframe, frame')) {
            const w = container.contentWindow;
            if (!w)
                continue;
            if (readable(w)) {
                tree.frames.push(collectTree(w));
            } else {
                const slot = newSlot();
                tree.frames.push({slot});
                w.postMessage({[TAG]: 'collect', slot}, '*');
            }
        }
        return tree;
    }

    window.addEventListener('message', ev => {
        const d = ev.data;
        if (!d || typeof d !== 'object' || d[TAG] !== 'collect' || typeof d.slot !== 'string'
            || !/^[0-9a-f]{32}$/.test(d.slot) || !fromAncestor(ev.source))
            return;
        console.info(TREE + JSON.stringify({slot: d.slot, tree: collectTree(window)}));
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
            return JSON.stringify(collectTree(window));
        },
    };
})();
