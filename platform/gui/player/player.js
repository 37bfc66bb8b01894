// The one player of the preview, reused for every movie. The program drives it
// with tessaroPlayer.play/clear and hears back through console lines that
// start with "tessaro-player:" (the engine hands console lines to the program).
"use strict";
(function () {
  const player = window.RufflePlayer.newest().createPlayer();
  player.id = "player";
  document.body.appendChild(player);

  // The movie the player shows now; reports of an earlier one are dropped by
  // the program by this number.
  let current = 0;

  function report(kind, generation, data) {
    console.log("tessaro-player:" + kind + " " + generation + " " + JSON.stringify(data === undefined ? null : data));
  }

  player.addEventListener("loadedmetadata", () => {
    report("metadata", current, player.ruffle().metadata);
  });

  window.tessaroPlayer = {
    play(generation, url, base, siteOrigin, siteHost) {
      current = generation;
      window.tessaroSite = { origin: siteOrigin, host: siteHost };
      player.style.display = "";
      player.ruffle().load({ url: url, base: base }).catch((error) => report("failed", generation, String(error)));
    },
    clear(generation) {
      current = generation;
      window.tessaroSite = { origin: null, host: null };
      player.ruffle().suspend();
      player.style.display = "none";
    },
  };

  report("ready", 0);
})();
