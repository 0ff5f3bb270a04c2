// The PNG reading and picture comparisons that tests/web/web_test.mjs judges
// the browser build by.
//
//   node --test tests/web/pictures_test.mjs

import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { deflateSync } from 'node:zlib';
import { compare, crop, decodePng, encodePng, variety } from './cdp.mjs';

const here = dirname(fileURLToPath(import.meta.url));
const textures = join(here, '..', '..', 'content', 'Texture');

function randomImage(width, height, seed) {
  let x = seed >>> 0 || 1;
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < rgba.length; ++i) {
    x ^= x << 13;
    x ^= x >>> 17;
    x ^= x << 5;
    rgba[i] = x & 0xff;
  }
  return { width, height, rgba };
}

// A gradient with noise: real pictures have neighbours close in value, where
// the filters' predictors (and Paeth's ties) matter.
function smoothImage(width, height) {
  const noise = randomImage(width, height, 7).rgba;
  const rgba = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      const i = (y * width + x) * 4;
      rgba[i] = (x * 3 + (noise[i] & 3)) & 0xff;
      rgba[i + 1] = (y * 5 + (noise[i + 1] & 3)) & 0xff;
      rgba[i + 2] = (x + y) & 0xff;
      rgba[i + 3] = 255 - (noise[i + 3] & 1);
    }
  }
  return { width, height, rgba };
}

// A PNG of the given colour type and raw (already filtered) scanlines.
function rawPng({ width, height, colourType, depth = 8, interlace = 0, scanlines }) {
  const chunk = (type, data) => {
    const b = Buffer.alloc(12 + data.length);
    b.writeUInt32BE(data.length, 0);
    b.write(type, 4, 'latin1');
    data.copy(b, 8);
    return b; // the reader does not check CRCs
  };
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header[8] = depth;
  header[9] = colourType;
  header[12] = interlace;
  return Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header),
    chunk('IDAT', deflateSync(scanlines)),
    chunk('IEND', Buffer.alloc(0)),
  ]);
}

function imageMagick() {
  try {
    return /ImageMagick/.test(execFileSync('convert', ['-version'], { encoding: 'utf8' }));
  } catch {
    return false;
  }
}

test('PNG decoding', async (t) => {
  await t.test('every filter type, on noise and on smooth pictures of awkward sizes', () => {
    const pictures = [randomImage(1, 1, 1), randomImage(7, 5, 2), randomImage(33, 2, 3), smoothImage(64, 48)];
    for (const picture of pictures) {
      for (const filter of [0, 1, 2, 3, 4]) {
        const back = decodePng(encodePng(picture, filter));
        assert.equal(back.width, picture.width);
        assert.equal(back.height, picture.height);
        assert.deepEqual(back.rgba, picture.rgba, `filter ${filter} at ${picture.width}x${picture.height}`);
      }
    }
  });

  await t.test('grey, grey with alpha and RGB widen to RGBA', () => {
    // Two pixels a row, two rows, filter 0.
    const grey = decodePng(rawPng({ width: 2, height: 2, colourType: 0, scanlines: Buffer.from([0, 10, 20, 0, 30, 40]) }));
    assert.deepEqual([...grey.rgba.subarray(4, 8)], [20, 20, 20, 255]);
    const greyAlpha = decodePng(rawPng({ width: 1, height: 1, colourType: 4, scanlines: Buffer.from([0, 9, 99]) }));
    assert.deepEqual([...greyAlpha.rgba], [9, 9, 9, 99]);
    // RGB with the Sub filter: the second pixel adds the first.
    const rgb = decodePng(rawPng({ width: 2, height: 1, colourType: 2, scanlines: Buffer.from([1, 1, 2, 3, 10, 20, 30]) }));
    assert.deepEqual([...rgb.rgba], [1, 2, 3, 255, 11, 22, 33, 255]);
  });

  await t.test('IDAT split over several chunks', () => {
    const picture = smoothImage(20, 10);
    const png = encodePng(picture, 4);
    // Cut the one IDAT chunk's data in two chunks.
    const idat = png.indexOf('IDAT', 8, 'latin1') - 4;
    const length = png.readUInt32BE(idat);
    const data = png.subarray(idat + 8, idat + 8 + length);
    const half = length >> 1;
    const chunk = (bytes) => {
      const b = Buffer.alloc(12 + bytes.length);
      b.writeUInt32BE(bytes.length, 0);
      b.write('IDAT', 4, 'latin1');
      bytes.copy(b, 8);
      return b;
    };
    const split = Buffer.concat([png.subarray(0, idat), chunk(data.subarray(0, half)), chunk(data.subarray(half)),
      png.subarray(idat + 12 + length)]);
    assert.deepEqual(decodePng(split).rgba, picture.rgba);
  });

  await t.test('what it cannot read is refused, not misread', () => {
    const good = encodePng(randomImage(4, 4, 5), 0);
    assert.throws(() => decodePng(Buffer.from('not a png at all')), /not a PNG/);
    assert.throws(() => decodePng(good.subarray(0, good.length - 30)), /cut short|without an end|unexpected end/i);
    const row = Buffer.from([0, 1, 2, 3]);
    assert.throws(() => decodePng(rawPng({ width: 1, height: 1, colourType: 2, interlace: 1, scanlines: row })), /interlaced/);
    assert.throws(() => decodePng(rawPng({ width: 1, height: 1, colourType: 2, depth: 16, scanlines: row })), /bit depth 16/);
    assert.throws(() => decodePng(rawPng({ width: 1, height: 1, colourType: 3, scanlines: Buffer.from([0, 0]) })), /colour type 3/);
    assert.throws(() => decodePng(rawPng({ width: 1, height: 1, colourType: 2, scanlines: Buffer.from([5, 1, 2, 3]) })), /filter 5/);
    assert.throws(() => decodePng(rawPng({ width: 2, height: 2, colourType: 2, scanlines: Buffer.from([0, 1, 2, 3]) })), /cut short/);
  });

  await t.test("the game's textures read as ImageMagick reads them", { skip: !imageMagick() && 'no ImageMagick' }, () => {
    const files = readdirSync(textures).filter((f) => f.endsWith('.png')).sort();
    assert.ok(files.length > 0, `no PNGs in ${textures}`);
    for (const file of files) {
      const path = join(textures, file);
      const ours = decodePng(readFileSync(path));
      const theirs = execFileSync('convert', [path, '-depth', '8', 'rgba:-'], { maxBuffer: 1 << 26 });
      assert.equal(theirs.length, ours.rgba.length, file);
      assert.ok(Buffer.from(ours.rgba).equals(theirs), `${file} decodes differently`);
    }
  });
});

test('comparing pictures', async (t) => {
  const solid = (width, height, [r, g, b, a = 255]) => {
    const rgba = new Uint8Array(width * height * 4);
    for (let i = 0; i < width * height; ++i) rgba.set([r, g, b, a], i * 4);
    return { width, height, rgba };
  };

  await t.test('difference per channel and share of pixels over the threshold', () => {
    const a = solid(2, 2, [100, 100, 100]);
    const b = solid(2, 2, [100, 100, 100]);
    assert.deepEqual(compare(a, b), { meanAbs: 0, shareOver: 0 });
    b.rgba.set([130, 100, 100, 255], 0); // one pixel, one channel, 30 off
    const d = compare(a, b, 24);
    assert.equal(d.meanAbs, 30 / 12);
    assert.equal(d.shareOver, 0.25);
    // Off by exactly the threshold is within it.
    assert.equal(compare(a, b, 30).shareOver, 0);
    // Alpha is not compared: a screenshot's and a game's alpha mean nothing alike.
    const c = solid(2, 2, [100, 100, 100, 0]);
    assert.deepEqual(compare(a, c), { meanAbs: 0, shareOver: 0 });
    assert.throws(() => compare(a, solid(2, 3, [0, 0, 0])), /differ in size/);
  });

  await t.test('cropping keeps the right rows and clips to the picture', () => {
    const picture = randomImage(10, 8, 9);
    const part = crop(picture, 3, 2, 4, 5);
    assert.equal(part.width, 4);
    assert.equal(part.height, 5);
    for (let y = 0; y < 5; ++y) {
      for (let x = 0; x < 4; ++x) {
        const from = ((y + 2) * 10 + x + 3) * 4;
        assert.deepEqual([...part.rgba.subarray((y * 4 + x) * 4, (y * 4 + x) * 4 + 4)], [...picture.rgba.subarray(from, from + 4)]);
      }
    }
    const clipped = crop(picture, 8, 6, 10, 10);
    assert.equal(clipped.width, 2);
    assert.equal(clipped.height, 2);
  });

  await t.test('a flat picture has no variety; a mark on it has some', () => {
    const flat = solid(100, 100, [20, 40, 60]);
    assert.equal(variety(flat).shareOff, 0);
    assert.ok(variety(flat).deviation < 1e-3);
    // A faint dither stays within the threshold.
    flat.rgba.set([24, 40, 60, 255], 0);
    assert.equal(variety(flat).shareOff, 0);
    for (let i = 0; i < 50; ++i) flat.rgba.set([255, 255, 255, 255], (i * 100 + 10) * 4);
    const v = variety(flat);
    assert.equal(v.shareOff, 50 / 10000);
    assert.ok(v.deviation > 10);
  });
});
