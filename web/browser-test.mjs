// The web page in headless Chromium (Debian's package, SwiftShader WebGL), driven by
// puppeteer-core: node browser-test.mjs PAGE-URL SINGLE-FILE-URL [NATIVE-CAPTURE-DIR]
// NATIVE-CAPTURE-DIR holds the native `--capture` of the same show (frame_NNNNNN.png for the
// frames below and audio.wav): the page's virtual-clock frames and its played sound are
// compared with it.
// Reads the canvas through the page (its drawing buffer is preserved) and compares coarse
// colours of regions, never exact pixels: WebGL rasterisation is not the desktop's.
import { createRequire } from 'module';
const require = createRequire(process.env.NODE_PATH + '/');
const puppeteer = require('puppeteer-core');

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

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: 'new',
  args: ['--no-sandbox', '--use-gl=angle', '--use-angle=swiftshader', '--enable-unsafe-swiftshader',
         '--autoplay-policy=no-user-gesture-required', '--allow-file-access-from-files', '--window-size=1024,768'],
});
try {
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

  await page.click('#prompt');
  await sleep(3000);
  const opening = await region(page, 0, 0, 800, 640);
  await shot(page, 'opening');
  check(await page.$eval('#prompt', (e) => e.classList.contains('hidden')), 'the click hides the prompt');
  const audio = await page.evaluate(() => Module.quorvaneAudioContext && Module.quorvaneAudioContext.state);
  check(audio === 'running', `the audio context runs (${audio})`);

  // Enter and the key word, in the opening: the banner, and its message in warm letters along
  // the bottom line; Enter again clears the word.
  const messageLine = () => region(page, 150, 618, 500, 22);
  const beforeWord = await messageLine();
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
  await shot(page, 'banner');
  check(message.warm > 0.01 && beforeWord.warm < 0.005,
        `Enter + "quorvane" shows the banner's message (warm share ${beforeWord.warm.toFixed(3)} -> ${message.warm.toFixed(3)})`);
  await page.keyboard.press('Enter');
  await sleep(300);


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
  const enlargedPicture = await region(page, 80, 120, 640, 130);
  await page.keyboard.press('Space');
  await sleep(300);
  check(enlarged === '960x768' && (await size()) === '800x640' && enlargedPicture.bright > 0.05,
        `Space enlarges the canvas to the largest 5:4 size and back (${enlarged})`);
  const scrolled = await page.evaluate(() => window.scrollY + document.scrollingElement.scrollTop);
  check(scrolled === 0, 'the page does not scroll');

  // Escape: the closing card fades in over the veil, then the page offers to watch again.
  await page.keyboard.press('Escape');
  await sleep(2500);
  const card = await region(page, 0, 100, 800, 100);
  await shot(page, 'card');
  check(card.b < 60 && card.r < 30 && card.bright < 0.02, `Escape shows the closing card's dark veil (${card.r.toFixed(0)},${card.g.toFixed(0)},${card.b.toFixed(0)})`);
  await sleep(2000);
  const ended = await region(page, 0, 0, 800, 640);
  const again = await page.$eval('#prompt', (e) => !e.classList.contains('hidden') && e.textContent);
  check(again === 'watch again', `after the card the page shows "watch again" (${again})`);
  // Watching again starts the show anew.
  await page.click('#prompt');
  await sleep(3000);
  const restarted = await page.$eval('#prompt', (e) => e.classList.contains('hidden'));
  const second = await region(page, 0, 0, 800, 640);
  await shot(page, 'again');
  check(restarted && differs(second, ended) > 1, '"watch again" starts the show again');
  check(errors.length === 0, `no console errors while the show ran ${errors.join(' | ')}`);
  for (const t of frameTimes) console.log(`page bench: ${t}`);

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
} finally {
  await browser.close();
}
console.log(failures ? `web page test: ${failures} failed` : 'web page test: all passed');
process.exit(failures ? 1 : 0);
