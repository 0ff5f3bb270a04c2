// Drives Debian's Chromium, headless, over the DevTools protocol, for the
// browser build's tests; and reads and compares the PNG pictures they take.
// Node 20 with --experimental-websocket, no packages.
//
//   const browser = await launch({ width: 800, height: 600 });
//   await browser.navigate('http://127.0.0.1:8000/');
//   const state = await browser.evaluate('window.poromeko.state()');
//   await browser.key('Enter');
//   const picture = decodePng(await browser.screenshot());
//   await browser.close();

import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, existsSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { deflateSync, inflateSync } from 'node:zlib';

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Resolves as promise does, or rejects naming `what` after ms milliseconds.
export function withTimeout(promise, ms, what) {
  let timer;
  return Promise.race([
    promise,
    new Promise((_, reject) => {
      timer = setTimeout(() => reject(new Error(`${what}: no answer after ${ms / 1000} s`)), ms);
    }),
  ]).finally(() => clearTimeout(timer));
}

// Calls fn until it returns something truthy, every `every` ms; throws after ms.
export async function waitFor(fn, { timeout = 30000, every = 250, what = 'condition' } = {}) {
  const end = Date.now() + timeout;
  let last;
  for (;;) {
    last = await fn();
    if (last) return last;
    if (Date.now() > end) throw new Error(`timed out after ${timeout / 1000} s waiting for ${what}`);
    await sleep(every);
  }
}

// Named checks that pass or fail each on its own, a line for each through
// `say`; `results` holds them for the summary at the end.
export function checkList(say) {
  const results = [];
  async function check(name, fn) {
    const t = Date.now();
    say(`${name}...`);
    try {
      const detail = await fn();
      results.push({ name, ok: true });
      say(`PASS ${name} (${((Date.now() - t) / 1000).toFixed(1)} s)${detail ? `: ${detail}` : ''}`);
      return true;
    } catch (error) {
      results.push({ name, ok: false, error });
      say(`FAIL ${name}: ${error.message}`);
      return false;
    }
  }
  function notReached(name, because) {
    results.push({ name, ok: false, error: new Error(`not reached: ${because}`) });
    say(`FAIL ${name}: not reached (${because})`);
  }
  return { results, check, notReached };
}

// key, code and the Windows virtual key code for the keys the game reads.
// Keys that type a character carry it as text, as a real keyboard's do.
const KEYS = {
  Enter: { key: 'Enter', code: 'Enter', keyCode: 13, text: '\r' },
  Escape: { key: 'Escape', code: 'Escape', keyCode: 27 },
  Space: { key: ' ', code: 'Space', keyCode: 32, text: ' ' },
  ArrowLeft: { key: 'ArrowLeft', code: 'ArrowLeft', keyCode: 37 },
  ArrowUp: { key: 'ArrowUp', code: 'ArrowUp', keyCode: 38 },
  ArrowRight: { key: 'ArrowRight', code: 'ArrowRight', keyCode: 39 },
  ArrowDown: { key: 'ArrowDown', code: 'ArrowDown', keyCode: 40 },
  Tab: { key: 'Tab', code: 'Tab', keyCode: 9 },
  Backspace: { key: 'Backspace', code: 'Backspace', keyCode: 8 },
  F11: { key: 'F11', code: 'F11', keyCode: 122 },
};

export function keyInfo(name) {
  if (KEYS[name]) return KEYS[name];
  if (/^[a-zA-Z]$/.test(name)) {
    const upper = name.toUpperCase();
    return { key: name, code: `Key${upper}`, keyCode: upper.charCodeAt(0), text: name };
  }
  if (/^[0-9]$/.test(name)) return { key: name, code: `Digit${name}`, keyCode: name.charCodeAt(0), text: name };
  throw new Error(`no key named ${JSON.stringify(name)}`);
}

// Reads the port Chromium chose (--remote-debugging-port=0) from the file it
// writes into its profile folder.
async function devToolsPort(userDataDir, child, timeout) {
  const file = join(userDataDir, 'DevToolsActivePort');
  return waitFor(
    () => {
      if (child.exitCode !== null) throw new Error(`chromium exited (${child.exitCode}) before it listened`);
      if (!existsSync(file)) return null;
      const port = Number(readFileSync(file, 'utf8').split('\n')[0]);
      return port > 0 ? port : null;
    },
    { timeout, every: 100, what: 'chromium to listen for DevTools' },
  );
}

export class Browser {
  constructor(child, port, userDataDir, ownsDir, log, width, height) {
    this.child = child;
    this.width = width;
    this.height = height;
    this.port = port;
    this.userDataDir = userDataDir;
    this.ownsDir = ownsDir;
    this.log = log;
    this.nextId = 1;
    this.pending = new Map();
    this.listeners = new Set();
    // The page's console output and uncaught errors, for telling why a check failed.
    this.console = [];
    this.closed = false;
  }

  async connect(timeout) {
    const targets = await waitFor(
      async () => {
        try {
          const list = await (await fetch(`http://127.0.0.1:${this.port}/json`)).json();
          return list.find((t) => t.type === 'page') ? list : null;
        } catch {
          return null;
        }
      },
      { timeout, every: 200, what: 'a page target' },
    );
    const page = targets.find((t) => t.type === 'page');
    this.socket = new WebSocket(page.webSocketDebuggerUrl);
    await withTimeout(
      new Promise((resolve, reject) => {
        this.socket.onopen = resolve;
        this.socket.onerror = () => reject(new Error('cannot open the DevTools socket'));
      }),
      timeout,
      'the DevTools socket',
    );
    this.socket.onmessage = (event) => this.receive(JSON.parse(event.data));
    this.socket.onclose = () => {
      for (const { reject, method } of this.pending.values()) reject(new Error(`${method}: the browser went away`));
      this.pending.clear();
    };
    this.socket.onerror = null;
    this.on((method, params) => {
      if (method === 'Runtime.consoleAPICalled') {
        const text = params.args.map((a) => (a.value !== undefined ? String(a.value) : a.description ?? a.type)).join(' ');
        this.note(`console.${params.type}: ${text}`);
      } else if (method === 'Runtime.exceptionThrown') {
        const d = params.exceptionDetails;
        this.note(`uncaught: ${d.exception?.description ?? d.text}`);
      }
    });
    await this.send('Page.enable');
    await this.send('Runtime.enable');
    // A headless page has no focus of its own; without this, pages that wait
    // for focus (or check document.hasFocus()) would never see keys.
    await this.send('Emulation.setFocusEmulationEnabled', { enabled: true });
    // Headless Chromium takes room for browser chrome it never draws out of
    // --window-size (800x600 leaves an 800x457 page); the page gets the
    // whole size asked for.
    await this.send('Emulation.setDeviceMetricsOverride', {
      width: this.width, height: this.height, deviceScaleFactor: 1, mobile: false,
    });
  }

  note(line) {
    this.console.push(line);
    if (this.console.length > 500) this.console.shift();
    if (this.log) this.log(line);
  }

  receive(message) {
    if (message.id !== undefined) {
      const waiter = this.pending.get(message.id);
      if (!waiter) return;
      this.pending.delete(message.id);
      if (message.error) waiter.reject(new Error(`${waiter.method}: ${message.error.message}`));
      else waiter.resolve(message.result);
    } else {
      for (const listener of [...this.listeners]) listener(message.method, message.params);
    }
  }

  // Listens to every event; returns a function that stops listening.
  on(listener) {
    this.listeners.add(listener);
    return () => this.listeners.delete(listener);
  }

  // Resolves with the params of the next event `method` for which
  // predicate(params) holds.
  waitForEvent(method, predicate = () => true, timeout = 60000) {
    let off;
    return withTimeout(
      new Promise((resolve) => {
        off = this.on((m, params) => {
          if (m === method && predicate(params)) resolve(params);
        });
      }),
      timeout,
      method,
    ).finally(() => off());
  }

  send(method, params = {}, timeout = 60000) {
    if (this.closed || !this.socket || this.socket.readyState !== WebSocket.OPEN) {
      return Promise.reject(new Error(`${method}: not connected`));
    }
    const id = this.nextId++;
    const reply = new Promise((resolve, reject) => this.pending.set(id, { resolve, reject, method }));
    this.socket.send(JSON.stringify({ id, method, params }));
    return withTimeout(reply, timeout, method).finally(() => this.pending.delete(id));
  }

  // The value of a JavaScript expression in the page (promises awaited),
  // as JSON-like data. Throws what the page threw.
  async evaluate(expression, timeout = 60000) {
    const result = await this.send(
      'Runtime.evaluate',
      { expression, awaitPromise: true, returnByValue: true },
      timeout,
    );
    if (result.exceptionDetails) {
      const d = result.exceptionDetails;
      throw new Error(`page threw evaluating ${expression}: ${d.exception?.description ?? d.text}`);
    }
    return result.result.value;
  }

  // The page as a PNG, what a person sees.
  async screenshot(timeout = 60000) {
    const { data } = await this.send('Page.captureScreenshot', { format: 'png' }, timeout);
    return Buffer.from(data, 'base64');
  }

  async keyDown(name) {
    const k = keyInfo(name);
    const params = { key: k.key, code: k.code, windowsVirtualKeyCode: k.keyCode, nativeVirtualKeyCode: k.keyCode };
    if (k.text) await this.send('Input.dispatchKeyEvent', { type: 'keyDown', ...params, text: k.text, unmodifiedText: k.text });
    else await this.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', ...params });
  }

  async keyUp(name) {
    const k = keyInfo(name);
    await this.send('Input.dispatchKeyEvent', {
      type: 'keyUp', key: k.key, code: k.code, windowsVirtualKeyCode: k.keyCode, nativeVirtualKeyCode: k.keyCode,
    });
  }

  // A press held for holdMs: long enough for a game that reads the keyboard
  // once an update to see it down.
  async key(name, holdMs = 100) {
    await this.keyDown(name);
    await sleep(holdMs);
    await this.keyUp(name);
  }

  // Runs source in every page this tab loads from now on, before the page's
  // own scripts: for standing in for browser features a headless browser
  // lacks. Resolves with the identifier Page.removeScriptToEvaluateOnNewDocument
  // takes.
  async addScriptOnNewDocument(source) {
    const { identifier } = await this.send('Page.addScriptToEvaluateOnNewDocument', { source });
    return identifier;
  }

  async click(x, y) {
    const base = { x, y, button: 'left', clickCount: 1 };
    await this.send('Input.dispatchMouseEvent', { type: 'mousePressed', ...base });
    await this.send('Input.dispatchMouseEvent', { type: 'mouseReleased', ...base });
  }

  // Loads url and waits for its load event (or only for the navigation to
  // be under way, with waitForLoad false).
  async navigate(url, { timeout = 120000, waitForLoad = true } = {}) {
    const loaded = this.waitForEvent('Page.loadEventFired', () => true, timeout);
    loaded.catch(() => {});
    const result = await this.send('Page.navigate', { url }, timeout);
    if (result.errorText) throw new Error(`cannot load ${url}: ${result.errorText}`);
    if (waitForLoad) await loaded;
  }

  async reload({ timeout = 120000 } = {}) {
    const loaded = this.waitForEvent('Page.loadEventFired', () => true, timeout);
    await this.send('Page.reload', { ignoreCache: true }, timeout);
    await loaded;
  }

  // Ends the browser this object started (its process group, by its own
  // pid) and removes the profile folder it made.
  async close() {
    if (this.closed) return;
    this.closed = true;
    try {
      this.socket?.close();
    } catch {}
    const child = this.child;
    if (child.exitCode === null && child.signalCode === null) {
      const exited = new Promise((resolve) => child.once('exit', resolve));
      const signal = (sig) => {
        try {
          process.kill(-child.pid, sig);
        } catch {
          try {
            child.kill(sig);
          } catch {}
        }
      };
      signal('SIGTERM');
      const done = await Promise.race([exited.then(() => true), sleep(5000).then(() => false)]);
      if (!done) {
        signal('SIGKILL');
        await Promise.race([exited, sleep(5000)]);
      }
    }
    if (this.ownsDir) rmSync(this.userDataDir, { recursive: true, force: true });
  }
}

// Starts headless Chromium with software WebGL and a window of width x
// height, and connects to its page. userDataDir: the profile (a fresh
// temporary one, removed on close, when not given). log: called with each
// line the page logs.
export async function launch({
  width = 800,
  height = 600,
  userDataDir,
  extraArgs = [],
  log,
  timeout = 60000,
  executable = process.env.CHROMIUM || 'chromium',
} = {}) {
  if (typeof WebSocket === 'undefined') {
    throw new Error('no WebSocket in this node: run it with --experimental-websocket');
  }
  const ownsDir = !userDataDir;
  const dir = userDataDir ?? mkdtempSync(join(tmpdir(), 'poromeko-chromium-'));
  rmSync(join(dir, 'DevToolsActivePort'), { force: true });
  const args = [
    '--headless',
    '--no-sandbox',
    '--disable-gpu',
    '--enable-unsafe-swiftshader',
    `--window-size=${width},${height}`,
    '--remote-debugging-port=0',
    '--remote-debugging-address=127.0.0.1',
    `--user-data-dir=${dir}`,
    '--autoplay-policy=no-user-gesture-required',
    '--no-first-run',
    '--no-default-browser-check',
    // Timers and frames of a page nobody looks at are slowed otherwise.
    '--disable-background-timer-throttling',
    '--disable-renderer-backgrounding',
    '--disable-backgrounding-occluded-windows',
    ...extraArgs,
    'about:blank',
  ];
  // Its own process group, so closing ends its helper processes with it.
  const child = spawn(executable, args, { detached: true, stdio: ['ignore', 'ignore', 'pipe'] });
  let stderr = '';
  child.stderr.on('data', (chunk) => {
    stderr = (stderr + chunk).slice(-4000);
  });
  const spawned = new Promise((resolve, reject) => {
    child.once('spawn', resolve);
    child.once('error', reject);
  });
  await spawned;
  const browser = new Browser(child, 0, dir, ownsDir, log, width, height);
  try {
    browser.port = await devToolsPort(dir, child, timeout);
    await browser.connect(timeout);
  } catch (error) {
    await browser.close();
    error.message += stderr ? `\nchromium said:\n${stderr}` : '';
    throw error;
  }
  return browser;
}

// --- pictures -----------------------------------------------------------

// Decodes an 8-bit, non-interlaced PNG (grey, grey+alpha, RGB or RGBA) into
// { width, height, rgba } with rgba a Uint8Array of width*height*4 bytes.
export function decodePng(buffer) {
  const bytes = Buffer.from(buffer);
  const signature = [0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a];
  if (bytes.length < 8 || signature.some((b, i) => bytes[i] !== b)) throw new Error('not a PNG');
  let width = 0;
  let height = 0;
  let colourType = -1;
  const idat = [];
  let pos = 8;
  let ended = false;
  while (pos + 8 <= bytes.length) {
    const length = bytes.readUInt32BE(pos);
    const type = bytes.toString('latin1', pos + 4, pos + 8);
    const data = bytes.subarray(pos + 8, pos + 8 + length);
    if (data.length !== length) throw new Error(`PNG chunk ${type} is cut short`);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      const depth = data[8];
      colourType = data[9];
      const interlace = data[12];
      if (depth !== 8) throw new Error(`PNG bit depth ${depth} is not read here`);
      if (![0, 2, 4, 6].includes(colourType)) throw new Error(`PNG colour type ${colourType} is not read here`);
      if (interlace !== 0) throw new Error('interlaced PNGs are not read here');
    } else if (type === 'IDAT') {
      idat.push(data);
    } else if (type === 'IEND') {
      ended = true;
      break;
    }
    pos += 12 + length;
  }
  if (!width || !height) throw new Error('PNG without a header');
  if (!ended) throw new Error('PNG without an end');
  const channels = { 0: 1, 2: 3, 4: 2, 6: 4 }[colourType];
  const stride = width * channels;
  const raw = inflateSync(Buffer.concat(idat));
  if (raw.length < (stride + 1) * height) throw new Error('PNG data is cut short');

  const pixels = new Uint8Array(stride * height);
  const bpp = channels;
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const src = y * (stride + 1) + 1;
    const dst = y * stride;
    const up = dst - stride;
    for (let x = 0; x < stride; ++x) {
      const a = x >= bpp ? pixels[dst + x - bpp] : 0;
      const b = y > 0 ? pixels[up + x] : 0;
      const c = x >= bpp && y > 0 ? pixels[up + x - bpp] : 0;
      let predicted;
      switch (filter) {
        case 0: predicted = 0; break;
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) >> 1; break;
        case 4: {
          const p = a + b - c;
          const pa = Math.abs(p - a);
          const pb = Math.abs(p - b);
          const pc = Math.abs(p - c);
          predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
        default:
          throw new Error(`PNG row ${y} has unknown filter ${filter}`);
      }
      pixels[dst + x] = (raw[src + x] + predicted) & 0xff;
    }
  }

  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; ++i) {
    const s = i * channels;
    const d = i * 4;
    if (channels >= 3) {
      rgba[d] = pixels[s];
      rgba[d + 1] = pixels[s + 1];
      rgba[d + 2] = pixels[s + 2];
      rgba[d + 3] = channels === 4 ? pixels[s + 3] : 255;
    } else {
      rgba[d] = rgba[d + 1] = rgba[d + 2] = pixels[s];
      rgba[d + 3] = channels === 2 ? pixels[s + 1] : 255;
    }
  }
  return { width, height, rgba };
}

const CRC_TABLE = new Int32Array(256).map((_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c;
});

function crc32(bytes) {
  let c = -1;
  for (const b of bytes) c = CRC_TABLE[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ -1) >>> 0;
}

// Encodes { width, height, rgba } as an 8-bit RGBA PNG, every row with the
// given filter type (0 to 4), for the pictures the tests write.
export function encodePng(image, filter = 1) {
  const { width, height, rgba } = image;
  const stride = width * 4;
  const raw = Buffer.alloc((stride + 1) * height);
  for (let y = 0; y < height; ++y) {
    raw[y * (stride + 1)] = filter;
    for (let x = 0; x < stride; ++x) {
      const i = y * stride + x;
      const a = x >= 4 ? rgba[i - 4] : 0;
      const b = y > 0 ? rgba[i - stride] : 0;
      const c = x >= 4 && y > 0 ? rgba[i - stride - 4] : 0;
      let predicted = 0;
      if (filter === 1) predicted = a;
      else if (filter === 2) predicted = b;
      else if (filter === 3) predicted = (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c;
        const pa = Math.abs(p - a);
        const pb = Math.abs(p - b);
        const pc = Math.abs(p - c);
        predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      raw[y * (stride + 1) + 1 + x] = (rgba[i] - predicted) & 0xff;
    }
  }
  const chunk = (type, data) => {
    const head = Buffer.alloc(8);
    head.writeUInt32BE(data.length, 0);
    head.write(type, 4, 'latin1');
    const tail = Buffer.alloc(4);
    tail.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
    return Buffer.concat([head, data, tail]);
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = 8; // bits per channel
  header[9] = 6; // RGBA
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header),
    chunk('IDAT', deflateSync(raw)),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

// A picture of where a and b differ by more than threshold in some channel:
// those pixels red, the rest a dimmed grey copy of a.
export function differenceImage(a, b, threshold = 24) {
  const n = a.width * a.height;
  const rgba = new Uint8Array(n * 4);
  for (let i = 0; i < n; ++i) {
    let worst = 0;
    for (let c = 0; c < 3; ++c) worst = Math.max(worst, Math.abs(a.rgba[i * 4 + c] - b.rgba[i * 4 + c]));
    const grey = (a.rgba[i * 4] + a.rgba[i * 4 + 1] + a.rgba[i * 4 + 2]) / 12;
    rgba.set(worst > threshold ? [255, 0, 0, 255] : [grey, grey, grey, 255], i * 4);
  }
  return { width: a.width, height: a.height, rgba };
}

// The rectangle (x, y, width, height) of a picture, clipped to it.
export function crop(image, x, y, width, height) {
  const x0 = Math.max(0, x);
  const y0 = Math.max(0, y);
  const x1 = Math.min(image.width, x + width);
  const y1 = Math.min(image.height, y + height);
  const w = Math.max(0, x1 - x0);
  const h = Math.max(0, y1 - y0);
  const rgba = new Uint8Array(w * h * 4);
  for (let row = 0; row < h; ++row) {
    const from = ((y0 + row) * image.width + x0) * 4;
    rgba.set(image.rgba.subarray(from, from + w * 4), row * w * 4);
  }
  return { width: w, height: h, rgba };
}

// How two pictures of one size differ, over red, green and blue:
// meanAbs, the mean absolute difference per channel (0..255), and
// shareOver, the share of pixels with some channel off by more than
// threshold (0..1).
export function compare(a, b, threshold = 24) {
  if (a.width !== b.width || a.height !== b.height) {
    throw new Error(`pictures differ in size: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  }
  const n = a.width * a.height;
  let sum = 0;
  let over = 0;
  for (let i = 0; i < n; ++i) {
    let worst = 0;
    for (let c = 0; c < 3; ++c) {
      const d = Math.abs(a.rgba[i * 4 + c] - b.rgba[i * 4 + c]);
      sum += d;
      if (d > worst) worst = d;
    }
    if (worst > threshold) ++over;
  }
  return { meanAbs: n ? sum / (n * 3) : 0, shareOver: n ? over / n : 0 };
}

// Figures that tell a picture from a blank one: the standard deviation of
// its brightness, and the share of pixels that differ from its most common
// colour by more than `threshold` in some channel.
export function variety(image, threshold = 8) {
  const n = image.width * image.height;
  if (!n) return { deviation: 0, shareOff: 0 };
  const counts = new Map();
  let sum = 0;
  let sumSq = 0;
  for (let i = 0; i < n; ++i) {
    const r = image.rgba[i * 4];
    const g = image.rgba[i * 4 + 1];
    const b = image.rgba[i * 4 + 2];
    const key = (r << 16) | (g << 8) | b;
    counts.set(key, (counts.get(key) ?? 0) + 1);
    const y = 0.299 * r + 0.587 * g + 0.114 * b;
    sum += y;
    sumSq += y * y;
  }
  let common = 0;
  let most = -1;
  for (const [key, count] of counts) {
    if (count > most) {
      most = count;
      common = key;
    }
  }
  const cr = common >> 16;
  const cg = (common >> 8) & 0xff;
  const cb = common & 0xff;
  let off = 0;
  for (let i = 0; i < n; ++i) {
    const d = Math.max(
      Math.abs(image.rgba[i * 4] - cr),
      Math.abs(image.rgba[i * 4 + 1] - cg),
      Math.abs(image.rgba[i * 4 + 2] - cb),
    );
    if (d > threshold) ++off;
  }
  const mean = sum / n;
  return { deviation: Math.sqrt(Math.max(0, sumSq / n - mean * mean)), shareOff: off / n };
}
