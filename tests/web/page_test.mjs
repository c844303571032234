// page_test.mjs - the web page in headless Chromium, driven by real input
// events over the DevTools protocol.
//
//   node page_test.mjs PAGE_DIR REFERENCE_DIR
//
// PAGE_DIR holds fluids.html, fluids.js and fluids.wasm; REFERENCE_DIR the
// reference reports the desktop program's window tests compare with. Prints
// one line a case and exits with 1 if any failed.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { Browser, serve } from './browser.mjs';

const [pageDir, referenceDir] = process.argv.slice(2);
const server = await serve(pageDir);
const browser = new Browser();
let failed = 0;

async function test(name, body) {
  const start = Date.now();
  try {
    await body();
    console.log(`ok      ${name} (${((Date.now() - start) / 1000).toFixed(1)} s)`);
  } catch (e) {
    ++failed;
    console.log(`FAILED  ${name}: ${e.message}`);
  }
}

function expect(ok, what) {
  if (!ok) throw new Error(what);
}

// Where two texts first differ, with a little of both around it.
function firstDifference(expected, got) {
  let k = 0;
  while (k < expected.length && k < got.length && expected[k] === got[k]) ++k;
  if (k === expected.length && k === got.length) return null;
  const line = expected.slice(0, k).split('\n').length;
  return `first difference at byte ${k} (line ${line}): expected ` +
         `${JSON.stringify(expected.slice(k, k + 40))}, got ${JSON.stringify(got.slice(k, k + 40))}`;
}

// Where two pictures first differ, and in how many pixels.
function pictureDifference(a, b) {
  if (a.width !== b.width || a.height !== b.height) {
    return `sizes ${a.width}x${a.height} and ${b.width}x${b.height}`;
  }
  let first = -1, count = 0;
  for (let k = 0; k < a.width * a.height; ++k) {
    if (a.rgb[3 * k] !== b.rgb[3 * k] || a.rgb[3 * k + 1] !== b.rgb[3 * k + 1] ||
        a.rgb[3 * k + 2] !== b.rgb[3 * k + 2]) {
      if (first < 0) first = k;
      ++count;
    }
  }
  if (first < 0) return null;
  const px = (p, k) => Array.from(p.rgb.subarray(3 * k, 3 * k + 3)).join(',');
  return `${count} pixels differ, first at (${first % a.width}, ${Math.floor(first / a.width)}): ` +
         `${px(a, first)} against ${px(b, first)}`;
}

async function page(width, height, query = '') {
  const p = await browser.newPage(width, height);
  await p.open(server.url() + 'fluids.html' + query);
  return p;
}

// One step of the paused simulation, waiting for its report when reports
// are on, else for the frame that makes it.
async function step(p, reporting) {
  if (!reporting) {
    await p.key(' ');
    return p.frames(1);
  }
  const before = p.log.filter((l) => l.startsWith('Total Density: ')).length;
  await p.key(' ');
  await p.lines('Total Density: ', before + 1);
}

async function endWithEscape(p) {
  await p.key('Escape');
  await p.until('JSON.parse(UTF8ToString(Module._fluids_status())).ended', 'the end');
}

// ---- Reports -------------------------------------------------------------------

for (const [file, act] of [
  ['fill-source-three-steps.txt', (p) => p.key('f')],
  ['right-click-three-steps.txt', (p) => p.click(2, 256, 256)],
]) {
  await test(`reports of ${file} match the desktop program's reference`, async () => {
    const reference = readFileSync(join(referenceDir, file), 'utf8');
    const p = await page(512, 512);
    await p.key('s');
    await p.key('c');
    await act(p);
    for (let k = 0; k < 3; ++k) await step(p, true);
    await endWithEscape(p);
    await p.close();
    const difference = firstDifference(reference, p.output());
    expect(difference === null, difference);
    const errors = p.other.filter((m) => !/has ended/.test(m));
    expect(errors.length === 0, `other console messages: ${errors.join(' | ')}`);
  });
}

// Escape: the loop stops, the page says so, and the keys do nothing more.
await test('Escape ends the program', async () => {
  const p = await page(320, 240);
  await p.key('c');
  await p.frames(3);
  await endWithEscape(p);
  const lines = p.log.length;
  const { frames } = await p.status();
  await p.key(' ');
  await p.click(0, 100, 100);
  await new Promise((r) => setTimeout(r, 300));
  expect((await p.status()).frames === frames, 'frames were drawn after Escape');
  expect(p.log.length === lines, 'output was printed after Escape');
  const message = await p.evaluate('document.getElementById("message").textContent');
  await p.close();
  expect(/has ended/.test(message), `the page says "${message}"`);
});

// ---- Pictures ------------------------------------------------------------------

// A session that leaves obstacles, density and velocity in the fluid:
// obstacles painted along a drag, a source, a right click, a drag with the
// left button, and steps.
async function session(p) {
  await p.key('s');
  await p.key('B');
  await p.drag(0, p.width * 0.3, p.height * 0.4, p.width * 0.6, p.height * 0.45);
  await p.key('B');
  await p.key('f');
  await p.click(2, p.width * 0.5, p.height * 0.7);
  await p.drag(0, p.width * 0.2, p.height * 0.8, p.width * 0.7, p.height * 0.6);
  for (let k = 0; k < 4; ++k) await step(p, false);
}

// The layer keys in an order that passes every combination of the four
// layers once (a Gray code: one key a combination).
const LAYER_KEYS = ['b', 'd', 'v', 'g'];
function grayKeys() {
  const keys = [];
  for (let k = 1; k < 16; ++k) keys.push(LAYER_KEYS[Math.log2((k ^ (k >> 1)) ^ ((k - 1) ^ ((k - 1) >> 1)))]);
  return keys;
}

// The pictures of a page after the session and after each entry of `keys`
// (one or more keys). A key is handled between two frames, so the next
// frame, the one pictured, shows it.
async function pictures(query, width, height, keys) {
  const p = await page(width, height, query);
  await session(p);
  const shots = [];
  for (const k of ['', ...keys]) {
    for (const c of k) await p.key(c);
    const picture = await p.picture();
    shots.push({ key: k || 'none', status: await p.status(), picture });
  }
  await p.close();
  return shots;
}

// The fast drawing against the literal one in the same browser, at one
// size: pages in the same state, compared after every change of layers.
async function compareWithLiteral(width, height, keys, query = '') {
  const fast = await pictures(query, width, height, keys);
  const literal = await pictures(query + (query ? '&' : '?') + 'literal', width, height, keys);
  for (let k = 0; k < fast.length; ++k) {
    const { status } = fast[k];
    if (query === '') {
      expect(status.fast && status.exact, `the fast drawing is not in use: ${JSON.stringify(status)}`);
    }
    expect(!literal[k].status.fast, 'the literal page drew fast');
    const difference = pictureDifference(literal[k].picture, fast[k].picture);
    expect(difference === null, `after key ${fast[k].key}: ${difference}`);
  }
  return fast;
}

await test('every layer combination draws the literal picture at 512x512', () =>
  compareWithLiteral(512, 512, grayKeys()));
for (const [w, h] of [[701, 389], [300, 457]]) {
  await test(`all layers draw the literal picture at ${w}x${h}`, () =>
    compareWithLiteral(w, h, ['vg']));
}

// A resize is a reshape: the check runs again at the new size, and the
// picture still equals the literal one.
await test('after a resize the fast drawing is checked again and exact', async () => {
  const p = await page(512, 512);
  await p.frames(2);
  await p.resize(513, 300);
  await session(p);
  await p.key('g');
  const picture = await p.picture();
  const status = await p.status();
  await p.close();
  expect(status.checked[0] === 513 && status.checked[1] === 300 && status.fast,
         `status after the resize: ${JSON.stringify(status)}`);
  const literal = await pictures('?literal', 513, 300, ['g']);
  const difference = pictureDifference(literal[1].picture, picture);
  expect(difference === null, difference);
});

// A buffer the fast drawing cannot use (antialiased, as some browsers force)
// falls back to the literal drawing, and its picture shows it.
await test('an antialiased buffer falls back to the literal drawing', async () => {
  const shots = await compareWithLiteral(400, 400, ['g'], '?antialias');
  const { status } = shots[1];
  expect(!status.fast && !status.exact && status.checked[0] === 400,
         `status: ${JSON.stringify(status)}`);
});

await browser.close();
server.close();
process.exit(failed === 0 ? 0 : 1);
