// Compares the pictures of each screen drawn three ways: by the Windows build
// on Direct3D 9 (the reference), by the Windows build on OpenGL and by the
// Linux build. For each screen, the share of pixels whose red, green and
// blue are all within 2/255 of the reference's; prints a table, writes a
// difference picture (the reference in grey, the pixels beyond the
// tolerance in red) for every screen short of its bar, and names those
// screens. Exit code 1 when any screen falls short.
//
//   node compare_frames.mjs DIR SCREEN[:BAR]...
//
// DIR holds d3d9_SCREEN.png, gl_SCREEN.png and linux_SCREEN.png; BAR is the
// share (0..1) the OpenGL pictures must reach, 0.999 by default. The Linux
// build draws with the same GL device on another GL library: its column is
// shown beside, and held to the same bar.
import { existsSync, readFileSync, writeFileSync } from 'node:fs';

import { decodePng, differenceImage, encodePng } from '../web/cdp.mjs';

const tolerance = 2;
const [dir, ...screens] = process.argv.slice(2);
if (!dir || screens.length === 0) {
  console.error('usage: node compare_frames.mjs DIR SCREEN[:BAR]...');
  process.exit(2);
}

// The share of pixels within the tolerance, and the largest difference.
function agreement(reference, other) {
  if (reference.width !== other.width || reference.height !== other.height) {
    return { share: 0, worst: 255 };
  }
  const n = reference.width * reference.height;
  let within = 0;
  let worst = 0;
  for (let i = 0; i < n; ++i) {
    let d = 0;
    for (let c = 0; c < 3; ++c) {
      d = Math.max(d, Math.abs(reference.rgba[i * 4 + c] - other.rgba[i * 4 + c]));
    }
    if (d <= tolerance) ++within;
    worst = Math.max(worst, d);
  }
  return { share: within / n, worst };
}

const short = [];
const pad = (text, n) => String(text).padEnd(n);
console.log(`${pad('screen', 22)}${pad('GL (Wine)', 22)}${pad('Linux', 22)}bar`);
for (const entry of screens) {
  const [name, barText] = entry.split(':');
  const bar = barText === undefined ? 0.999 : Number(barText);
  const files = ['d3d9', 'gl', 'linux'].map((who) => `${dir}/${who}_${name}.png`);
  const missing = files.filter((f) => !existsSync(f));
  if (missing.length > 0) {
    console.log(`${pad(name, 22)}missing ${missing.join(', ')}`);
    short.push(name);
    continue;
  }
  const [reference, gl, linux] = files.map((f) => decodePng(readFileSync(f)));
  const cells = [];
  let fails = false;
  for (const [who, picture] of [['gl', gl], ['linux', linux]]) {
    const { share, worst } = agreement(reference, picture);
    cells.push(`${(100 * share).toFixed(3)} % (max ${worst})`);
    if (share < bar) {
      fails = true;
      writeFileSync(`${dir}/difference_${who}_${name}.png`,
        encodePng(differenceImage(reference, picture, tolerance)));
    }
  }
  console.log(`${pad(name, 22)}${pad(cells[0], 22)}${pad(cells[1], 22)}` +
    `${(100 * bar).toFixed(1)} %${fails ? '  SHORT' : ''}`);
  if (fails) short.push(name);
}
if (short.length > 0) {
  console.log(`short of the bar (Direct3D 9 against GL): ${short.join(' ')}`);
  process.exit(1);
}
