// The page's latency in headless Chromium, beside the native benchmarks' figures for the same
// events at N = 128: `node bench.mjs [NATIVE.json]`, the JSON being scalar-field-bench's output.
// Each time runs inside the page from the key's event (its timeStamp, taken before the page's
// own listeners see it) to the end of the frame it asked for, with the frame completed by a
// one-pixel read of the canvas; page load to first frame runs from the navigation's start. Of
// each, the part from the animation frame's start (the program's display and its GL calls, and
// their drawing), and of that the part after the last call (the one-pixel read: the drawing
// SwiftShader still had to do). The figures are medians.
import { readFileSync } from 'node:fs';
import * as web from './browser.mjs';

const repetitions = Number(process.env.WEB_BENCH_REPETITIONS ?? 10);
// Only the events whose row names match, to time one change quickly: WEB_BENCH_ONLY=camera.
const only = new RegExp(process.env.WEB_BENCH_ONLY ?? '');

// Injected before the page's scripts: the last key's time, the start of each animation frame,
// and the end of each frame the program draws (viewer.onFrame, set as soon as viewer exists).
function instrument() {
  const bench = (window.bench = { key: 0, frameStart: 0, frames: [] });
  window.addEventListener('keydown', (e) => { bench.key = e.timeStamp; }, true);
  const request = window.requestAnimationFrame.bind(window);
  window.requestAnimationFrame = (callback) => request((t) => {
    bench.frameStart = performance.now();
    callback(t);
  });
  const onFrame = (n) => {
    const canvas = document.getElementById('canvas');
    const gl = canvas.getContext('webgl2') ?? canvas.getContext('webgl');
    const issued = performance.now();
    gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, new Uint8Array(4));
    bench.frames.push({ n, key: bench.key, start: bench.frameStart, issued, end: performance.now() });
  };
  let viewer;
  Object.defineProperty(window, 'viewer', {
    configurable: true,
    get: () => viewer,
    set: (v) => { viewer = v; if (v) v.onFrame = onFrame; },
  });
}

async function press(page, key) {
  const before = await page.evaluate(() => window.bench.frames.length);
  await web.typeKeys(page, key);
  await page.waitForFunction((n) => window.bench.frames.length > n, { timeout: 30000, polling: 5 }, before);
  // The frame after the key, from the key and from the frame's start.
  const f = await page.evaluate((n) => window.bench.frames[n], before);
  await new Promise((r) => setTimeout(r, 20 + Math.random() * 17));  // any phase of the display's
  return { total: f.end - f.key, frame: f.end - f.start, drawn: f.end - f.issued };
}

// `repetitions` times the key, alternating with `back` like the native benchmarks; with
// `untimedBack` the way back comes first and is not timed (the grid's `*`).
async function time(page, key, back, untimedBack = false) {
  const samples = [];
  for (let i = 0; i < repetitions; ++i) {
    if (untimedBack) await press(page, back);
    samples.push(await press(page, key));
    if (!untimedBack && ++i < repetitions) samples.push(await press(page, back));
  }
  return samples;
}

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

// The native figures: the median of the repetitions' real time, in ms.
function nativeTimes(path) {
  if (!path) return {};
  const report = JSON.parse(readFileSync(path, 'utf8'));
  const times = {};
  for (const b of report.benchmarks) {
    if (b.aggregate_name !== 'median' && b.run_type !== 'iteration') continue;
    if (b.run_type === 'iteration' && times[b.run_name] !== undefined) continue;
    const unit = { ns: 1e-6, us: 1e-3, ms: 1, s: 1e3 }[b.time_unit];
    times[b.run_name] = b.real_time * unit;
  }
  return times;
}

const browser = await web.openBrowser();
try {
  const page = await browser.newPage();
  page.errors = [];
  page.on('pageerror', (e) => page.errors.push(String(e)));
  await page.evaluateOnNewDocument(instrument);
  const rows = [];

  // Page load to the first frame, three loads.
  const loads = [];
  for (let i = 0; i < 3; ++i) {
    await page.goto(new URL(`file://${web.pagePath}`).href);
    await page.waitForFunction(() => window.bench.frames.length > 0, { timeout: 30000 });
    loads.push(await page.evaluate(() => ({
      total: window.bench.frames[0].end,
      // from the page's script parsed and run (the program's wasm compiled and started with it)
      frame: window.bench.frames[0].end - performance.getEntriesByType('navigation')[0].domContentLoadedEventEnd,
    })));
  }
  rows.push(['page load to first frame', null, loads, 1500]);

  const event = async (what, name, key, back, target, untimedBack = false) => {
    if (only.test(what)) rows.push([what, name, await time(page, key, back, untimedBack), target]);
  };
  await press(page, '/');
  await press(page, '/');  // N = 128 from here on
  await event('camera key (w, s)', 'BM_EventCamera/128', 'w', 's', 33);
  await event('threshold (+, -)', 'BM_EventIsolevel/128', '+', '-', 33);
  await press(page, '2');
  await event('ball 2 moved (Right, Left)', 'BM_EventBallMove/128', 'Right', 'Left', 33);
  await press(page, '0');
  await event('/ to N = 128 (from 64)', 'BM_EventGridFiner/128', '/', '*', 50, true);
  await event('lit and wireframe (BackSpace)', 'BM_EventLighting/128', 'BackSpace', 'BackSpace', 50);
  await press(page, 'BackSpace');
  await event('wireframe frame (w, s unlit)', 'BM_FrameWire/128', 'w', 's', 50);
  if (page.errors.length) console.log(`page errors: ${page.errors.join(' | ')}`);

  const native = nativeTimes(process.argv[2]);
  const ms = (v) => (v === undefined || v === null ? '-' : v.toFixed(1));
  console.log(`\nThe page in headless Chromium (SwiftShader), ${repetitions} events each, N = 128; ms:`);
  console.log('| event | native (median) | page, key to frame: median | max | of which the frame | ' +
    'of which drawing after the calls | target |');
  console.log('|---|---|---|---|---|---|---|');
  let missed = 0;
  for (const [what, name, samples, target] of rows) {
    const totals = samples.map((s) => s.total);
    const part = (key) => {
      const values = samples.filter((s) => s[key] !== undefined).map((s) => s[key]);
      return values.length ? ms(median(values)) : '-';
    };
    const ok = median(totals) <= target;
    if (!ok) ++missed;
    console.log(`| ${what} | ${name ? ms(native[name]) : '-'} | ${ms(median(totals))} | ` +
      `${ms(Math.max(...totals))} | ${part('frame')} | ${part('drawn')} | ${target}${ok ? '' : ' (missed)'} |`);
  }
  console.log(missed ? `${missed} targets missed (medians)` : 'every median within its target');
} finally {
  await browser.close();
}
