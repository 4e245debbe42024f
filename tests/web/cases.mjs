// The page's end-to-end cases in headless Chromium, one per run: `node cases.mjs NAME` (CTest
// registers each as Web.NAME). The scenarios are those of tests/e2e, and what each frame must
// show is what the Linux build shows for the same keys: its screenshot of that frame, compared
// within a tolerance, the labels' row exactly. Mesh downloads must be the Linux build's files.
import { createServer } from 'node:http';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import * as web from './browser.mjs';

let failures = 0;
function expect(condition, message) {
  if (!condition) {
    ++failures;
    console.log(`FAILED: ${message}`);
  }
}

const artifacts = process.env.WEB_ARTIFACTS ?? tmpdir();

// Compares the canvas with the Linux build's frame and says by how much they differ; when they
// differ too much, both are saved as NAME-N-page.png and NAME-N-linux.png in WEB_ARTIFACTS.
let compared = 0;
async function expectFrame(page, linux, what) {
  const mine = await web.readCanvas(page);
  const theirs = await linux;
  const comparison = web.compareFrames(mine, theirs);
  console.log(`${what}: ${comparison.text}`);
  ++compared;
  if (comparison.ok) return;
  const stem = join(artifacts, `${process.argv[2]}-${compared}`);
  await web.writePng(mine, `${stem}-page.png`);
  await web.writePng(theirs, `${stem}-linux.png`);
  expect(false, `${what}: the frame is not the Linux build's; see ${stem}-page.png and -linux.png`);
}

function expectNoErrors(page) {
  expect(page.errors.length === 0, `console errors: ${page.errors.join(' | ')}`);
}

// The scenarios' key lists, typed one after another into one page, each frame compared with the
// Linux build's after all the keys so far.
async function keySteps(browser, steps) {
  const linux = steps.map((_, i) => web.linuxFrame(steps.slice(0, i + 1).join(' ')));
  const page = await web.openPage(browser);
  await web.waitFrames(page, 1);
  for (let i = 0; i < steps.length; ++i) {
    await web.typeKeys(page, steps[i]);
    await expectFrame(page, linux[i], `after "${steps.slice(0, i + 1).join(' ')}"`);
  }
  expectNoErrors(page);
}

const repeat = (key, times) => Array(times).fill(key).join(' ');

// The keys of the whole-session check of tests/e2e, every command once at least, F1 and x that
// are none; after a drag the Linux build gets them through XTest.
const everyKey = '2 Right Up Page_Up Home End Left Down Page_Down F1 Delete Delete 5 Delete End ' +
  '+ + - BackSpace w s a d space c W / / / Right BackSpace 1 Home * * * * * * 0 Right x';

const cases = {
  // The title, the first frame from disk and from a web server.
  async FirstFrame(browser) {
    const linux = web.linuxFrame('');
    const page = await web.openPage(browser);
    await web.waitFrames(page, 1);
    expect((await page.title()) === web.title, `title "${await page.title()}"`);
    await expectFrame(page, linux, 'first frame, page from disk');
    expectNoErrors(page);

    // A static host: the page, no icon, nothing else.
    const server = createServer((request, response) => {
      const path = request.url.split('?')[0];
      const served = path === '/' + basename(web.pagePath);
      response.writeHead(served ? 200 : path === '/favicon.ico' ? 204 : 404,
        { 'Content-Type': 'text/html; charset=utf-8' });
      response.end(served ? readFileSync(web.pagePath) : '');
    });
    await new Promise((done) => server.listen(0, '127.0.0.1', done));
    try {
      const hosted = await web.openPage(browser, '',
        `http://127.0.0.1:${server.address().port}/${basename(web.pagePath)}`);
      await web.waitFrames(hosted, 1);
      await expectFrame(hosted, linux, 'first frame, page from a web server');
      expectNoErrors(hosted);
    } finally {
      server.close();
    }
  },

  // The scenarios of tests/e2e one after another in one page: ball 2 selected, switched off, on
  // again with the selection cleared and the wireframe; lit again; ten steps forward, six right,
  // four down; the voxel size halved twice (N = 128), then doubled five times (16).
  async KeyLists(browser) {
    await keySteps(browser, ['2', 'Delete', 'Delete 0 BackSpace', 'BackSpace',
      `${repeat('w', 10)} ${repeat('d', 6)} ${repeat('c', 4)}`, '/ /', repeat('*', 5)]);
  },

  // The right drag of tests/e2e, 30 pixels to the right, with no context menu; then every key.
  async DragAndEveryKey(browser) {
    const drag = [300, 300, 330, 300, 6];
    const linux = [web.linuxFrame('', drag), web.linuxFrame(everyKey, drag)];
    const page = await web.openPage(browser);
    await web.waitFrames(page, 1);
    await web.rightDrag(page, ...drag);
    await expectFrame(page, linux[0], 'after a right drag 30 pixels to the right');
    expect(!(await page.evaluate(() => window.menuOpened)), 'the right button opened a context menu');
    await web.typeKeys(page, everyKey);
    await expectFrame(page, linux[1], 'after the drag and every key');
    expectNoErrors(page);
  },

  // Escape ends the session with status 0, says so, and nothing after it is acted on.
  async Escape(browser) {
    const page = await web.openPage(browser);
    await web.waitFrames(page, 1);
    await web.typeKeys(page, 'Escape');
    const state = await page.evaluate(() => ({ ...window.viewer, text: document.body.innerText }));
    expect(state.ended === true && state.status === 0, `after Escape: ended ${state.ended}, status ${state.status}`);
    expect(/ended/i.test(state.text), 'the page does not say that the session has ended');
    const frame = await web.readCanvas(page);
    await web.typeKeys(page, '2 Delete / w BackSpace + Escape');
    await web.rightDrag(page, 300, 300, 350, 320, 5);
    const after = await page.evaluate(() => ({ frames: window.viewer.frames, status: window.viewer.status }));
    expect(after.frames === state.frames, `${after.frames - state.frames} frames drawn after Escape`);
    expect(after.status === 0, `status ${after.status} after more input`);
    expect((await web.readCanvas(page)).rgb.equals(frame.rgb), 'the canvas changed after Escape');
    expectNoErrors(page);
  },

  // The options of the command line in the address: a binary and a text mesh format and the
  // screenshot offered as downloads, the meshes the Linux build's bytes; a wrong option shown as
  // the Linux build says it.
  async OptionsByAddress(browser) {
    const keys = '2 Right Right + + / Escape';
    const query = encodeURIComponent(keys).replace(/%20/g, '+');
    const folder = mkdtempSync(join(tmpdir(), 'viewer-options-'));
    try {
      const linux = await web.runLinux(['--keys', keys, '--export-surface', join(folder, 'ball.ply'),
        '--screenshot', join(folder, 'ball.png')]);
      expect(linux.status === 0, `the Linux build: ${linux.stderr}`);
      const text = await web.runLinux(['--keys', keys, '--export-surface', join(folder, 'ball.obj')]);
      expect(text.status === 0, `the Linux build: ${text.stderr}`);
      // The browser's downloads land in a folder of the case's own.
      const saved = join(folder, 'downloads');
      const protocol = await browser.target().createCDPSession();
      await protocol.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: saved });
      for (const format of ['ply', 'obj']) {
        const shot = format === 'ply' ? '&screenshot=ball.png' : '';
        const page = await web.openPage(browser, `?keys=${query}&export-surface=ball.${format}${shot}`);
        await page.waitForFunction(() => window.viewer && window.viewer.ended, { timeout: 30000 });
        const status = await page.evaluate(() => window.viewer.status);
        expect(status === 0, `${format}: status ${status}`);
        const files = await web.downloads(page);
        const mesh = readFileSync(join(folder, `ball.${format}`));
        expect(files[`ball.${format}`]?.equals(mesh),
          `ball.${format}: ${files[`ball.${format}`]?.length} bytes offered, not the Linux build's ${mesh.length}`);
        const download = join(saved, `ball.${format}`);
        for (let waited = 0; !existsSync(download) && waited < 5000; waited += 100) await sleep(100);
        expect(existsSync(download) && readFileSync(download).equals(mesh),
          `ball.${format}: the browser saved ${existsSync(download) ? 'other bytes' : 'no file'}`);
        if (format === 'ply') {
          expect(files['ball.png'] !== undefined, 'no ball.png offered');
          if (files['ball.png'] !== undefined) {
            const png = join(folder, 'web.png');
            writeFileSync(png, files['ball.png']);
            const comparison = web.compareFrames(await web.readPng(png), await web.readPng(join(folder, 'ball.png')));
            console.log(`ball.png: ${comparison.text}`);
            expect(comparison.ok, 'the screenshot is not the Linux build\'s');
          }
        }
        expectNoErrors(page);
      }

      const said = await web.runLinux(['--keys', '2 Foo']);
      expect(said.status === 2, `the Linux build's status for --keys '2 Foo': ${said.status}`);
      const message = said.stderr.split('\n')[0].replace(/^scalar-field-viewer: /, '');
      const page = await web.openPage(browser, '?keys=2+Foo');
      await page.waitForFunction(() => window.viewer && window.viewer.error !== null, { timeout: 20000 });
      const state = await page.evaluate(() => ({ ...window.viewer }));
      expect(state.error.includes(message), `shown "${state.error}", the Linux build says "${message}"`);
      expect(state.frames === 0, `${state.frames} frames drawn after a wrong option`);
      const shown = await page.evaluate(() => document.getElementById('status').innerText);
      expect(shown.startsWith('The options in the address are wrong'), `the page says "${shown}"`);

      // A browser without WebGL: said so, and not blamed on the address.
      const bare = await browser.newPage();
      await bare.evaluateOnNewDocument(() => { HTMLCanvasElement.prototype.getContext = () => null; });
      await bare.goto(new URL(`file://${web.pagePath}`).href);
      await bare.waitForFunction(() => window.viewer && window.viewer.ended, { timeout: 20000 });
      const none = await bare.evaluate(() => document.getElementById('status').innerText);
      expect(/^No session started:\s+scalar-field-viewer: WebGL cannot start in this browser/.test(none),
        `without WebGL the page says "${none}"`);
    } finally {
      rmSync(folder, { recursive: true, force: true });
    }
  },
};

const name = process.argv[2];
if (!cases[name]) {
  console.log(`usage: node cases.mjs CASE, one of ${Object.keys(cases).join(' ')}`);
  process.exit(2);
}
const started = Date.now();
const browser = await web.openBrowser();
try {
  await cases[name](browser);
} catch (error) {
  expect(false, error.stack ?? String(error));
} finally {
  await browser.close();
}
console.log(`${name}: ${failures === 0 ? 'passed' : `${failures} failures`} in ${((Date.now() - started) / 1000).toFixed(1)} s`);
process.exit(failures === 0 ? 0 : 1);
