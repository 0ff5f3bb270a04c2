// The page's side of the browser build, run before the game starts.
//  - The page's address gives the game its options: ?seed=7&autoplay&runs=1
//    is --seed 7 --autoplay --runs 1 (autoplay=mischief is
//    --autoplay=mischief). The game starts windowed: a page cannot go full
//    screen before the player has touched it (the page's button, or F11,
//    does it later). The game speaks the page's language: emscripten hands
//    navigator.language to it as LANG ("en-US" becomes "en_US.UTF-8");
//    ?lang=en or ?lang=ja picks one.
//  - /persist lives in the browser's IndexedDB: it is read back before the
//    game starts, and written out whenever the game has replaced a file in
//    it (Module.persistFiles, called by the game's atomic write). One
//    write-out copies every changed file in one IndexedDB transaction.
//  - window.poromeko lets the page (and the tests driving it) ask how the
//    game is doing: state() is the game's report line, stats() the frame
//    loop's own figures, readFile() any file of the game's file system.
(function () {
  var args = [];
  var screenChosen = false;
  if (typeof location !== 'undefined') {
    new URLSearchParams(location.search).forEach(function (value, key) {
      if (key === 'autoplay' && value === 'mischief') {
        args.push('--autoplay=mischief');
        return;
      }
      if (key === 'windowed' || key === 'fullscreen') {
        screenChosen = true;
        if (key === 'fullscreen') return;  // only the player may go full screen
      }
      args.push('--' + key);
      if (value !== '') args.push(value);
    });
  }
  if (!screenChosen) args.unshift('--windowed');
  Module['arguments'] = args;

  var syncing = false;
  var again = false;
  function persist() {
    if (syncing) {
      again = true;
      return;
    }
    syncing = true;
    FS.syncfs(false, function (err) {
      syncing = false;
      if (err) console.error('poromeko: the ranking could not be stored in the browser:', err);
      if (again) {
        again = false;
        persist();
      }
    });
  }
  Module['persistFiles'] = persist;

  Module['preRun'] = Module['preRun'] || [];
  Module['preRun'].push(function () {
    FS.mkdir('/persist');
    FS.mount(IDBFS, {}, '/persist');
    addRunDependency('persist');
    FS.syncfs(true, function (err) {
      if (err) console.error('poromeko: the stored ranking could not be read:', err);
      removeRunDependency('persist');
    });
  });

  var page = {
    exited: null,
    rankingPath: '/persist/poromeko/Ranking.txt',
    state: function () {
      if (!Module['calledRun']) return null;
      return JSON.parse(UTF8ToString(Module['_poromeko_status']()));
    },
    stats: function () {
      if (!Module['calledRun']) return null;
      return JSON.parse(UTF8ToString(Module['_poromeko_loop_stats']()));
    },
    readFile: function (path) {
      try {
        return FS.readFile(path);
      } catch (e) {
        return null;
      }
    },
  };
  Module['onGameExit'] = function (code) {
    page.exited = code;
    if (Module['onExitShown']) Module['onExitShown'](code);
  };
  if (typeof window !== 'undefined') window.poromeko = page;
})();
