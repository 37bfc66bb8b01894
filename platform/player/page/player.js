// The one player of the preview, reused for every movie. The program drives it
// with tessaroPlayer.play/clear and hears back through console lines that
// start with "tessaro-player:" (the engine hands console lines to the program).
"use strict";
(function () {
  const player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  document.body.appendChild(player);

  function report(kind, generation, data) {
    console.log("tessaro-player:" + kind + " " + generation + " " + JSON.stringify(data === undefined ? null : data));
  }

  // Ruffle builds a movie's instance after awaiting its WebAssembly; a load
  // started before the previous one has built its instance leaves both alive,
  // and reports of the first are taken for the second. So loads run one after
  // the other, a request that was overtaken meanwhile is dropped, and every
  // report carries the number of the movie whose load ran last.
  let chain = Promise.resolve();
  let wanted = 0;
  let current = 0;

  function whenTurn(generation, step) {
    wanted = generation;
    chain = chain.then(() => {
      if (generation !== wanted)
        return undefined;
      current = generation;
      return step();
    });
  }

  player.addEventListener("loadedmetadata", () => {
    report("metadata", current, player.ruffle().metadata);
  });

  window.tessaroPlayer = {
    play(generation, url, base, siteOrigin, siteHost) {
      whenTurn(generation, () => {
        window.tessaroSite = { origin: siteOrigin, host: siteHost };
        player.style.display = "";
        return player.ruffle().load({ url: url, base: base }).catch((error) => report("failed", generation, String(error)));
      });
    },
    clear(generation) {
      whenTurn(generation, () => {
        window.tessaroSite = { origin: null, host: null };
        player.ruffle().suspend();
        player.style.display = "none";
      });
    },
  };

  // Fetching and compiling Ruffle's WebAssembly takes a second or more: do it
  // now, hidden, with an empty movie, so the first movie picked starts at once.
  // Its reports carry a number no movie of the program has.
  const emptyMovie = new Uint8Array([
    0x46, 0x57, 0x53, 0x0a, 0x24, 0x00, 0x00, 0x00,        // "FWS" 10, 36 bytes
    0x80, 0x00, 0x00, 0x7d, 0x00, 0x00, 0x00, 0x3e, 0x80,  // 200 x 100 pixels
    0x00, 0x18, 0x01, 0x00,                                // 24 fps, 1 frame
    0x44, 0x11, 0x00, 0x00, 0x00, 0x00,                    // FileAttributes
    0x43, 0x02, 0x00, 0x00, 0x00,                          // SetBackgroundColor black
    0x40, 0x00, 0x00, 0x00,                                // ShowFrame, End
  ]);
  player.style.display = "none";
  whenTurn(-1, () => player.ruffle().load({ data: emptyMovie }).catch(() => {}));

  report("ready", 0);
})();
