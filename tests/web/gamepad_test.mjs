// Plays the browser build with a gamepad: Start through the title into a
// run, the d-pad and the left stick walking the creature (the stick from its
// very first push), Start and Back pausing, B carrying on and A giving the
// run up; and a pad that was already there when the page started, which
// walks until it is unplugged. Started by
// tests/web/run.sh after web_test.mjs:
//
//   node --experimental-websocket tests/web/gamepad_test.mjs --url URL [--verbose]
//
// Headless Chromium has no gamepads and the DevTools protocol cannot make
// one, so the page gets a stand-in before its own scripts run (fakePadScript
// below). The game reads pads through SDL's emscripten joystick driver,
// which takes the pads already there from navigator.getGamepads() when the
// game opens its controllers, later ones from the window's
// "gamepadconnected" event, asks navigator.getGamepads() again every time
// the game reads its input, and looks at a pad's buttons and axes only when
// the pad's timestamp has changed. Exits 1 when a check fails.

import { checkList, launch, waitFor } from './cdp.mjs';

// Standard gamepad layout (the browser's, and the mapping SDL applies).
const A = 0;
const B = 1;
const BACK = 8;
const START = 9;
const DPAD_UP = 12;
const LEFT_STICK_Y = 1;
// How long, in game updates (16 ms each), the creature stands or walks for
// each measure: two seconds of play.
const MEASURE_UPDATES = 125;
// Walking covers about 28 units of the planet in MEASURE_UPDATES updates;
// standing, the creature is only nudged (half a unit when a fly bumps it).
// Walking must cover WALK_MIN and WALK_OVER_STILL times what standing did.
const WALK_MIN = 8;
const WALK_OVER_STILL = 5;
// Updates the creature is given to come to a stop once what walked it is
// let go; after them it must move no more than a walk that does not count.
const SETTLE_UPDATES = 15;
// Updates a button is held for: the game takes a press from one update to
// the next, and the browser may run several updates in one frame.
const PRESS_UPDATES = 4;
const LOAD_TIMEOUT_MS = 240000;

function parseArgs(argv) {
  const args = { url: null, verbose: false };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    if (a === '--url') args.url = argv[++i];
    else if (a === '--verbose') args.verbose = true;
    else throw new Error(`unknown argument ${a}`);
  }
  if (!args.url) throw new Error('usage: gamepad_test.mjs --url URL [--verbose]');
  if (!args.url.endsWith('/')) args.url += '/';
  return args;
}

const args = (() => {
  try {
    return parseArgs(process.argv.slice(2));
  } catch (error) {
    console.error(error.message);
    process.exit(2);
  }
})();

const started = Date.now();
const elapsed = () => `${((Date.now() - started) / 1000).toFixed(1)} s`;
const say = (line) => console.log(`[${elapsed()}] ${line}`);
const fixed = (x, digits = 2) => Number(x).toFixed(digits);

// The stand-in for a browser with one standard gamepad, run in the page
// before anything else. navigator.getGamepads() answers as Chromium's does:
// four slots, the pad in slot 0 once it is connected, each call a fresh
// snapshot. The test works the pad through window.__pad. With pluggedIn the
// pad is there from the start, as when a button was pressed while the page
// loaded: its "gamepadconnected" comes before the game listens, and the
// game can only find it by asking.
function fakePadScript(options) {
  const pad = {
    id: 'Test pad (STANDARD GAMEPAD Vendor: 0000 Product: 0000)',
    index: 0,
    connected: false,
    mapping: 'standard',
    timestamp: 0,
    axes: [0, 0, 0, 0],
    buttons: Array.from({ length: 17 }, () => ({ pressed: false, touched: false, value: 0 })),
  };
  let reads = 0;
  // A real pad's timestamp moves on whenever its data changes; a reader
  // may skip a pad whose timestamp has not.
  const changed = () => {
    pad.timestamp = Math.max(performance.now(), pad.timestamp + 0.001);
  };
  const snapshot = () => ({
    ...pad,
    axes: pad.axes.slice(),
    buttons: pad.buttons.map((b) => ({ ...b })),
  });
  Object.defineProperty(Navigator.prototype, 'getGamepads', {
    configurable: true,
    writable: true,
    value: function getGamepads() {
      ++reads;
      return [pad.connected ? snapshot() : null, null, null, null];
    },
  });
  // A GamepadEvent will not carry a pad of our own making.
  const tell = (type) => {
    const event = new Event(type);
    Object.defineProperty(event, 'gamepad', { value: snapshot() });
    window.dispatchEvent(event);
  };
  window.__pad = {
    connect() {
      pad.connected = true;
      changed();
      tell('gamepadconnected');
    },
    disconnect() {
      pad.connected = false;
      changed();
      tell('gamepaddisconnected');
    },
    press(i) {
      pad.buttons[i] = { pressed: true, touched: true, value: 1 };
      changed();
    },
    release(i) {
      pad.buttons[i] = { pressed: false, touched: false, value: 0 };
      changed();
    },
    axis(i, value) {
      pad.axes[i] = value;
      changed();
    },
    // How often the page has asked for the pads.
    get reads() {
      return reads;
    },
  };
  if (options.pluggedIn) window.__pad.connect();
}

let browser = null;
async function cleanUp() {
  if (browser) await browser.close();
}
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => {
    cleanUp().finally(() => process.exit(130));
  });
}

const state = () => browser.evaluate('window.poromeko ? window.poromeko.state() : null');
const pad = (call) => browser.evaluate(`window.__pad.${call}`);

// Waits until the game has run `count` more updates; resolves with the
// state then.
async function updates(count) {
  const from = (await state()).ticks;
  return waitFor(async () => {
    const s = await state();
    return s.ticks >= from + count ? s : null;
  }, { timeout: 30000, every: 50, what: `${count} updates of the game` });
}

// A button pressed and let go, held for PRESS_UPDATES updates.
async function press(button) {
  await pad(`press(${button})`);
  await updates(PRESS_UPDATES);
  await pad(`release(${button})`);
  await updates(PRESS_UPDATES);
}

// How far a walk must go to count, against how far standing went.
function walkNeeded(still) {
  return Math.max(WALK_MIN, WALK_OVER_STILL * still);
}

function distance(a, b) {
  return Math.hypot(a.x - b.x, a.y - b.y, a.z - b.z);
}

// How far the creature goes in MEASURE_UPDATES updates with the pad as
// hold() left it; release() lets go afterwards.
async function walk(hold = async () => {}, release = async () => {}) {
  await hold();
  const from = await state();
  const to = await updates(MEASURE_UPDATES);
  await release();
  if (to.scene !== 'play' || to.paused) throw new Error(`the run left play while walking (now "${to.scene}"${to.paused ? ', paused' : ''})`);
  return distance(from.player, to.player);
}

// Opens url with a fresh stand-in pad and waits for the title.
let padScript = null;
async function openAtTitle(url, options) {
  if (padScript) await browser.send('Page.removeScriptToEvaluateOnNewDocument', { identifier: padScript });
  padScript = await browser.addScriptOnNewDocument(`(${fakePadScript})(${JSON.stringify(options)});`);
  say(`opening ${url}${options.pluggedIn ? ' with the pad plugged in' : ''}`);
  await browser.navigate(url);
  await waitFor(async () => (await state())?.scene === 'title', {
    timeout: LOAD_TIMEOUT_MS, every: 250, what: 'the title (state().scene "title")',
  });
}

// Start until the run is under way (the first press may only skip the
// intro); resolves with how many presses it took.
async function startRun() {
  for (let presses = 1; presses <= 4; ++presses) {
    await press(START);
    // Leaving the title fades out for about a second.
    const inPlay = await waitFor(async () => (await state())?.scene === 'play', { timeout: 3000, every: 100 })
      .catch(() => false);
    if (!inPlay) continue;
    // The run fades in before its clock starts; Start during the fade
    // would be lost, and Start after it would pause.
    const s = await waitFor(async () => {
      const now = await state();
      return now.timeLeft < 179.9 ? now : null;
    }, { timeout: 10000, every: 100, what: 'the run\'s clock to start' });
    if (s.paused) throw new Error('the run started paused');
    return presses;
  }
  const s = await state();
  throw new Error(`still on "${s?.scene}" after 4 presses of Start (the page asked for the pads ${await pad('reads')} times)`);
}

const { results, check, notReached } = checkList(say);

// A pad connected once the title shows, the way a browser brings one in
// when its first button is pressed.
async function padConnectedOnTitle() {
  await openAtTitle(`${args.url}?seed=3`, { pluggedIn: false });
  await pad('connect()');

  const inRun = await check('Start on a pad connected at the title starts a run', async () => {
    const presses = await startRun();
    return `in play after ${presses} press${presses > 1 ? 'es' : ''} (the page asked for the pads ${await pad('reads')} times)`;
  });
  if (!inRun) {
    notReached('d-pad up walks, and the creature stops when it is let go', 'no run');
    notReached('the left stick walks from its first push, and the creature stops when it is let go', 'no run');
    notReached('Start and Back pause, B carries on, A gives the run up', 'no run');
    return;
  }

  await check('d-pad up walks, and the creature stops when it is let go', async () => {
    const still = await walk();
    const held = await walk(() => pad(`press(${DPAD_UP})`), () => pad(`release(${DPAD_UP})`));
    await updates(SETTLE_UPDATES);
    const after = await walk();
    const figures = `over ${MEASURE_UPDATES} updates the creature went ${fixed(still)} units standing, ` +
      `${fixed(held)} with d-pad up held, ${fixed(after)} once it was let go`;
    const needed = walkNeeded(still);
    if (held < needed) throw new Error(`d-pad up did not walk (less than ${fixed(needed)}): ${figures}`);
    if (after >= needed) throw new Error(`the creature walked on after d-pad up was let go: ${figures}`);
    return figures;
  });

  // A stick flicked to its end reads full in the first update that sees it
  // move at all: that first reading must walk too.
  await check('the left stick walks from its first push, and the creature stops when it is let go', async () => {
    const still = await walk();
    const push = () => pad(`axis(${LEFT_STICK_Y}, -1)`);
    const letGo = () => pad(`axis(${LEFT_STICK_Y}, 0)`);
    const first = await walk(push, letGo);
    await updates(SETTLE_UPDATES);
    const second = await walk(push, letGo);
    await updates(SETTLE_UPDATES);
    const after = await walk();
    const figures = `over ${MEASURE_UPDATES} updates the creature went ${fixed(still)} units standing, ` +
      `${fixed(first)} with the stick pushed up the first time, ${fixed(second)} the second time, ` +
      `${fixed(after)} once it was let go`;
    const needed = walkNeeded(still);
    const short = [first < needed && 'first', second < needed && 'second'].filter(Boolean);
    if (short.length) throw new Error(`the stick's ${short.join(' and ')} push did not walk (less than ${fixed(needed)}): ${figures}`);
    if (after >= needed) throw new Error(`the creature walked on after the stick was let go: ${figures}`);
    return figures;
  });

  await check('Start and Back pause, B carries on, A gives the run up', async () => {
    const steps = [];
    // Paused, the run's clock stands while the updates go on.
    const standsPaused = async (how) => {
      const s = await waitFor(async () => {
        const now = await state();
        return now.paused ? now : null;
      }, { timeout: 3000, every: 50, what: `${how} to pause` }).catch(async () => {
        throw new Error(`${how} did not pause (state: ${JSON.stringify(await state())})`);
      });
      const later = await updates(30);
      if (!later.paused || later.timeLeft !== s.timeLeft) {
        throw new Error(`after ${how} the clock went on from ${s.timeLeft} to ${later.timeLeft} (paused ${later.paused})`);
      }
      steps.push(`${how} paused at ${fixed(s.timeLeft)} s left`);
    };

    await press(START);
    await standsPaused('Start');

    await press(B);
    const resumed = await waitFor(async () => {
      const now = await state();
      return !now.paused ? now : null;
    }, { timeout: 3000, every: 50, what: 'B to carry on' }).catch(async () => {
      throw new Error(`B did not carry on (${steps.join('; ')}; state: ${JSON.stringify(await state())})`);
    });
    const running = await updates(30);
    if (running.paused || running.scene !== 'play' || !(running.timeLeft < resumed.timeLeft)) {
      throw new Error(`after B the run did not go on: ${JSON.stringify(running)}`);
    }
    steps.push(`B carried on (${fixed(running.timeLeft)} s left 30 updates later)`);

    await press(BACK);
    await standsPaused('Back');

    await press(A);
    const title = await waitFor(async () => {
      const now = await state();
      return now.scene === 'title' ? now : null;
    }, { timeout: 5000, every: 100, what: 'A to give the run up' }).catch(async () => {
      throw new Error(`A did not give the run up (${steps.join('; ')}; state: ${JSON.stringify(await state())})`);
    });
    steps.push(`A gave the run up (on the title, ${title.runs} runs finished)`);
    if (title.runs !== 0) throw new Error(`the run given up counted as finished: ${steps.join('; ')}`);
    return steps.join('; ');
  });
}

// A pad already there when the page starts, then unplugged while held.
async function padPluggedInAtStart() {
  await openAtTitle(`${args.url}?seed=3`, { pluggedIn: true });
  const inRun = await check('Start on a pad there from the page\'s start starts a run', async () => {
    const presses = await startRun();
    return `in play after ${presses} press${presses > 1 ? 'es' : ''}`;
  });
  if (!inRun) return notReached('unplugging the pad lets go of what it held', 'no run');

  await check('unplugging the pad lets go of what it held', async () => {
    const held = await walk(() => pad(`press(${DPAD_UP})`));
    // Unplugged with the button still down: nothing will ever let go of it.
    await pad('disconnect()');
    await updates(SETTLE_UPDATES);
    const unplugged = await walk();
    const figures = `over ${MEASURE_UPDATES} updates the creature went ${fixed(held)} units with d-pad up held, ` +
      `${fixed(unplugged)} once the pad was unplugged with the button still down`;
    if (held < WALK_MIN) throw new Error(`d-pad up did not walk: ${figures}`);
    if (unplugged >= WALK_MIN) throw new Error(`the creature walked on without its pad: ${figures}`);
    return figures;
  });
}

let exitCode = 0;
try {
  browser = await launch({
    width: 800,
    height: 600,
    log: args.verbose ? (line) => say(`page: ${line}`) : undefined,
  });
  say(`chromium ${browser.child.pid} listening on ${browser.port}`);
  await padConnectedOnTitle();
  await padPluggedInAtStart();
  const thrown = browser.console.filter((line) => line.startsWith('uncaught:'));
  await check('the page threw nothing', async () => {
    if (thrown.length) throw new Error(thrown.slice(0, 5).join('\n'));
  });
} catch (error) {
  say(`ERROR ${error.stack ?? error.message}`);
  exitCode = 2;
} finally {
  const failed = results.filter((r) => !r.ok);
  if ((failed.length || exitCode) && browser?.console.length) {
    console.log('the page\'s last console lines:');
    for (const line of browser.console.slice(-20)) console.log(`  ${line}`);
  }
  await cleanUp();
  console.log(`${elapsed()} in all`);
  console.log(`gamepad: ${results.length - failed.length} passed, ${failed.length} failed`);
  if (failed.length && !exitCode) exitCode = 1;
}
process.exit(exitCode);
