// Takes a picture of the browser game once the game, not its download, is
// there: headless Chromium opens the address, waits until the game reports
// the scene asked for (after loading: "title" by default), lets it run a
// little longer, and writes the page as a PNG.
//
//   node --experimental-websocket scripts/web_screenshot.mjs URL OUT.png \
//     [--scene title|play|result] [--after MS]
//
// URL is a served browser build (./run --web prints it), with the game's
// options in it if wished: http://127.0.0.1:8000/?seed=7&autoplay
import { writeFileSync } from 'node:fs';
import { launch, waitFor, sleep } from '../tests/web/cdp.mjs';

const argv = process.argv.slice(2);
const option = (name, fallback) => {
  const at = argv.indexOf(name);
  if (at < 0) return fallback;
  const value = argv[at + 1];
  argv.splice(at, 2);
  return value;
};
const scene = option('--scene', 'title');
const after = Number(option('--after', '1000'));
if (argv.length !== 2 || !Number.isFinite(after)) {
  console.error('usage: web_screenshot.mjs URL OUT.png [--scene title|play|result] [--after MS]');
  process.exit(2);
}
const [url, out] = argv;

const browser = await launch({ width: 800, height: 600 });
try {
  await browser.navigate(url);
  await waitFor(
    async () => {
      const state = await browser.evaluate('window.poromeko ? window.poromeko.state() : null');
      return state?.scene === scene;
    },
    { timeout: 300000, every: 250, what: `the game's ${scene} at ${url}` },
  );
  await sleep(after);
  writeFileSync(out, await browser.screenshot());
  console.log(`wrote ${out}`);
} finally {
  await browser.close();
}
