// What the browser cases and the benchmark share: Debian's Chromium started headless with WebGL
// on SwiftShader, the page opened in it, keys and drags, the canvas read back, and the Linux
// build run in an Xvfb of its own for the frames and files to compare with.
import puppeteer from 'puppeteer-core';
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const here = new URL('.', import.meta.url).pathname;
export const sourceDir = resolve(here, '../..');
export const pagePath = resolve(process.env.VIEWER_PAGE ?? join(sourceDir, 'build-web/scalar-field-viewer.html'));
export const linuxBinary = resolve(process.env.VIEWER_LINUX_BINARY ?? join(sourceDir, 'build/scalar-field-viewer'));
export const title = 'Программа визуализации скалярных полей';
export const size = 600;
export const labelRowTop = 586; // the labels' row: the bottom 14 rows of the window

// As root Chromium needs --no-sandbox; the rest keep it off the network and out of any profile.
const flags = [
  '--headless', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
  '--no-first-run', '--no-default-browser-check', '--disable-background-networking',
  '--disable-component-update', '--disable-sync', '--disable-quic', '--disable-extensions',
  '--disable-default-apps', '--disable-breakpad', '--metrics-recording-only',
  '--disable-features=MediaRouter,OptimizationHints,Translate', '--mute-audio',
];

export async function openBrowser() {
  const profile = mkdtempSync(join(tmpdir(), 'viewer-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    userDataDir: profile,
    args: flags,
    defaultViewport: { width: 1000, height: 700 },
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    rmSync(profile, { recursive: true, force: true });
  };
  return browser;
}

// Opens the page (from disk unless `url` is given) with the address's query; `errors` collects
// every console error and uncaught exception of the page.
export async function openPage(browser, query = '', url = null) {
  const page = await browser.newPage();
  page.errors = [];
  page.on('console', (m) => { if (m.type() === 'error') page.errors.push(m.text()); });
  page.on('pageerror', (e) => page.errors.push(String(e)));
  // Whether a context menu would open: a contextmenu event that no handler of the page prevented.
  await page.evaluateOnNewDocument(() => window.addEventListener('contextmenu', (e) =>
    setTimeout(() => { if (!e.defaultPrevented) window.menuOpened = true; })));
  await page.goto((url ?? pathToFileURL(pagePath).href) + query, { waitUntil: 'load' });
  return page;
}

export async function waitFrames(page, count, timeout = 20000) {
  await page.waitForFunction((n) => window.viewer && window.viewer.frames >= n,
    { timeout, polling: 10 }, count);
}

// Until the frames that events in hand asked for are drawn: GLUT draws in the animation frame it
// requested when the event came, which runs before a second one requested after it.
export async function settle(page) {
  await page.evaluate(() => new Promise((done) =>
    requestAnimationFrame(() => requestAnimationFrame(() => done()))));
}

// The program's key names (those of --keys) as the browser's keys.
const browserKeys = {
  Escape: 'Escape', BackSpace: 'Backspace', Delete: 'Delete', space: 'Space', Left: 'ArrowLeft',
  Right: 'ArrowRight', Up: 'ArrowUp', Down: 'ArrowDown', Page_Up: 'PageUp', Page_Down: 'PageDown',
  Home: 'Home', End: 'End', F1: 'F1',
};

// Types the keys of a list, as --keys names them, each followed by its frame.
export async function typeKeys(page, list) {
  for (const name of list.split(' ').filter((k) => k !== '')) {
    if (name.length === 1) await page.keyboard.type(name);
    else if (browserKeys[name]) await page.keyboard.press(browserKeys[name]);
    else throw new Error(`no browser key for ${name}`);
    await settle(page);
  }
}

// A drag with the right button from (x0, y0) to (x1, y1) on the canvas, in `steps` moves.
export async function rightDrag(page, x0, y0, x1, y1, steps) {
  const box = await (await page.$('#canvas')).boundingBox();
  await page.mouse.move(box.x + x0, box.y + y0);
  await page.mouse.down({ button: 'right' });
  await page.mouse.move(box.x + x1, box.y + y1, { steps });
  await page.mouse.up({ button: 'right' });
  await settle(page);
}

// The canvas's pixels, RGB, top row first, as the Linux build's screenshots hold them.
export async function readCanvas(page) {
  const encoded = await page.evaluate(() => {
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2') ?? canvas.getContext('webgl');
    const w = gl.drawingBufferWidth, h = gl.drawingBufferHeight;
    const rgba = new Uint8Array(w * h * 4);
    gl.readPixels(0, 0, w, h, gl.RGBA, gl.UNSIGNED_BYTE, rgba);
    let text = '';
    const row = new Uint8Array(w * 3);
    for (let y = h - 1; y >= 0; --y) {
      for (let x = 0; x < w; ++x)
        for (let c = 0; c < 3; ++c) row[x * 3 + c] = rgba[(y * w + x) * 4 + c];
      text += String.fromCharCode.apply(null, row);
    }
    return { w, h, data: btoa(text) };
  });
  return { width: encoded.w, height: encoded.h, rgb: Buffer.from(encoded.data, 'base64') };
}

// The session's downloads, by name.
export async function downloads(page) {
  const list = await page.evaluate(() => window.viewer.downloads.map((d) => {
    let text = '';
    for (let i = 0; i < d.bytes.length; i += 0x8000)
      text += String.fromCharCode.apply(null, d.bytes.subarray(i, i + 0x8000));
    return { name: d.name, data: btoa(text) };
  }));
  return Object.fromEntries(list.map((d) => [d.name, Buffer.from(d.data, 'base64')]));
}

function run(command, args, options = {}) {
  return new Promise((done, fail) => {
    const child = spawn(command, args, { stdio: ['ignore', 'pipe', 'pipe'], ...options });
    const out = [], err = [];
    child.stdout.on('data', (d) => out.push(d));
    child.stderr.on('data', (d) => err.push(d));
    child.on('error', fail);
    child.on('close', (status) => done({ status, stdout: Buffer.concat(out), stderr: Buffer.concat(err).toString() }));
  });
}

// An Xvfb of its own, on the display it chose; stop() ends it.
async function startXvfb() {
  const server = spawn('Xvfb', ['-displayfd', '3', '-screen', '0', '1024x768x24', '-nolisten', 'tcp'],
    { stdio: ['ignore', 'ignore', 'ignore', 'pipe'] });
  const display = await new Promise((done, fail) => {
    let text = '';
    server.stdio[3].on('data', (d) => { text += d; if (text.includes('\n')) done(':' + text.trim()); });
    server.on('exit', () => fail(new Error('Xvfb ended before it chose a display')));
  });
  return { display, stop: () => server.kill() };
}

// The Linux build with these options in an Xvfb of its own, ending by itself (its keys end in
// Escape); its status and what it printed.
export async function runLinux(args) {
  const x = await startXvfb();
  try {
    return await run(linuxBinary, ['-display', x.display, ...args],
      { env: { ...process.env, DISPLAY: '', LIBGL_ALWAYS_SOFTWARE: '1' } });
  } finally {
    x.stop();
  }
}

// The Linux build's last frame after these keys, from its own screenshot: listed with --keys,
// or, after a right drag [x0, y0, x1, y1, steps], typed through XTest, ending with Escape.
export async function linuxFrame(keys, drag = null) {
  const folder = mkdtempSync(join(tmpdir(), 'viewer-linux-'));
  const png = join(folder, 'frame.png');
  try {
    const result = drag === null
      ? await runLinux(['--keys', `${keys} Escape`.trim(), '--screenshot', png])
      : await dragLinux(drag, keys, png);
    if (result.status !== 0) throw new Error(`the Linux build ended with ${result.status}: ${result.stderr}`);
    return await readPng(png);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
}

const xdotoolKeys = { '+': 'plus', '-': 'minus', '/': 'slash', '*': 'asterisk', ' ': 'space' };

// The drag by xdotool in the window's own coordinates, then the keys and Escape.
async function dragLinux([x0, y0, x1, y1, steps], keys, png) {
  const x = await startXvfb();
  const env = { ...process.env, DISPLAY: x.display, LIBGL_ALWAYS_SOFTWARE: '1' };
  try {
    const viewer = run(linuxBinary, ['--screenshot', png], { env });
    const tool = (...args) => run('xdotool', args, { env });
    const found = await tool('search', '--sync', '--name', 'скалярных');
    if (found.status !== 0) throw new Error('no window of the Linux build');
    const window = found.stdout.toString().trim().split('\n')[0];
    const moves = [];
    for (let i = 1; i <= steps; ++i) {
      moves.push('mousemove', '--window', window, String(Math.round(x0 + ((x1 - x0) * i) / steps)),
        String(Math.round(y0 + ((y1 - y0) * i) / steps)), 'sleep', '0.05');
    }
    const typed = keys.split(' ').filter((k) => k !== '').map((k) => xdotoolKeys[k] ?? k);
    await tool('sleep', '0.5', 'mousemove', '--window', window, String(x0), String(y0), 'sleep', '0.1',
      'mousedown', '3', 'sleep', '0.05', ...moves, 'mouseup', '3', 'sleep', '0.2',
      'key', '--delay', '80', ...typed, 'Escape');
    return await viewer;
  } finally {
    x.stop();
  }
}

// A PNG's pixels as RGB, decoded by ImageMagick.
export async function readPng(path) {
  const shape = await run('identify', ['-format', '%w %h', path]);
  const [width, height] = shape.stdout.toString().split(' ').map(Number);
  const pixels = await run('convert', [path, '-depth', '8', 'rgb:-']);
  return { width, height, rgb: pixels.stdout };
}

// Writes RGB pixels as a PNG, by ImageMagick.
export function writePng(frame, path) {
  return new Promise((done) => {
    const child = spawn('convert', ['-size', `${frame.width}x${frame.height}`, '-depth', '8', 'rgb:-', path],
      { stdio: ['pipe', 'ignore', 'ignore'] });
    child.on('close', done);
    child.stdin.end(frame.rgb);
  });
}

// Where two frames differ: pixels off by more than 8 levels in any channel (at most 0.3% of them
// may be), by more than one, the largest difference, and the pixels of the labels' row that are
// black in one frame only, which must be none: the glyphs are the same to the pixel. (Their
// colours are lit, with the normal the frame before left current, and may differ by a level.)
export function compareFrames(mine, theirs) {
  if (mine.width !== theirs.width || mine.height !== theirs.height) {
    return { sizeDiffers: true, text: `size ${mine.width}x${mine.height}, expected ${theirs.width}x${theirs.height}` };
  }
  let beyond = 0, beyondOne = 0, largest = 0, labels = 0;
  const examples = [];
  for (let y = 0; y < mine.height; ++y) {
    for (let x = 0; x < mine.width; ++x) {
      const at = (y * mine.width + x) * 3;
      let d = 0;
      for (let c = 0; c < 3; ++c) d = Math.max(d, Math.abs(mine.rgb[at + c] - theirs.rgb[at + c]));
      largest = Math.max(largest, d);
      if (d > 1) ++beyondOne;
      if (d > 8) ++beyond;
      const lit = (rgb) => rgb[at] + rgb[at + 1] + rgb[at + 2] > 0;
      if (y >= labelRowTop && lit(mine.rgb) !== lit(theirs.rgb)) {
        if (++labels <= 5) {
          examples.push(`(${x}, ${y}) ${[...mine.rgb.subarray(at, at + 3)]} vs ${[...theirs.rgb.subarray(at, at + 3)]}`);
        }
      }
    }
  }
  const allowed = Math.floor(mine.width * mine.height * 0.003);
  const ok = beyond <= allowed && labels === 0;
  const text = `${beyond} pixels differ by more than 8 levels (at most ${allowed}), ${beyondOne} by more ` +
    `than 1, largest difference ${largest}; label row: ${labels} glyph pixels differ` +
    (examples.length ? ` (${examples.join('; ')})` : '');
  return { ok, beyond, beyondOne, largest, labels, text };
}
