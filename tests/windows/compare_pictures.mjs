// Compares two pictures of the same update, one drawn on Linux and one by
// the Windows build under Wine: the share of pixels whose red, green and
// blue are all within TOLERANCE (2/255 by default) of each other must be at
// least MIN_SHARE (99.9 % by default). Prints the figures; writes DIFF (a
// PNG: the picture in grey, the pixels beyond the tolerance in red) when
// given. Exit code 1 when the pictures differ more.
//
//   node compare_pictures.mjs A.png B.png [DIFF.png] [--tolerance N] [--min-share S]
import { readFileSync, writeFileSync } from 'node:fs';

import { decodePng, differenceImage, encodePng } from '../web/cdp.mjs';

const args = process.argv.slice(2);
let tolerance = 2;
let minShare = 0.999;
const files = [];
for (let i = 0; i < args.length; ++i) {
  if (args[i] === '--tolerance') tolerance = Number(args[++i]);
  else if (args[i] === '--min-share') minShare = Number(args[++i]);
  else files.push(args[i]);
}
if (files.length < 2 || files.length > 3 || !(tolerance >= 0) || !(minShare >= 0)) {
  console.error('usage: node compare_pictures.mjs A.png B.png [DIFF.png] [--tolerance N] [--min-share S]');
  process.exit(2);
}
const a = decodePng(readFileSync(files[0]));
const b = decodePng(readFileSync(files[1]));
if (a.width !== b.width || a.height !== b.height) {
  console.error(`the pictures differ in size: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  process.exit(1);
}
const n = a.width * a.height;
let within = 0;
let worst = 0;
let identical = 0;
for (let i = 0; i < n; ++i) {
  let d = 0;
  for (let c = 0; c < 3; ++c) d = Math.max(d, Math.abs(a.rgba[i * 4 + c] - b.rgba[i * 4 + c]));
  if (d <= tolerance) ++within;
  if (d === 0) ++identical;
  worst = Math.max(worst, d);
}
const share = within / n;
console.log(`${files[1]}: ${(100 * share).toFixed(3)} % of pixels within ${tolerance}/255 ` +
  `(${(100 * identical / n).toFixed(3)} % identical; largest difference ${worst}/255)`);
if (files[2]) writeFileSync(files[2], encodePng(differenceImage(a, b, tolerance)));
process.exit(share >= minShare ? 0 : 1);
