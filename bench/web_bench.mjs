// web_bench.mjs - frames of the web page as a user gets them: the page in
// headless Chromium (WebGL2 in software, frames not paced: the figure is
// the page's own cost), a fresh browser for each case, the desktop frame
// benchmark's scene reached by real input, then the time between animation
// frames: the mean over the run (wall time over frames, what a user sees as
// the frame rate) and the median interval. The two differ because Chromium
// pipelines WebGL work: many animation frames come back quickly while the
// GPU process catches up in a few long ones, so the median alone would hide
// the cost of drawing. The same cases with the literal drawing (?literal)
// over fewer frames. Also the time from loading to the first frame and
// the page's size. Never fails on speed.
//
//   node bench/web_bench.mjs PAGE_DIR [frames a case, default 300]
import { statSync } from 'node:fs';
import { join } from 'node:path';
import { Browser, serve } from '../tests/web/browser.mjs';

const [pageDir, framesArg] = process.argv.slice(2);
const frames = Number(framesArg || 300);
const literalFrames = Math.max(5, Math.round(frames / 15));
const server = await serve(pageDir);

// The desktop benchmark's scene: paused, 25 density sources by right
// clicks, a drag of the left button, the fixed source, 40 single steps.
async function scene(p) {
  let seed = 7;
  const at = () => {
    seed = (seed * 1103515245 + 12345) % 2147483648;
    return 40 + (seed % 431);
  };
  for (let k = 0; k < 25; ++k) await p.click(2, at(), at());
  await p.mouse('mouseMoved', 0, 100, 400);
  await p.mouse('mousePressed', 0, 100, 400);
  for (let k = 1; k <= 20; ++k) await p.mouse('mouseMoved', 0, 100 + 15 * k, 400 - 12 * k);
  await p.mouse('mouseReleased', 0, 400, 160);
  await p.key('f');
  for (let k = 0; k < 40; ++k) {
    await p.key(' ');
    await p.frames(1);
  }
}

// The mean and the median milliseconds between n animation frames, after a
// one-second warm-up; also the load-to-first-frame time.
async function runCase(query, c, n) {
  const browser = new Browser();
  try {
    const p = await browser.newPage(512, 512);
    await p.open(server.url() + 'fluids.html' + query);
    const firstFrame = await p.evaluate('window.fluidsFirstFrame');
    await p.key('s');
    if (c.scene) await scene(p);
    for (const k of c.keys) await p.key(k);
    await new Promise((r) => setTimeout(r, 1000));
    await p.evaluate(`window.frameTimes = []; (function tick(t) {
      if (window.frameTimes.length <= ${n}) { window.frameTimes.push(t); requestAnimationFrame(tick); }
    })(performance.now())`);
    await p.until(`window.frameTimes.length > ${n}`, `${n} frames`, 30 + n * 5);
    const t = await p.evaluate('window.frameTimes');
    const d = t.slice(2).map((x, k) => x - t[k + 1]).sort((a, b) => a - b);
    return { ms: (t[t.length - 1] - t[1]) / d.length, median: d[Math.floor(d.length / 2)], firstFrame };
  } finally {
    await browser.close();
  }
}

const cases = [
  { name: 'empty fields, initial layers', scene: false, keys: [] },
  { name: 'density over much of the grid, initial layers', scene: true, keys: [] },
  { name: '+ velocity layer (v)', scene: true, keys: ['v'] },
  { name: '+ grid layer (g) instead', scene: true, keys: ['g'] },
  { name: 'all four layers', scene: true, keys: ['v', 'g'] },
  { name: 'simulating with the report on (s, c)', scene: true, keys: ['s', 'c'] },
];
const size = ['fluids.html', 'fluids.js', 'fluids.wasm']
  .map((f) => statSync(join(pageDir, f)).size);
console.log(`page: ${size.reduce((a, b) => a + b)} bytes (html ${size[0]}, js ${size[1]}, ` +
            `wasm ${size[2]}); mean ms a frame over ${frames} frames (fast), ${literalFrames} ` +
            `(literal), median interval in brackets`);
console.log(`${'case'.padEnd(48)} ${'fluids ms'.padStart(16)} ${'literal ms'.padStart(18)} ` +
            `${'ratio'.padStart(8)} ${'first frame'.padStart(12)}`);
const both = (r) => `${r.ms.toFixed(2)} (${r.median.toFixed(2)})`;
for (const c of cases) {
  const fast = await runCase('', c, frames);
  const literal = await runCase('?literal', c, literalFrames);
  console.log(`${c.name.padEnd(48)} ${both(fast).padStart(16)} ` +
              `${both(literal).padStart(18)} ${(literal.ms / fast.ms).toFixed(1).padStart(7)}x ` +
              `${(fast.firstFrame.toFixed(0) + ' ms').padStart(12)}`);
}
server.close();
