// This engine's fetch() refuses custom schemes while XMLHttpRequest serves
// them, and Ruffle loads its WebAssembly and every movie with fetch(). So
// fetch() of our scheme goes through XMLHttpRequest, and nothing else may
// leave the page: movie bytes always come through the program.
"use strict";
(function () {
  const scheme = location.protocol;  // "tessaro:"
  const nativeFetch = window.fetch.bind(window);

  const guessType = (url) =>
    url.endsWith(".wasm") ? "application/wasm"
      : url.endsWith(".js") ? "text/javascript"
        : "application/octet-stream";

  // The movie's own site, as far as the page was told: an absolute address
  // there is fetched through the program like a relative one.
  window.tessaroSite = { origin: null, host: null };

  function throughScheme(url) {
    if (url.protocol === scheme)
      return url;
    const site = window.tessaroSite;
    if (site.origin !== null && url.origin === site.origin)
      return new URL(url.pathname + url.search, site.host);
    return null;
  }

  window.fetch = async function (input, init) {
    const request = input instanceof Request ? input : null;
    const text = request ? request.url : String(input);
    const given = new URL(text, document.baseURI);
    if (given.protocol === "data:" || given.protocol === "blob:")
      return nativeFetch(input, init);
    const url = throughScheme(given);
    if (url === null)
      throw new TypeError("Only the program's own addresses are fetched: " + given.href);
    const method = (init && init.method) || (request && request.method) || "GET";
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open(method, url.href);
      xhr.responseType = "arraybuffer";
      xhr.onload = () => {
        if (xhr.status !== 0 && (xhr.status < 200 || xhr.status > 299)) {
          reject(new TypeError("Not found: " + url.href));
          return;
        }
        const response = new Response(xhr.response, {
          status: 200,
          headers: { "Content-Type": xhr.getResponseHeader("Content-Type") || guessType(url.pathname) },
        });
        Object.defineProperty(response, "url", { value: url.href });
        resolve(response);
      };
      xhr.onerror = () => reject(new TypeError("Could not load " + url.href));
      xhr.send();
    });
  };
})();
