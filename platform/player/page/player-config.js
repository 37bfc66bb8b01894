// Read by ruffle.js when it loads. A file of its own: the page's policy runs
// no inline script.
"use strict";
window.RufflePlayer = {
  config: {
    polyfills: false,
    autoplay: "on",
    quality: "high",
    scale: "showAll",
    letterbox: "on",
    splashScreen: false,
    unmuteOverlay: "hidden",
    contextMenu: "off",
    showSwfDownload: false,
    warnOnUnsupportedContent: false,
    openUrlMode: "deny",
    allowNetworking: "internal",
    allowScriptAccess: false,
    upgradeToHttps: false,
    logLevel: "error",
  },
};
