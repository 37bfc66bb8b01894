// The player of the preview. The program drives it with tessaroPlayer.play
// and clear and hears back through console lines that start with
// "tessaro-player:" (the engine hands console lines to the program).
//
// Each movie gets a player element of its own and the one before is removed:
// Ruffle reports a failed download of a movie to the element's instance of the
// moment, so a movie replaced while its bytes were on the way (and refused
// once it was replaced) would otherwise take the next movie down with it.
// Ruffle's WebAssembly is compiled once for the page and shared.
"use strict";
(function () {
  let player = null;

  function report(kind, generation, data) {
    console.log("tessaro-player:" + kind + " " + generation + " " + JSON.stringify(data === undefined ? null : data));
  }

  // The element for the next movie; its reports carry that movie's number.
  function freshPlayer(generation, hidden) {
    if (player !== null)
      player.remove();
    const element = window.RufflePlayer.newest().createPlayer();
    element.id = "player";
    element.style.display = hidden ? "none" : "";
    element.addEventListener("loadedmetadata", () => report("metadata", generation, element.ruffle().metadata));
    document.body.appendChild(element);
    player = element;
    return element;
  }

  // Ruffle builds a movie's instance after awaiting its WebAssembly, so loads
  // run one after the other and a request overtaken meanwhile is dropped.
  let chain = Promise.resolve();
  let wanted = 0;

  function whenTurn(generation, step) {
    wanted = generation;
    chain = chain.then(() => (generation === wanted ? step() : undefined));
  }

  window.tessaroPlayer = {
    play(generation, url, base, siteOrigin, siteHost) {
      whenTurn(generation, () => {
        window.tessaroSite = { origin: siteOrigin, host: siteHost };
        return freshPlayer(generation, false)
          .ruffle()
          .load({ url: url, base: base })
          .catch((error) => report("failed", generation, String(error)));
      });
    },
    clear(generation) {
      whenTurn(generation, () => {
        window.tessaroSite = { origin: null, host: null };
        if (player !== null)
          player.remove();
        player = null;
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
  whenTurn(-1, () => freshPlayer(-1, true).ruffle().load({ data: emptyMovie }).catch(() => {}));

  report("ready", 0);
})();
