// Tessaro's document collector. Injected into every frame of the page view
// in an isolated world, so page scripts can neither see nor patch it.
//
// The top frame assembles a tree of what the page scan reads, per document:
// its URL, its object elements (raw attributes and PARAM children), the src
// of its embeds as written, the text of its scripts, and its frame and
// iframe documents in document order. A same-origin child is read directly;
// a cross-origin child is asked by postMessage, and the copy of this script
// running there answers with its own tree. A child that does not answer
// within the budget is null.
//
// The program calls start(budget) and polls take(id): runJavaScript cannot
// wait for a Promise. Subframes announce on the console when they finished
// loading, as the program rescans the page then.
(function () {
    'use strict';
    const TAG = '__tessaroDocumentModel';
    if (window[TAG])
        return;

    const FRAME_COMPLETE = TAG + ':frame-complete';
    const DEFAULT_BUDGET_MS = 3000;
    let seq = 0;
    const pending = new Map();  // request id -> {w, resolve}
    const results = new Map();  // snapshot id -> {json} or {error}

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

    function askChild(w, budget) {
        return new Promise(resolve => {
            const id = TAG + ':' + (++seq) + ':' + Math.random().toString(36).slice(2);
            const timer = setTimeout(() => {
                pending.delete(id);
                resolve(null);
            }, budget);
            pending.set(id, {
                w,
                resolve: tree => {
                    clearTimeout(timer);
                    resolve(tree);
                },
            });
            // Each level passes on less than it has, so an answer can still
            // travel back before the asking level gives up.
            w.postMessage({[TAG]: 'collect', id, budget: Math.floor(budget * 0.8)}, '*');
        });
    }

    function collectTree(win, budget) {
        const tree = own(win.document);
        // Only frame and iframe elements hold frames for the scan. Objects and
        // embeds whose plugin is missing get a browsing context of their own
        // too; walking those thousands of empty documents costs seconds.
        const jobs = [];
        for (const container of win.document.querySelectorAll('iframe, frame')) {
            const w = container.contentWindow;
            if (w)
                jobs.push(readable(w) ? collectTree(w, budget) : askChild(w, budget));
        }
        return Promise.all(jobs).then(frames => {
            tree.frames = frames;
            return tree;
        });
    }

    window.addEventListener('message', ev => {
        const d = ev.data;
        if (!d || typeof d !== 'object' || !(TAG in d))
            return;
        if (d[TAG] === 'collect' && fromAncestor(ev.source)) {
            ev.stopImmediatePropagation();
            const source = ev.source;
            collectTree(window, d.budget || 1000)
                .catch(() => null)
                .then(tree => source.postMessage({[TAG]: 'result', id: d.id, tree}, '*'));
        } else if (d[TAG] === 'result') {
            const p = pending.get(d.id);
            if (p && p.w === ev.source) {
                ev.stopImmediatePropagation();
                pending.delete(d.id);
                p.resolve(d.tree);
            }
        }
    }, true);

    if (window !== window.top && !isPluginContent()) {
        const announce = () => console.info(FRAME_COMPLETE);
        if (document.readyState === 'complete')
            announce();
        else
            window.addEventListener('load', announce, {once: true});
    }

    window[TAG] = {
        start(budget) {
            const id = ++seq;
            Promise.resolve()
                .then(() => collectTree(window, budget > 0 ? budget : DEFAULT_BUDGET_MS))
                .then(tree => results.set(id, {json: JSON.stringify(tree)}))
                .catch(e => results.set(id, {error: String(e)}));
            return id;
        },
        take(id) {
            const r = results.get(id);
            if (r === undefined)
                return 0;  // not ready yet
            results.delete(id);
            return r;
        },
    };
})();
