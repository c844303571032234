// session.mjs - one scripted session with the web page in headless
// Chromium, for tests that run the same session with the desktop program.
//
//   node session.mjs PAGE_DIR WIDTH HEIGHT PICTURE_FILE COMMAND...
//
// Commands: "key K" (K a DOM key value, "space" for a space), "click B X Y",
// "drag B X0 Y0 X1 Y1" (B: 0 left, 1 middle, 2 right), "step" (a space, and
// its report waited for), "resize W H", "picture" (the page's pixels,
// appended to PICTURE_FILE as width, height and RGB rows from the top).
// Writes the page's standard output to standard output.
import { appendFileSync, writeFileSync } from 'node:fs';
import { Browser, serve } from './browser.mjs';

const [pageDir, width, height, pictureFile, ...commands] = process.argv.slice(2);
const server = await serve(pageDir);
const browser = new Browser();
let status = 0;
try {
  const p = await browser.newPage(Number(width), Number(height));
  await p.open(server.url() + 'fluids.html');
  writeFileSync(pictureFile, '');
  for (const command of commands) {
    const [name, ...a] = command.split(' ');
    const n = a.map(Number);
    if (name === 'key') {
      await p.key(a[0] === 'space' ? ' ' : a[0]);
    } else if (name === 'click') {
      await p.click(n[0], n[1], n[2]);
    } else if (name === 'drag') {
      await p.drag(n[0], n[1], n[2], n[3], n[4]);
    } else if (name === 'step') {
      const before = p.log.filter((l) => l.startsWith('Total Density: ')).length;
      await p.key(' ');
      await p.lines('Total Density: ', before + 1);
    } else if (name === 'resize') {
      await p.resize(n[0], n[1]);
      await p.until(`JSON.parse(UTF8ToString(Module._fluids_status())).width === ${n[0]}`,
                    'the new size');
    } else if (name === 'picture') {
      const { width: w, height: h, rgb } = await p.picture();
      const size = Buffer.alloc(8);
      size.writeUInt32LE(w, 0);
      size.writeUInt32LE(h, 4);
      appendFileSync(pictureFile, Buffer.concat([size, rgb]));
    } else {
      throw new Error(`unknown command "${command}"`);
    }
  }
  process.stdout.write(p.output());
} catch (e) {
  console.error(`session.mjs: ${e.message}`);
  status = 1;
} finally {
  await browser.close();
  server.close();
}
process.exit(status);
