// browser.mjs - headless Chromium driven over the DevTools protocol (on a
// pipe: no port, no WebSocket), and a static HTTP server for the page.
import { spawn } from 'node:child_process';
import { createServer } from 'node:http';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { inflateSync } from 'node:zlib';

const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm' };

// Serves the files of dir on 127.0.0.1 at a free port; resolves to the
// server, whose url() is the base URL.
export function serve(dir) {
  const server = createServer((req, res) => {
    const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
    try {
      const body = readFileSync(join(dir, path));
      res.writeHead(200, { 'Content-Type': TYPES[extname(path)] || 'application/octet-stream' });
      res.end(body);
    } catch {
      res.writeHead(404);
      res.end();
    }
  });
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => {
    server.url = () => `http://127.0.0.1:${server.address().port}/`;
    resolve(server);
  }));
}

// Chromium with a fresh profile, talking the DevTools protocol on
// descriptors 3 (to it) and 4 (from it), messages ended by NUL bytes.
export class Browser {
  constructor(extraArgs = []) {
    this.profile = mkdtempSync(join(tmpdir(), 'fluids-chromium-'));
    const args = [
      '--headless=new', '--no-sandbox', '--remote-debugging-pipe',
      `--user-data-dir=${this.profile}`, '--no-first-run', '--no-default-browser-check',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      '--disable-extensions', '--disable-default-apps', '--mute-audio',
      '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--disable-gpu-vsync',
      '--disable-frame-rate-limit', '--force-device-scale-factor=1', 'about:blank',
      ...extraArgs];
    this.child = spawn(process.env.FLUIDS_CHROMIUM || 'chromium', args,
                       { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    this.stderr = '';
    this.child.stderr.on('data', (d) => { this.stderr += d; });
    this.next = 1;
    this.pending = new Map();
    this.listeners = [];
    let buffer = Buffer.alloc(0);
    this.child.stdio[4].on('data', (chunk) => {
      buffer = Buffer.concat([buffer, chunk]);
      let end;
      while ((end = buffer.indexOf(0)) >= 0) {
        const message = JSON.parse(buffer.subarray(0, end).toString());
        buffer = buffer.subarray(end + 1);
        if (message.id && this.pending.has(message.id)) {
          const { resolve, reject } = this.pending.get(message.id);
          this.pending.delete(message.id);
          if (message.error) reject(new Error(JSON.stringify(message.error)));
          else resolve(message.result);
        } else if (message.method) {
          for (const l of this.listeners) l(message);
        }
      }
    });
    this.exited = new Promise((resolve) => this.child.on('exit', resolve));
  }

  send(method, params = {}, sessionId) {
    const id = this.next++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    this.child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject });
      setTimeout(() => {
        if (this.pending.delete(id)) reject(new Error(`${method}: no answer in 60 s`));
      }, 60000);
    });
  }

  on(listener) { this.listeners.push(listener); }

  // A new tab at width x height CSS pixels; resolves to a Page.
  async newPage(width, height) {
    // Only the page in front gets animation frames: one page at a time,
    // each in a window of its own.
    const { targetId } = await this.send('Target.createTarget',
                                         { url: 'about:blank', newWindow: true });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, sessionId, targetId);
    await page.init(width, height);
    return page;
  }

  async close() {
    try { await this.send('Browser.close'); } catch { /* gone already */ }
    const timer = setTimeout(() => this.child.kill('SIGKILL'), 5000);
    await this.exited;
    clearTimeout(timer);
    rmSync(this.profile, { recursive: true, force: true });
  }
}

// One tab: its console lines (console.log and other levels apart), input,
// size and screenshots.
export class Page {
  constructor(browser, sessionId, targetId) {
    this.browser = browser;
    this.sessionId = sessionId;
    this.targetId = targetId;
    this.log = [];      // console.log lines: standard output
    this.other = [];    // every other console message and exception
    browser.on((m) => {
      if (m.sessionId !== sessionId) return;
      if (m.method === 'Runtime.consoleAPICalled') {
        const text = m.params.args.map((a) => a.value ?? a.description ?? '').join(' ');
        (m.params.type === 'log' ? this.log : this.other).push(text);
        this.changed?.();
      } else if (m.method === 'Runtime.exceptionThrown') {
        this.other.push('exception: ' + JSON.stringify(m.params.exceptionDetails));
      }
    });
  }

  send(method, params) { return this.browser.send(method, params, this.sessionId); }

  close() { return this.browser.send('Target.closeTarget', { targetId: this.targetId }); }

  async init(width, height) {
    await this.send('Runtime.enable');
    await this.send('Page.enable');
    await this.resize(width, height);
  }

  async resize(width, height) {
    this.width = width;
    this.height = height;
    await this.send('Emulation.setDeviceMetricsOverride',
                    { width, height, deviceScaleFactor: 1, mobile: false });
  }

  async evaluate(expression) {
    const r = await this.send('Runtime.evaluate', { expression, returnByValue: true, awaitPromise: true });
    if (r.exceptionDetails) throw new Error(`${expression}: ${JSON.stringify(r.exceptionDetails)}`);
    return r.result.value;
  }

  // Resolves once predicate() (an expression in the page) is true.
  async until(expression, what, seconds = 30) {
    const end = Date.now() + seconds * 1000;
    while (!(await this.evaluate(expression))) {
      if (Date.now() > end) throw new Error(`timed out waiting for ${what}`);
      await new Promise((r) => setTimeout(r, 10));
    }
  }

  status() { return this.evaluate('JSON.parse(UTF8ToString(Module._fluids_status()))'); }

  // Waits until the program has drawn n more frames than now.
  async frames(n = 2) {
    const start = (await this.status()).frames;
    await this.until(`JSON.parse(UTF8ToString(Module._fluids_status())).frames >= ${start + n}`,
                     `${n} frames`, 30);
  }

  async open(url) {
    await this.send('Page.navigate', { url });
    await this.until('typeof window.fluidsFirstFrame === "number"', 'the first frame');
  }

  // Resolves once count lines of standard output start with prefix.
  async lines(prefix, count, seconds = 30) {
    const end = Date.now() + seconds * 1000;
    while (this.log.filter((l) => l.startsWith(prefix)).length < count) {
      if (Date.now() > end) throw new Error(`timed out waiting for line ${count} "${prefix}"`);
      await new Promise((r) => setTimeout(r, 10));
    }
  }

  // Standard output as the program wrote it.
  output() { return this.log.map((l) => l + '\n').join(''); }

  async key(key) {
    const text = key.length === 1 ? key : undefined;
    const codes = { Escape: 27, ' ': 32 };
    const keyCode = codes[key] ?? key.toUpperCase().charCodeAt(0);
    const base = { key, text, unmodifiedText: text, windowsVirtualKeyCode: keyCode,
                   modifiers: key.length === 1 && key !== key.toLowerCase() ? 8 : 0 };
    await this.send('Input.dispatchKeyEvent', { type: text ? 'keyDown' : 'rawKeyDown', ...base });
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', ...base });
  }

  // Mouse buttons as GLUT numbers them: 0 left, 1 middle, 2 right.
  async mouse(type, button, x, y) {
    const name = ['left', 'middle', 'right'][button];
    const bits = [1, 4, 2][button];
    await this.send('Input.dispatchMouseEvent', {
      type, x, y, button: type === 'mouseMoved' ? (this.held ? name : 'none') : name,
      buttons: type === 'mouseReleased' ? 0 : (type === 'mousePressed' || this.held ? bits : 0),
      clickCount: type === 'mouseMoved' ? 0 : 1 });
    if (type === 'mousePressed') this.held = true;
    if (type === 'mouseReleased') this.held = false;
  }
  async click(button, x, y) {
    await this.mouse('mousePressed', button, x, y);
    await this.mouse('mouseReleased', button, x, y);
  }
  async drag(button, x0, y0, x1, y1) {
    await this.mouse('mouseMoved', button, x0, y0);
    await this.mouse('mousePressed', button, x0, y0);
    await this.mouse('mouseMoved', button, x1, y1);
    await this.mouse('mouseReleased', button, x1, y1);
  }

  // The page's pixels as shown, RGB rows from the top, after the next
  // frame: the program draws it and then holds until the picture is taken
  // (a screenshot would wait for the frames in progress).
  async picture() {
    await this.evaluate('Module._fluids_hold_after(1)');
    await this.until('JSON.parse(UTF8ToString(Module._fluids_status())).held', 'the held frame');
    try {
      const { data } = await this.send('Page.captureScreenshot', { format: 'png', fromSurface: true });
      return decodePng(Buffer.from(data, 'base64'));
    } finally {
      await this.evaluate('Module._fluids_hold_after(-1)');
    }
  }
}

// An 8-bit RGB or RGBA PNG, non-interlaced, as { width, height, rgb }.
export function decodePng(png) {
  let pos = 8, width = 0, height = 0, channels = 0;
  const idat = [];
  while (pos < png.length) {
    const length = png.readUInt32BE(pos);
    const type = png.toString('ascii', pos + 4, pos + 8);
    const data = png.subarray(pos + 8, pos + 8 + length);
    if (type === 'IHDR') {
      width = data.readUInt32BE(0);
      height = data.readUInt32BE(4);
      if (data[8] !== 8 || data[12] !== 0 || (data[9] !== 2 && data[9] !== 6)) {
        throw new Error('unexpected PNG format');
      }
      channels = data[9] === 6 ? 4 : 3;
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    pos += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const out = Buffer.alloc(width * height * channels);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? out[y * stride + x - channels] : 0;
      const b = y > 0 ? out[(y - 1) * stride + x] : 0;
      const c = x >= channels && y > 0 ? out[(y - 1) * stride + x - channels] : 0;
      let v = line[x];
      if (filter === 1) v += a;
      else if (filter === 2) v += b;
      else if (filter === 3) v += (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        v += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      out[y * stride + x] = v & 255;
    }
  }
  const rgb = Buffer.alloc(width * height * 3);
  for (let k = 0; k < width * height; ++k) out.copy(rgb, k * 3, k * channels, k * channels + 3);
  return { width, height, rgb };
}
