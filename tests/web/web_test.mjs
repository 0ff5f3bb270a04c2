// Plays the browser build in headless Chromium and checks what a player
// would: the loading screen, the title, Enter starting a run, the play screen
// against the desktop game's picture of the same moment, the pace of the
// updates, and a finished run's score kept in the ranking across a reload.
// Started by tests/web/run.sh, which serves the site:
//
//   node --experimental-websocket tests/web/web_test.mjs --url URL --desktop GAME --results DIR
//
// Pictures go to DIR; the figures are printed. Exits 1 when a check fails.

import { spawn } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import {
  checkList,
  compare, crop, decodePng, differenceImage, encodePng, launch, sleep, variety, waitFor,
} from './cdp.mjs';

// One update every 16 ms.
const TICKS_PER_SECOND = 62.5;
// How far the measured update rate may stray from it.
const TICK_RATE_TOLERANCE = 0.01;
const PACING_SECONDS = 30;
// The run is seeded and played by the autoplayer, so the picture after this
// update is the same as the desktop game's but for rasteriser differences.
const SHOT_TICK = 600;
const SHOT_PATH = '/tmp/web600.png';
// --shot draws the picture of its update right after that update, however
// the frames fall, so the browser's picture and the desktop's show the same
// moment of the run. (SHOT_LATE_MAX would compare later updates of the
// desktop's too, should that ever stop being so; none are needed.)
const SHOT_LATE_MAX = 0;
// The browser's and Mesa's rasterisers differ in rounding and in single
// pixels of thin shapes: the same picture from both measured 0.12 levels a
// channel on average and 0.007 % of pixels (34 lone ones) off by more than
// PIXEL_THRESHOLD levels. A picture one update apart differs by about 1
// level and 1.3 %.
const PIXEL_THRESHOLD = 24;
const SHOT_MEAN_ABS_MAX = 0.5;
const SHOT_SHARE_OFF_MAX = 0.002;
const SAME_PICTURE_MEAN_ABS_MAX = 0.5;
const SAME_PICTURE_SHARE_OFF_MAX = 0.002;
// The HUD is flat 2D pictures that both rasterisers draw alike (no pixel off
// on the first build), so any part of it missing or misplaced shows here
// even where it is too small to move the whole picture's figures.
const HUD_REGIONS = [
  { name: 'meal gauge', x: 15, y: 30, width: 310, height: 95 },
  { name: 'clock', x: 580, y: 10, width: 210, height: 75 },
  { name: 'score', x: 15, y: 515, width: 255, height: 75 },
];
const HUD_SHARE_OFF_MAX = 0.005;
// A picture is not blank when this share of its pixels differ from its most
// common colour. The loading screen is mostly black (4 % of it differs on the
// first build); a canvas the game has not drawn on is flat.
const LOADING_SHARE_MIN = 0.01;
// The title's pictures differ from their commonest colour in over 90 % of
// their pixels; a picture this busy is not the loading screen.
const TITLE_SHARE_MIN = 0.5;
const SCREEN_SHARE_MIN = 0.1;
// Software WebGL on a busy machine is slow; these are deliberately long.
const LOAD_TIMEOUT_MS = 240000;
const RUN_TIMEOUT_MS = 6 * 60000;

function parseArgs(argv) {
  const args = { url: null, desktop: null, results: 'build-web/results', verbose: false };
  for (let i = 0; i < argv.length; ++i) {
    const a = argv[i];
    if (a === '--url') args.url = argv[++i];
    else if (a === '--desktop') args.desktop = argv[++i];
    else if (a === '--results') args.results = argv[++i];
    else if (a === '--verbose') args.verbose = true;
    else throw new Error(`unknown argument ${a}`);
  }
  if (!args.url || !args.desktop) {
    throw new Error('usage: web_test.mjs --url URL --desktop GAME [--results DIR] [--verbose]');
  }
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
mkdirSync(args.results, { recursive: true });

const started = Date.now();
const elapsed = () => `${((Date.now() - started) / 1000).toFixed(1)} s`;
const say = (line) => console.log(`[${elapsed()}] ${line}`);
const fixed = (x, digits = 2) => Number(x).toFixed(digits);

let browser = null;
let desktop = null;
async function cleanUp() {
  if (desktop && desktop.exitCode === null) {
    try {
      process.kill(-desktop.pid, 'SIGKILL');
    } catch {}
  }
  if (browser) await browser.close();
}
for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => {
    cleanUp().finally(() => process.exit(130));
  });
}

// --- the page's interface -------------------------------------------------

const state = () => browser.evaluate('window.poromeko ? window.poromeko.state() : null');
const sample = () =>
  browser.evaluate(`({ now: performance.now(), state: window.poromeko.state(),
    stats: window.poromeko.stats(), exited: window.poromeko.exited })`);

// A file of the game's file system, or null; base64 on the way, since a
// Uint8Array returned by value comes back as an object of numbered keys.
async function readGameFile(path) {
  const text = await browser.evaluate(`(() => {
    const bytes = window.poromeko.readFile(${JSON.stringify(path)});
    if (!bytes) return null;
    let s = '';
    for (let i = 0; i < bytes.length; i += 0x8000) s += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    return btoa(s);
  })()`);
  return text === null ? null : Buffer.from(text, 'base64');
}

// The canvas's part of a screenshot.
async function canvasPicture() {
  const png = await browser.screenshot();
  const box = await browser.evaluate(`(() => {
    const r = document.querySelector('canvas').getBoundingClientRect();
    return { x: Math.round(r.x), y: Math.round(r.y), width: Math.round(r.width), height: Math.round(r.height) };
  })()`);
  const page = decodePng(png);
  return { png, page, box, canvas: crop(page, box.x, box.y, box.width, box.height) };
}

function save(name, data) {
  const file = join(args.results, name);
  writeFileSync(file, data);
  return file;
}

function describeVariety(v) {
  return `${fixed(v.shareOff * 100, 1)} % of pixels off the commonest colour, brightness deviation ${fixed(v.deviation, 1)}`;
}

// Ranking lines as [rank, score], e.g. "1位,001234" -> [1, 1234].
function parseRanking(buffer) {
  return buffer
    .toString('utf8')
    .split(/\r?\n/)
    .map((line) => /^(\d+)位,(\d+)$/.exec(line.trim()))
    .filter(Boolean)
    .map((m) => [Number(m[1]), Number(m[2])]);
}

// --- the checks -----------------------------------------------------------

const { results, check, notReached } = checkList(say);

const referenceTicks = Array.from({ length: SHOT_LATE_MAX + 1 }, (_, i) => SHOT_TICK + i);

// The desktop game's pictures after updates SHOT_TICK to SHOT_TICK +
// SHOT_LATE_MAX of the same seeded, autoplayed run, under a virtual X
// server, as a Map from the update to the PNG.
function desktopReference(dir) {
  const env = { ...process.env, LIBGL_ALWAYS_SOFTWARE: '1', SDL_AUDIODRIVER: 'dummy' };
  const file = (tick) => join(dir, `desktop-${tick}.png`);
  const argv = [
    '-a', '-s', '-screen 0 1280x1024x24', args.desktop, '--windowed', '--lang', 'en', '--seed', '7',
    '--autoplay',
    ...referenceTicks.flatMap((tick) => ['--shot', `${tick}:${file(tick)}`]),
    '--frames', String(SHOT_TICK + 300),
  ];
  desktop = spawn('xvfb-run', argv, { env, detached: true, stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  desktop.stderr.on('data', (chunk) => {
    stderr = (stderr + chunk).slice(-2000);
  });
  const child = desktop;
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => {
      try {
        process.kill(-child.pid, 'SIGKILL');
      } catch {}
      reject(new Error('the desktop game did not finish in 5 minutes'));
    }, 5 * 60000);
    child.once('error', (error) => {
      clearTimeout(timer);
      reject(new Error(`cannot run xvfb-run: ${error.message}`));
    });
    child.once('exit', (code, signal) => {
      clearTimeout(timer);
      if (code !== 0) reject(new Error(`the desktop game exited with ${code ?? signal}: ${stderr.trim()}`));
      else {
        try {
          resolve(new Map(referenceTicks.map((tick) => [tick, readFileSync(file(tick))])));
        } catch (error) {
          reject(new Error(`the desktop game wrote no picture: ${error.message}`));
        }
      }
    });
  });
}

// Runs in the page before its own scripts: after each display frame, while
// the game says it is loading, copies what the canvas holds (the picture
// the game has just drawn, before the browser shows it) and keeps the
// busiest copy as a PNG data URL in window.loadingWatch. Loading lasts a
// handful of frames, over before a screenshot from outside could be sure to
// catch one, and slowing the page enough for that also slows the browser's
// answers past any sensible timeout on a busy machine.
function loadingWatchScript(variety) {
  const watch = { frames: 0, best: null, bestShare: -1, over: false };
  window.loadingWatch = watch;
  let copy = null;
  let context = null;
  // variety() of every fourth pixel of every fourth row: quick enough for a
  // frame, and close to the whole picture's.
  function shareOff(data, width, height) {
    const w = Math.ceil(width / 4);
    const h = Math.ceil(height / 4);
    const rgba = new Uint8Array(w * h * 4);
    for (let y = 0; y < h; ++y) {
      for (let x = 0; x < w; ++x) {
        const from = (y * 4 * width + x * 4) * 4;
        for (let c = 0; c < 4; ++c) rgba[(y * w + x) * 4 + c] = data[from + c];
      }
    }
    return variety({ width: w, height: h, rgba }).shareOff;
  }
  function look() {
    if (watch.over || !window.poromeko) return;
    let state = null;
    try {
      state = window.poromeko.state();
    } catch {
      return;
    }
    if (!state) return;
    if (state.scene !== 'loading') {
      watch.over = true; // the game runs and has left its loading, seen or not
      return;
    }
    const canvas = document.querySelector('canvas');
    if (!canvas || !canvas.width || !canvas.height) return;
    if (!copy) {
      copy = document.createElement('canvas');
      context = copy.getContext('2d', { willReadFrequently: true });
    }
    if (copy.width !== canvas.width || copy.height !== canvas.height) {
      copy.width = canvas.width;
      copy.height = canvas.height;
    }
    context.clearRect(0, 0, copy.width, copy.height);
    context.drawImage(canvas, 0, 0);
    ++watch.frames;
    const share = shareOff(context.getImageData(0, 0, copy.width, copy.height).data, copy.width, copy.height);
    if (share > watch.bestShare) {
      watch.bestShare = share;
      watch.best = copy.toDataURL('image/png');
    }
  }
  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) =>
    request((time) => {
      try {
        callback(time);
      } finally {
        look();
      }
    });
}

// Opens url and waits for the game to leave its loading screen, then checks
// the busiest picture it drew while loading.
async function loadingScreen(url) {
  const script = await browser.addScriptOnNewDocument(`(${loadingWatchScript})(${variety});`);
  try {
    await browser.navigate(url, { waitForLoad: false });
    const watch = await waitFor(
      () => browser.evaluate('window.loadingWatch && window.loadingWatch.over ? window.loadingWatch : null'),
      { timeout: LOAD_TIMEOUT_MS, every: 250, what: 'the game to load (state().scene leaving "loading")' },
    );
    if (!watch.frames) throw new Error('the game left its loading screen before drawing a frame of it');
    const png = Buffer.from(watch.best.slice(watch.best.indexOf(',') + 1), 'base64');
    save('1-loading.png', png);
    const v = variety(decodePng(png));
    if (v.shareOff < LOADING_SHARE_MIN) {
      throw new Error(`in ${watch.frames} frames drawn while loading the canvas stayed flat (busiest: ${describeVariety(v)})`);
    }
    if (v.shareOff >= TITLE_SHARE_MIN) {
      throw new Error(`the busiest loading frame looks like a busier screen than the loading one: ${describeVariety(v)}`);
    }
    return `${describeVariety(v)} (the busiest of ${watch.frames} frames drawn while loading)`;
  } finally {
    await browser.send('Page.removeScriptToEvaluateOnNewDocument', { identifier: script });
  }
}

// Without autoplay: the loading screen, the title, and Enter into play.
async function playerPage() {
  const url = `${args.url}?seed=7`;
  say(`opening ${url}`);
  await check('the loading screen shows', () => loadingScreen(url));

  const ok = await check('the title appears', async () => {
    await waitFor(async () => (await state())?.scene === 'title', {
      timeout: LOAD_TIMEOUT_MS, every: 500, what: 'the title (state().scene "title")',
    });
    await sleep(1500); // its first frames fade in
    const shot = await canvasPicture();
    save('2-title.png', shot.png);
    const v = variety(shot.canvas);
    if (v.shareOff < SCREEN_SHARE_MIN) throw new Error(`the title looks blank: ${describeVariety(v)}`);
    return describeVariety(v);
  });
  await check("the game speaks the browser's language", async () => {
    const language = await browser.evaluate('navigator.language');
    const expected = /^ja([-_]|$)/i.test(language) ? 'ja' : 'en';
    const lang = (await state())?.lang;
    if (lang !== expected) throw new Error(`navigator.language is "${language}", the game speaks "${lang}"`);
    return `navigator.language "${language}": "${lang}"`;
  });
  if (!ok) return notReached('Enter starts a run', 'no title');

  await check('Enter starts a run', async () => {
    // The first Enter may only skip the title's intro.
    for (let press = 1; press <= 5; ++press) {
      await browser.key('Enter');
      const inPlay = await waitFor(async () => (await state())?.scene === 'play', { timeout: 1000, every: 100 })
        .catch(() => false);
      if (inPlay) {
        await sleep(2000);
        const shot = await canvasPicture();
        save('3-play.png', shot.png);
        const v = variety(shot.canvas);
        if (v.shareOff < SCREEN_SHARE_MIN) throw new Error(`the play screen looks blank: ${describeVariety(v)}`);
        return `in play after ${press} press${press > 1 ? 'es' : ''}; ${describeVariety(v)}`;
      }
    }
    throw new Error(`still on "${(await state())?.scene}" after 5 presses of Enter a second apart`);
  });
}

// With autoplay: the picture of the run against the desktop's, the pace,
// and the run to its end and its score in the ranking.
async function autoplayPage(referencePromise) {
  // In English, as the desktop's reference: the same captions in both.
  const url = `${args.url}?seed=7&lang=en&autoplay&runs=1&shot=${SHOT_TICK}:${SHOT_PATH}`;
  say(`opening ${url}`);
  const opened = Date.now();
  await browser.navigate(url);
  let last = null; // the last state seen, for the score of a run whose page stopped answering

  const shotOk = await check(`the play screen after update ${SHOT_TICK} matches the desktop game's`, async () => {
    await waitFor(async () => {
      last = (await state()) ?? last;
      return last && last.scene !== 'loading' && last.ticks > SHOT_TICK;
    }, { timeout: LOAD_TIMEOUT_MS + 60000, every: 250, what: `update ${SHOT_TICK} of the run` });
    const page = await canvasPicture();
    save(`4-page-${SHOT_TICK}.png`, page.png);
    const pageVariety = variety(page.canvas);
    const bytes = await waitFor(() => readGameFile(SHOT_PATH), { timeout: 30000, what: `the game to write ${SHOT_PATH}` });
    save(`4-web-${SHOT_TICK}.png`, bytes);
    const web = decodePng(bytes);
    // The desktop's picture closest to the browser's.
    let best = null;
    for (const [tick, png] of await referencePromise) {
      const picture = decodePng(png);
      const d = compare(web, picture, PIXEL_THRESHOLD);
      if (!best || d.meanAbs < best.d.meanAbs) best = { tick, png, picture, d };
    }
    const { d, tick, picture: reference } = best;
    save(`4-desktop-${tick}.png`, best.png);
    save(`4-difference-${SHOT_TICK}.png`, encodePng(differenceImage(web, reference, PIXEL_THRESHOLD)));
    const hud = HUD_REGIONS.map((r) => ({
      ...r,
      ...compare(crop(web, r.x, r.y, r.width, r.height), crop(reference, r.x, r.y, r.width, r.height), PIXEL_THRESHOLD),
    }));
    const same = d.meanAbs <= SAME_PICTURE_MEAN_ABS_MAX && d.shareOver <= SAME_PICTURE_SHARE_OFF_MAX;
    const figures = `closest to the desktop's picture after update ${tick}, ` +
      `${same ? 'the same picture' : 'not quite the same picture'}: ` +
      `mean difference ${fixed(d.meanAbs)} levels a channel, ${fixed(d.shareOver * 100, 3)} % of pixels ` +
      `off by more than ${PIXEL_THRESHOLD}; HUD ${hud.map((r) => `${r.name} ${fixed(r.shareOver * 100, 3)} %`).join(', ')}; ` +
      `the page's screenshot: ${describeVariety(pageVariety)}`;
    if (d.meanAbs > SHOT_MEAN_ABS_MAX || d.shareOver > SHOT_SHARE_OFF_MAX) {
      throw new Error(`the browser's picture differs from the desktop's (limits ${SHOT_MEAN_ABS_MAX} and ${SHOT_SHARE_OFF_MAX * 100} %): ${figures}`);
    }
    const wrongHud = hud.filter((r) => r.shareOver > HUD_SHARE_OFF_MAX);
    if (wrongHud.length) {
      throw new Error(`the HUD's ${wrongHud.map((r) => r.name).join(' and ')} differ from the desktop's (limit ${HUD_SHARE_OFF_MAX * 100} %): ${figures}`);
    }
    if (pageVariety.shareOff < SCREEN_SHARE_MIN) throw new Error(`the page's screenshot looks blank: ${figures}`);
    return figures;
  });
  if (!shotOk && !last) {
    notReached('updates keep pace', 'the page never left loading');
    notReached('the run ends and its score survives a reload', 'the page never left loading');
    return;
  }

  await check('updates keep pace', async () => {
    const a = await sample();
    if (a.state?.scene !== 'play') throw new Error(`not in play at the start of the measure but on "${a.state?.scene}"`);
    await sleep(PACING_SECONDS * 1000);
    const b = await sample();
    last = b.state ?? last;
    if (b.state?.scene !== 'play' || b.state.paused) {
      throw new Error(`the run left play (now "${b.state?.scene}"${b.state?.paused ? ', paused' : ''}) during the measure`);
    }
    const seconds = (b.now - a.now) / 1000;
    const rate = (b.state.ticks - a.state.ticks) / seconds;
    const frames = b.stats.frames - a.stats.frames;
    const figures = `${fixed(rate, 3)} updates a second over ${fixed(seconds, 1)} s (goal ${TICKS_PER_SECOND}), ` +
      `${fixed(frames / seconds, 1)} frames a second, ${fixed((b.stats.busyMs - a.stats.busyMs) / Math.max(1, frames))} ms ` +
      'of main thread a frame';
    if (Math.abs(rate / TICKS_PER_SECOND - 1) > TICK_RATE_TOLERANCE) {
      throw new Error(`off by more than ${TICK_RATE_TOLERANCE * 100} %: ${figures}`);
    }
    return figures;
  });

  await check('the run ends and its score survives a reload', async () => {
    const left = Math.max(10000, RUN_TIMEOUT_MS - (Date.now() - opened));
    const end = await waitFor(async () => {
      const s = await sample();
      last = s.state ?? last;
      return (s.state && s.state.runs >= 1) || s.exited !== null ? s : null;
    }, { timeout: left, every: 1000, what: 'the run to reach the result (state().runs >= 1)' });
    const final = end.state ?? last;
    if (end.state?.scene === 'result') save('6-result.png', (await canvasPicture()).png);
    const score = final?.lastRun?.score ?? final?.score;
    if (!(score > 0)) throw new Error(`the run ended with score ${score}; a ranking check needs points`);
    const rankingPath = await browser.evaluate('window.poromeko.rankingPath');
    const inRanking = async () => {
      const bytes = await readGameFile(rankingPath);
      return bytes && parseRanking(bytes).some(([, s]) => s === score) ? bytes : null;
    };
    const written = await waitFor(inRanking, { timeout: 10000, what: `score ${score} in ${rankingPath}` })
      .catch(async () => {
        const bytes = await readGameFile(rankingPath);
        throw new Error(`${rankingPath} lacks the run's score ${score}: ${bytes ? JSON.stringify(bytes.toString('utf8')) : 'no file'}`);
      });
    save('6-ranking.txt', written);

    say(`run over (score ${score}, exit ${JSON.stringify(end.exited)}); opening ${args.url}`);
    await browser.navigate(args.url);
    // The file system is filled from IndexedDB after the page starts.
    const kept = await waitFor(inRanking, { timeout: LOAD_TIMEOUT_MS, every: 500, what: 'the ranking after the reload' })
      .catch(async () => {
        const bytes = await readGameFile(rankingPath).catch(() => null);
        throw new Error(`after a reload ${rankingPath} lacks score ${score}: ${bytes ? JSON.stringify(bytes.toString('utf8')) : 'no file'}`);
      });
    save('7-ranking-after-reload.txt', kept);
    return `score ${score} ranked (${parseRanking(kept).map(([r, s]) => `${r}: ${s}`).join(', ')}) and kept across the reload`;
  });
}

// --- running --------------------------------------------------------------

let exitCode = 0;
let scratch = null;
try {
  scratch = mkdtempSync(join(tmpdir(), 'poromeko-web-test-'));
  browser = await launch({
    width: 800,
    height: 600,
    log: args.verbose ? (line) => say(`page: ${line}`) : undefined,
  });
  say(`chromium ${browser.child.pid} listening on ${browser.port}`);

  // The desktop reference draws while the player's page runs, which checks
  // nothing about time.
  say(`desktop reference: ${args.desktop} --seed 7 --autoplay --shot ${SHOT_TICK}:... to ${SHOT_TICK + SHOT_LATE_MAX}:...`);
  const reference = desktopReference(scratch).then((pictures) => {
    say('desktop reference drawn');
    return pictures;
  });
  reference.catch(() => {}); // reported by the check that uses it

  await playerPage();
  // Nothing else may take the processors while the pace is measured.
  await reference.catch(() => {});
  await autoplayPage(reference);

  const thrown = browser.console.filter((line) => line.startsWith('uncaught:'));
  await check('the page threw nothing', async () => {
    if (thrown.length) throw new Error(thrown.slice(0, 5).join('\n'));
  });
} catch (error) {
  say(`ERROR ${error.stack ?? error.message}`);
  exitCode = 2;
} finally {
  const failed = results.filter((r) => !r.ok);
  if (failed.length && browser?.console.length) {
    console.log('the page\'s last console lines:');
    for (const line of browser.console.slice(-20)) console.log(`  ${line}`);
  }
  await cleanUp();
  if (scratch) rmSync(scratch, { recursive: true, force: true });
  console.log(`pictures in ${args.results}; ${elapsed()} in all`);
  console.log(`web: ${results.length - failed.length} passed, ${failed.length} failed`);
  if (failed.length && !exitCode) exitCode = 1;
}
process.exit(exitCode);
