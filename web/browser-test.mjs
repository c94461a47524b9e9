// The web page in headless Chromium (Debian's package, SwiftShader WebGL), driven by
// puppeteer-core: node browser-test.mjs PAGE-URL SINGLE-FILE-URL [NATIVE-CAPTURE-DIR]
// NATIVE-CAPTURE-DIR holds the native `--capture` of the same show (frame_NNNNNN.png for the
// frames below and audio.wav): the page's virtual-clock frames and its played sound are
// compared with it.
// Reads the canvas through the page (its drawing buffer is preserved) and compares coarse
// colours of regions, never exact pixels: WebGL rasterisation is not the desktop's.
// WEB_TEST_PARTS=desktop,small,phone,faults,compare,single (the default: all) runs only the
// parts named: the desktop show with its keys; a small desktop window; phones in portrait and
// landscape; faults (a lost WebGL context, a browser without WebGL 2 or WebAssembly, test hooks
// out of range); the comparisons with the native capture; the single file.
import { createRequire } from 'module';
const require = createRequire(process.env.NODE_PATH + '/');
const puppeteer = require('puppeteer-core');
const { KnownDevices } = puppeteer;
const parts = new Set((process.env.WEB_TEST_PARTS || 'desktop,small,phone,faults,compare,single').split(','));

const [pageUrl, singleUrl, captureDir] = process.argv.slice(2);
const fs = require('fs');
let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok' : 'FAILED'}: ${what}`);
  if (!ok) failures += 1;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
// WEB_TEST_SHOTS=DIR keeps a screenshot of each step there.
async function shot(page, name) {
  if (process.env.WEB_TEST_SHOTS) await page.screenshot({ path: `${process.env.WEB_TEST_SHOTS}/${name}.png` });
}

// Mean colour of a region and the fraction of its pixels that differ from a colour.
async function region(page, x, y, w, h) {
  return page.evaluate(
    (x, y, w, h) => {
      const canvas = document.getElementById('canvas');
      const copy = document.createElement('canvas');
      copy.width = canvas.width;
      copy.height = canvas.height;
      const c = copy.getContext('2d');
      c.drawImage(canvas, 0, 0);
      const sx = canvas.width / 800, sy = canvas.height / 640;
      const d = c.getImageData(Math.round(x * sx), Math.round(y * sy), Math.round(w * sx), Math.round(h * sy)).data;
      let r = 0, g = 0, b = 0, bright = 0, warm = 0;
      const n = d.length / 4;
      const samples = [];  // every 4th pixel of every 4th row, for comparing two pictures
      const rowPixels = Math.round(w * sx);
      for (let i = 0, p = 0; i < d.length; i += 4, ++p) {
        r += d[i]; g += d[i + 1]; b += d[i + 2];
        if (d[i] + d[i + 1] + d[i + 2] > 240) bright += 1;
        if (d[i] > 60 && d[i] > d[i + 2] + 25 && d[i] > d[i + 1]) warm += 1;  // orange and red text
        if (p % 4 === 0 && Math.floor(p / rowPixels) % 4 === 0) samples.push(d[i], d[i + 1], d[i + 2]);
      }
      return { r: r / n, g: g / n, b: b / n, bright: bright / n, warm: warm / n, pixels: samples };
    },
    x, y, w, h);
}
function differs(a, b) {
  let d = 0;
  for (let i = 0; i < a.pixels.length; ++i) d += Math.abs(a.pixels[i] - b.pixels[i]);
  return d / a.pixels.length;
}

// The canvas's box on the page (CSS pixels), the viewport, and how far the page scrolls.
async function layout(page) {
  return page.evaluate(() => {
    const r = document.getElementById('canvas').getBoundingClientRect();
    const e = document.scrollingElement;
    return { x: r.left, y: r.top, w: r.width, h: r.height, vw: window.innerWidth, vh: window.innerHeight,
             scrollWidth: e.scrollWidth, scrolled: window.scrollX + window.scrollY + e.scrollLeft + e.scrollTop };
  });
}
// Whole inside the viewport, 5:4, and as large as asked: `largest` is the most it may be (800
// windowed, the viewport enlarged), and it must be the largest 5:4 box up to that.
function fits(l, largest = 800) {
  const width = Math.min(largest, l.vw, l.vh * 1.25);
  return l.x >= -0.5 && l.y >= -0.5 && l.x + l.w <= l.vw + 0.5 && l.y + l.h <= l.vh + 0.5 &&
         Math.abs(l.w - width) < 1 && Math.abs(l.h - width * 0.8) < 1;
}
const box = (l) => `${l.w.toFixed(1)} x ${l.h.toFixed(1)} at ${l.x.toFixed(1)},${l.y.toFixed(1)} in ${l.vw} x ${l.vh}`;

// The number of distinct colours (5 bits a channel) in a screenshot of the whole page.
async function screenColours(page) {
  const png = await page.screenshot({ encoding: 'base64' });
  return page.evaluate(async (png) => {
    const image = new Image();
    image.src = 'data:image/png;base64,' + png;
    await image.decode();
    const c = document.createElement('canvas');
    c.width = image.width;
    c.height = image.height;
    const g = c.getContext('2d');
    g.drawImage(image, 0, 0);
    const d = g.getImageData(0, 0, c.width, c.height).data;
    const seen = new Set();
    for (let i = 0; i < d.length; i += 4) seen.add(((d[i] >> 3) << 10) | ((d[i + 1] >> 3) << 5) | (d[i + 2] >> 3));
    return seen.size;
  }, png);
}

// The prompt's text ("watch again") in the picture's rows, 0-640.
async function promptRows(page) {
  return page.evaluate(() => {
    const c = document.getElementById('canvas').getBoundingClientRect();
    const range = document.createRange();
    range.selectNodeContents(document.getElementById('prompt'));
    const t = range.getBoundingClientRect();
    return { top: (t.top - c.top) / c.height * 640, bottom: (t.bottom - c.top) / c.height * 640 };
  });
}

// The page's message over everything (an error, a lost context), or null when none shows.
async function pageMessage(page) {
  return page.evaluate(() => {
    const m = document.getElementById('message');
    return m && !m.classList.contains('hidden') && getComputedStyle(m).display !== 'none' ? m.textContent : null;
  });
}
async function promptShown(page) {
  return page.$eval('#prompt', (e) => !e.classList.contains('hidden') && e.textContent);
}

// Enter and the key word: the banner, and its message in warm letters along the bottom line.
// Returns the warm share of that line before and at its warmest.
async function keyWord(page) {
  const messageLine = () => region(page, 150, 618, 500, 22);
  const before = await messageLine();
  await page.keyboard.press('Enter');
  // One key every 150 ms, as a person types: the show takes one typed letter a frame, and the
  // software-rendered page may take longer than 60 ms for a frame while it starts.
  await page.keyboard.type('quorvane', { delay: 150 });
  await sleep(300);
  // The message pulses: its intensity rises and falls 6 a frame between 0 and 128, so a single
  // look can fall on a dark moment. Look a dozen times over more than one pulse and keep the
  // warmest line.
  let message = await messageLine();
  for (let look = 0; look < 12; ++look) {
    await sleep(125);
    const line = await messageLine();
    if (line.warm > message.warm) message = line;
  }
  await page.keyboard.press('Enter');  // clears the word
  await sleep(300);
  return { before: before.warm, after: message.warm };
}

// How many event listeners the window, the document and the canvas hold, by event type (the
// browser's own debugger interface).
async function listenerCounts(page) {
  const client = await page.target().createCDPSession();
  const counts = {};
  for (const expression of ['window', 'document', "document.getElementById('canvas')"]) {
    const { result } = await client.send('Runtime.evaluate', { expression });
    const { listeners } = await client.send('DOMDebugger.getEventListeners', { objectId: result.objectId });
    for (const l of listeners) counts[l.type] = (counts[l.type] || 0) + 1;
  }
  await client.detach();
  return counts;
}
const total = (counts) => Object.values(counts).reduce((a, b) => a + b, 0);

// A step of the test whose exception (a time-out, a missing element) is its failure, after
// which the next steps still run.
async function guarded(what, body) {
  try {
    await body();
  } catch (e) {
    check(false, `${what}: ${e && e.message ? e.message.split('\n')[0] : e}`);
  }
}
const part = (name, body) => (parts.has(name) ? guarded(name, body) : undefined);

const browserArgs = ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
                     '--autoplay-policy=no-user-gesture-required', '--allow-file-access-from-files', '--window-size=1024,768'];
const launch = (extra = []) => puppeteer.launch({ executablePath: '/usr/bin/chromium', headless: 'new', args: [...browserArgs, ...extra] });
const browser = await launch();
try {
  await part('desktop', async () => {
    const page = await browser.newPage();
    await page.setViewport({ width: 1024, height: 768 });
    const errors = [];
    page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
    page.on('pageerror', (e) => errors.push(String(e)));
    const frameTimes = [];
    page.on('console', (m) => { if (m.text().startsWith('frame time:')) frameTimes.push(m.text()); });

    await page.goto(pageUrl, { waitUntil: 'load' });
    await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
    check(errors.length === 0, `the page loads without console errors ${errors.join(' | ')}`);
    const prompt = await page.$eval('#prompt', (e) => e.textContent);
    check(prompt === 'click to start', `the page shows "click to start" (${prompt})`);
    const windowed = await layout(page);
    check(fits(windowed) && windowed.w === 800, `the canvas is 800 x 640 where it fits (${box(windowed)})`);

    await page.click('#prompt');
    await sleep(3000);
    const opening = await region(page, 0, 0, 800, 640);
    await shot(page, 'opening');
    check(await page.$eval('#prompt', (e) => e.classList.contains('hidden')), 'the click hides the prompt');
    const audio = await page.evaluate(() => Module.quorvaneAudioContext && Module.quorvaneAudioContext.state);
    check(audio === 'running', `the audio context runs (${audio})`);
    const firstListeners = await listenerCounts(page);
    check(await page.evaluate(() => { const e = document.getElementById('end'); return !e || getComputedStyle(e).display === 'none'; }),
          'no end control on a desktop (Escape ends the show)');

    // Enter and the key word, in the opening: the banner's message; Enter again clears the word.
    const word = await keyWord(page);
    await shot(page, 'banner');
    check(word.after > 0.01 && word.before < 0.005,
          `Enter + "quorvane" shows the banner's message (warm share ${word.before.toFixed(3)} -> ${word.after.toFixed(3)})`);

    // The main phase: the logo's bright letters in the upper half, and a scroller that moves.
    await sleep(42000);
    const logo = await region(page, 80, 120, 640, 130);
    await shot(page, 'main');
    check(logo.bright > 0.05, `the main phase shows the logo (bright share ${logo.bright.toFixed(3)})`);
    check(differs(opening, await region(page, 0, 0, 800, 640)) > 2, 'the main phase differs from the opening');
    const lowerA = await region(page, 0, 400, 800, 240);
    await sleep(500);
    const lowerB = await region(page, 0, 400, 800, 240);
    check(differs(lowerA, lowerB) > 0.5, 'the main phase moves');

    // F1: the debug panel (its text lines over the top-left part).
    const beforePanel = await region(page, 0, 0, 400, 200);
    await page.keyboard.press('F1');
    await sleep(400);
    const panel = await region(page, 0, 0, 400, 200);
    await shot(page, 'panel');
    check(differs(beforePanel, panel) > 1, 'F1 shows the panel');
    await page.keyboard.press('F1');

    // Space: the largest 5:4 canvas that fits the 1024 x 768 window (960 x 768), and back.
    const size = () => page.$eval('#canvas', (c) => `${c.width}x${c.height}`);
    await page.keyboard.press('Space');
    await sleep(300);
    const enlarged = await size();
    const enlargedBox = await layout(page);
    const enlargedPicture = await region(page, 80, 120, 640, 130);
    await page.keyboard.press('Space');
    await sleep(300);
    check(enlarged === '960x768' && fits(enlargedBox, Infinity) && (await size()) === '800x640' &&
          enlargedPicture.bright > 0.05,
          `Space enlarges the canvas to the largest 5:4 size and back (${enlarged}, ${box(enlargedBox)})`);
    check((await layout(page)).scrolled === 0, 'the page does not scroll');

    // Escape: the closing card fades in over the veil, then the page offers to watch again,
    // below the card's text (whose lowest rule is row 396; the next, row 574).
    await page.keyboard.press('Escape');
    await sleep(2500);
    const card = await region(page, 0, 100, 800, 100);
    await shot(page, 'card');
    check(card.b < 60 && card.r < 30 && card.bright < 0.02, `Escape shows the closing card's dark veil (${card.r.toFixed(0)},${card.g.toFixed(0)},${card.b.toFixed(0)})`);
    await sleep(2000);
    const ended = await region(page, 0, 0, 800, 640);
    const again = await promptShown(page);
    await shot(page, 'watch-again');
    check(again === 'watch again', `after the card the page shows "watch again" (${again})`);
    const rows = await promptRows(page);
    check(rows.top > 396 && rows.bottom < 574,
          `"watch again" lies below the card's text (rows ${rows.top.toFixed(0)}-${rows.bottom.toFixed(0)})`);
    // Watching again starts the show anew with the listeners of the first showing, no more (a
    // second set would hand it each key press twice), and the key word works again.
    await page.click('#prompt');
    await sleep(3000);
    const restarted = await page.$eval('#prompt', (e) => e.classList.contains('hidden'));
    const second = await region(page, 0, 0, 800, 640);
    await shot(page, 'again');
    check(restarted && differs(second, ended) > 1, '"watch again" starts the show again');
    const secondListeners = await listenerCounts(page);
    check(total(secondListeners) === total(firstListeners),
          `the second showing has the first one's event listeners (${total(firstListeners)} -> ${total(secondListeners)})`);
    const secondWord = await keyWord(page);
    check(secondWord.after > 0.01,
          `the second showing takes the key word too (warm share ${secondWord.before.toFixed(3)} -> ${secondWord.after.toFixed(3)})`);
    check(errors.length === 0, `no console errors while the show ran ${errors.join(' | ')}`);
    for (const t of frameTimes) console.log(`page bench: ${t}`);
    await page.close();
  });

  // A desktop browser window smaller than the picture: the canvas shrinks to fit, also
  // enlarged, and the page does not scroll.
  await part('small', async () => {
    const page = await browser.newPage();
    await page.setViewport({ width: 640, height: 480 });
    await page.goto(pageUrl, { waitUntil: 'load' });
    await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
    const before = await layout(page);
    check(fits(before), `640 x 480: the canvas fits before the start (${box(before)})`);
    await page.click('#prompt');
    await sleep(3000);
    const running = await layout(page);
    const rendering = await page.$eval('#canvas', (c) => getComputedStyle(c).imageRendering);
    await shot(page, 'small-window');
    check(fits(running) && running.scrolled === 0 && running.scrollWidth <= running.vw,
          `640 x 480: the running show fits without scrolling (${box(running)}, ${rendering} scaling)`);
    await page.keyboard.press('Space');
    await sleep(500);
    const enlarged = await layout(page);
    await page.keyboard.press('Space');
    await sleep(300);
    check(fits(enlarged, Infinity), `640 x 480: enlarged it still fits (${box(enlarged)})`);
    await page.close();
  });

  // Phones: a 390 x 844 screen at 3x density with touch and a phone's user agent, upright and
  // turned. The canvas fits whole, a tap starts the show with its sound, a finger's moves are
  // the mouse's (the hint), a tap on the show asks for full screen, and the end control brings
  // the closing card.
  await part('phone', async () => {
    for (const [device, name] of [['iPhone 13', 'portrait'], ['iPhone 13 landscape', 'landscape']]) {
      const page = await browser.newPage();
      const errors = [];
      page.on('pageerror', (e) => errors.push(String(e)));
      page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
      await page.emulate(KnownDevices[device]);
      await page.goto(pageUrl, { waitUntil: 'load' });
      await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
      const prompt = await promptShown(page);
      check(prompt === 'tap to start', `${name}: the page says "tap to start" (${prompt})`);
      await page.tap('#prompt');
      await sleep(4000);
      const audio = await page.evaluate(() => Module.quorvaneAudioContext && Module.quorvaneAudioContext.state);
      const l = await layout(page);
      check(audio === 'running' && fits(l), `${name}: a tap starts the show (audio ${audio}), the canvas fits (${box(l)})`);
      check(l.scrollWidth <= l.vw && l.scrolled === 0, `${name}: the page does not scroll (width ${l.scrollWidth})`);
      await shot(page, `phone-${name}`);
      const colours = await screenColours(page);
      check(colours > 150, `${name}: the screen shows the opening in many colours (${colours})`);

      // A finger moving over the show: the mouse's banner (orange, row 326) in the frames it moves.
      const centre = { x: l.x + l.w / 2, y: l.y + l.h / 2 };
      const banner = () => region(page, 128, 322, 544, 20);
      const still = await banner();
      let moving = still;
      await page.touchscreen.touchStart(centre.x, centre.y);
      for (let step = 0; step < 40; ++step) {
        await page.touchscreen.touchMove(centre.x + 40 * Math.sin(step / 3), centre.y + 20 * Math.cos(step / 3));
        const now = await banner();
        if (now.warm > moving.warm) moving = now;
      }
      await page.touchscreen.touchEnd();
      check(moving.warm > still.warm + 0.01,
            `${name}: a moving finger counts as a moving mouse (banner's warm share ${still.warm.toFixed(3)} -> ${moving.warm.toFixed(3)})`);

      if (name === 'portrait') {
        // A tap on the running show: full screen and back, where headless Chromium grants it.
        const screenState = () => page.evaluate(() => ({ full: !!document.fullscreenElement,
                                                         requests: Module.quorvaneFullScreenRequests || 0 }));
        await page.tap('#canvas');
        await sleep(700);
        const full = await screenState();
        const fullBox = await layout(page);
        await page.tap('#canvas');
        await sleep(700);
        const back = await screenState();
        if (full.full) {
          check(!back.full && fits(fullBox), `${name}: a tap enters full screen (${box(fullBox)}) and another leaves it`);
        } else {
          check(full.requests === 1 && back.requests === 2,
                `${name}: a tap asks for full screen (${full.requests} then ${back.requests} requests; headless Chromium did not grant it)`);
        }
        // Turned while it runs, and back: the canvas fits again each time.
        await page.setViewport(KnownDevices['iPhone 13 landscape'].viewport);
        await sleep(700);
        const turned = await layout(page);
        await page.setViewport(KnownDevices['iPhone 13'].viewport);
        await sleep(700);
        const upright = await layout(page);
        check(fits(turned) && turned.vw > turned.vh && fits(upright) && upright.vw < upright.vh,
              `${name}: turned while it runs, the canvas fits again (${box(turned)}; back: ${box(upright)})`);
        // The end control: the closing card, then "watch again".
        const end = await page.$eval('#end', (e) => getComputedStyle(e).display !== 'none');
        check(end, `${name}: the end control shows while the show runs`);
        await page.tap('#end');
        await sleep(2500);
        const card = await region(page, 0, 100, 800, 100);
        await shot(page, `phone-${name}-card`);
        check(card.b < 60 && card.r < 30 && card.bright < 0.02,
              `${name}: the end control brings the closing card (${card.r.toFixed(0)},${card.g.toFixed(0)},${card.b.toFixed(0)})`);
        await sleep(2000);
        const again = await promptShown(page);
        const endGone = await page.$eval('#end', (e) => getComputedStyle(e).display === 'none');
        check(again === 'watch again' && endGone && fits(await layout(page)),
              `${name}: after the card the page shows "watch again" (${again})`);
      }
      check(errors.length === 0, `${name}: no console errors ${errors.join(' | ')}`);
      await page.close();
    }
  });

  // Faults: each ends in a message on the page, never a black or stuck canvas.
  await part('faults', async () => {
    // The browser takes the WebGL context away while the show runs: the show stops (its sound
    // too) and the page offers a reload, which brings back the prompt.
    await guarded('a lost WebGL context', async () => {
      const page = await browser.newPage();
      await page.setViewport({ width: 1024, height: 768 });
      await page.goto(pageUrl, { waitUntil: 'load' });
      await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
      await page.click('#prompt');
      await sleep(2500);
      await page.evaluate(() => document.getElementById('canvas').getContext('webgl2').getExtension('WEBGL_lose_context').loseContext());
      await sleep(1500);
      const message = await pageMessage(page);
      const sound = await page.evaluate(() => !!Module.quorvaneAudio);
      await shot(page, 'context-lost');
      check(message && /WebGL/.test(message) && /reload/.test(message) && !sound,
            `a lost WebGL context stops the show and says so (${message}; sound ${sound ? 'still playing' : 'stopped'})`);
      if (message) {
        await Promise.all([page.waitForNavigation({ waitUntil: 'load' }), page.click('#message button')]);
        await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
        check((await promptShown(page)) === 'click to start', 'its reload button brings back "click to start"');
      }
      await page.close();
    });

    // A browser without what the page needs: a message saying what is missing and where else
    // the intro is, instead of an empty canvas or a prompt that never starts. (Chromium has no
    // switch that takes WebAssembly away; a browser locked down without it has no
    // `WebAssembly` object, as the page sees here.)
    const withoutWasm = () => { delete window.WebAssembly; };
    for (const [what, flags, prepare, missing] of [['--disable-webgl2', ['--disable-webgl2'], null, 'WebGL 2'],
                                                   ['--disable-webgl', ['--disable-webgl'], null, 'WebGL 2'],
                                                   ['no WebAssembly', [], withoutWasm, 'WebAssembly']]) {
      const lacking = await launch(flags);
      await guarded(what, async () => {
        const page = await lacking.newPage();
        if (prepare) await page.evaluateOnNewDocument(prepare);
        await page.goto(pageUrl, { waitUntil: 'load' });
        await sleep(2000);
        const message = await pageMessage(page);
        const prompt = await promptShown(page);
        check(message && message.includes(missing) && /video/.test(message) && !prompt,
              `${what}: the page says what is missing (${message || 'no message'}${prompt ? `; prompt "${prompt}"` : ''})`);
      });
      await lacking.close();
    }

    // The test hooks refuse values out of range with a notice, and the normal show runs.
    for (const hook of ['frame=-1', 'frame=1e9', 'frame=12.5', 'record-audio=-1', 'record-audio=1e6']) {
      const page = await browser.newPage();
      await guarded(`?${hook}`, async () => {
        const errors = [];
        page.on('pageerror', (e) => errors.push(String(e)));
        await page.goto(`${pageUrl}?${hook}`, { waitUntil: 'load' });
        await page.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
        const notice = await page.evaluate(() => {
          const n = document.getElementById('notice');
          return n && getComputedStyle(n).display !== 'none' ? n.textContent : null;
        });
        await page.click('#prompt');
        await sleep(3000);
        const picture = await region(page, 0, 0, 800, 640);
        const state = await page.evaluate(() => ({ audio: Module.quorvaneAudioContext && Module.quorvaneAudioContext.state,
                                                   virtual: Module.virtualFrame !== undefined }));
        check(notice && notice.includes(`?${hook}`) && state.audio === 'running' && !state.virtual &&
              picture.r + picture.g + picture.b > 5 && errors.length === 0,
              `?${hook}: refused (${notice || 'no notice'}), the show runs (audio ${state.audio}) ${errors.slice(0, 1).join('')}`);
      });
      await page.close();
    }
  });

  await part('compare', async () => {
    const errors = [];
    if (captureDir) {
      // The same frame on the virtual clock, natively and on the page. Allowed: GL rasterisation
      // differences only. Both draw the same texels with nearest sampling and the same blend
      // equation, but a different rasteriser (llvmpipe natively, SwiftShader here) may round a
      // blend one step differently (8-bit alpha blending: +-1 or 2 per channel) and may take the
      // neighbouring texel where a stretched quad's edge falls exactly on a pixel centre. So: the
      // mean difference per channel under 1, and at least 99 % of pixels within 4 of the native
      // value in every channel.
      for (const frame of [0, 300, 2700]) {
        const file = `${captureDir}/frame_${String(frame).padStart(6, '0')}.png`;
        if (!fs.existsSync(file)) { console.log(`skipped: frame ${frame} comparison (no native capture)`); continue; }
        const p = await browser.newPage();
        p.on('pageerror', (e) => errors.push(String(e)));
        await p.goto(`${pageUrl}?frame=${frame}`, { waitUntil: 'load' });
        await p.waitForFunction(() => window.Module && Module.virtualFrame !== undefined, { timeout: 300000 });
        const native = 'data:image/png;base64,' + fs.readFileSync(file).toString('base64');
        const result = await p.evaluate(async (native) => {
          if (!Module.virtualFrame) return null;
          const image = new Image();
          image.src = native;
          await image.decode();
          const c = document.createElement('canvas');
          c.width = 800;
          c.height = 640;
          const g = c.getContext('2d');
          g.drawImage(image, 0, 0);
          const d = g.getImageData(0, 0, 800, 640).data;
          const web = Module.virtualFrame;
          let sum = 0, near = 0, worst = 0;
          for (let i = 0, j = 0; i < d.length; i += 4, j += 3) {
            let pixel = 0;
            for (let k = 0; k < 3; ++k) {
              const diff = Math.abs(d[i + k] - web[j + k]);
              sum += diff;
              pixel = Math.max(pixel, diff);
            }
            if (pixel <= 4) near += 1;
            worst = Math.max(worst, pixel);
          }
          return { mean: sum / (800 * 640 * 3), near: near / (800 * 640), worst };
        }, native);
        await p.close();
        check(result && result.mean < 1 && result.near >= 0.99,
              `frame ${frame} on the virtual clock matches the native capture` +
              (result ? ` (mean difference ${result.mean.toFixed(3)}, ${(100 * result.near).toFixed(2)} % within 4, largest ${result.worst})` : ' (no picture)'));
      }

      // The sound: what the page's audio node plays equals the native chunk renderer's output.
      const wav = `${captureDir}/audio.wav`;
      if (fs.existsSync(wav)) {
        const seconds = 2, frames = 44100 * seconds;
        const p = await browser.newPage();
        await p.goto(`${pageUrl}?record-audio=${seconds}`, { waitUntil: 'load' });
        await p.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
        await p.click('#prompt');
        await p.waitForFunction((n) => Module.quorvaneRecorded && Module.quorvaneRecorded.frames >= n,
                                { timeout: 60000 }, frames);
        const rate = await p.evaluate(() => Module.quorvaneAudioContext.sampleRate);
        const played = await p.evaluate(() => Array.from(Module.quorvaneRecorded.pcm));
        await p.close();
        const bytes = fs.readFileSync(wav);
        let at = 12;
        while (at + 8 <= bytes.length && bytes.toString('ascii', at, at + 4) !== 'data') at += 8 + bytes.readUInt32LE(at + 4);
        let mismatches = 0;
        for (let i = 0; i < 2 * frames; ++i) if (bytes.readInt16LE(at + 8 + 2 * i) !== played[i]) mismatches += 1;
        if (rate !== 44100) console.log(`skipped: sound comparison (the audio context runs at ${rate} Hz)`);
        else check(mismatches === 0, `the first ${seconds} s the page plays equal the native render (${mismatches} samples differ)`);
      } else {
        console.log('skipped: sound comparison (no native capture)');
      }
    }
    check(errors.length === 0, `no page errors in the comparisons ${errors.join(' | ')}`);
  });

  await part('single', async () => {
    // The single file, straight from disk: it loads and starts.
    if (singleUrl) {
      const single = await browser.newPage();
      const singleErrors = [];
      single.on('pageerror', (e) => singleErrors.push(String(e)));
      single.on('console', (m) => { if (m.type() === 'error') singleErrors.push(m.text()); });
      await single.goto(singleUrl, { waitUntil: 'load' });
      await single.waitForFunction(() => window.Module && Module.ready, { timeout: 30000 });
      await single.click('#prompt');
      await sleep(3000);
      const picture = await region(single, 0, 0, 800, 640);
      check(singleErrors.length === 0 && picture.r + picture.g + picture.b > 0,
            `the single file runs from file:// ${singleErrors.join(' | ')}`);
    }
  });
} finally {
  await browser.close();
}
console.log(failures ? `web page test: ${failures} failed` : 'web page test: all passed');
process.exit(failures ? 1 : 0);
