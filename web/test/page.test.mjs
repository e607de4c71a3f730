// SPDX-License-Identifier: MIT
// The built page in headless Chromium, served from a local static server:
// a corpus file is chosen, its thumbnails drawn, pages turned with clicks
// and the keyboard, and the download checked with pdfinfo and qpdf and
// against the command line's output for the same turns; files the library
// refuses show its message. A screenshot goes to the page's folder.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';
import { signedPdf, pdfsigValid } from '../../js/test/helpers.mjs';

const SITE = path.resolve(process.env.LEAFTURN_WEB || 'build-web');
const CORPUS = process.env.LEAFTURN_CORPUS;
const CLI = process.env.LEAFTURN_CLI;
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'leafturn-web-'));
const TYPES = { '.html': 'text/html', '.mjs': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.png': 'image/png', '.svg': 'image/svg+xml' };

let server;
let browser;
let base;

before(async () => {
  server = http.createServer((req, res) => {
    const rel = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = path.join(SITE, rel.endsWith('/') ? rel + 'index.html' : rel);
    if (!file.startsWith(SITE) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      res.writeHead(404);
      res.end();
      return;
    }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  base = `http://127.0.0.1:${server.address().port}/`;
  browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    // Headless, in a fresh profile of Playwright's; no connections of
    // Chromium's own (this machine has no network to give them).
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
});

after(async () => {
  if (browser) await browser.close();
  if (server) server.close();
});

// A fresh page with every script error and failed request collected.
async function newPage() {
  const context = await browser.newContext({ acceptDownloads: true, reducedMotion: 'reduce',
    viewport: { width: 1100, height: 760 } });
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (e) => problems.push('page error: ' + e.message));
  page.on('requestfailed', (r) => problems.push('request failed: ' + r.url()));
  page.on('response', (r) => {
    if (r.status() >= 400) problems.push(`${r.status()} for ${r.url()}`);
  });
  page.on('request', (r) => {
    if (!r.url().startsWith(base) && !r.url().startsWith('blob:') && !r.url().startsWith('data:'))
      problems.push('left the page: ' + r.url());
  });
  await page.goto(base);
  return { page, problems };
}

const rotations = (page) => page.$$eval('[data-page]', (els) => els.map((e) => Number(e.dataset.rotation)));

// Turns are made by the page's worker: wait until the pages show these
// rotations (or time out and compare what they show).
async function expectRotations(page, expected) {
  await page.waitForFunction((want) => {
    const got = [...document.querySelectorAll('[data-page]')].map((e) => Number(e.dataset.rotation));
    return got.length === want.length && got.every((v, k) => v === want[k]);
  }, expected, { timeout: 10000 }).catch(() => {});
  assert.deepEqual(await rotations(page), expected);
}

function pdfinfoRotations(file, password = '') {
  const text = execFileSync('pdfinfo', ['-upw', password, '-f', '1', '-l', '100000', file]).toString();
  return [...text.matchAll(/^Page +\d+ rot: +(\d+)/gm)].map((m) => Number(m[1]));
}

test('a file is shown, turned with clicks and keys, and saved as the command line would', async () => {
  const name = '004-pdflatex-4-pages_pdflatex-4-pages.pdf';
  const input = path.join(CORPUS, name);
  const { page, problems } = await newPage();
  await page.setInputFiles('#file', input);
  await page.waitForFunction(() => document.querySelectorAll('[data-page] canvas').length === 4,
    null, { timeout: 30000 });
  assert.deepEqual(await rotations(page), [0, 0, 0, 0]);
  // The thumbnails are drawn: not a blank canvas.
  const inked = await page.$eval('[data-page="1"] canvas', (c) => {
    const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
    let dark = 0;
    for (let k = 0; k < d.length; k += 4) if (d[k] < 200) dark++;
    return dark;
  });
  assert.ok(inked > 50, `page 1's thumbnail has ${inked} dark pixels`);

  await page.click('[data-page="1"] button[data-turn="90"]');
  await page.click('[data-page="2"] button[data-turn="-90"]');
  await page.focus('[data-page="3"] button[data-turn="90"]');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Space');
  await page.selectOption('#which', 'even');
  await page.click('#turn-right');
  await expectRotations(page, [90, 0, 180, 90]);
  const transform = await page.$eval('[data-page="3"] canvas', (c) => c.style.transform);
  assert.equal(transform, 'rotate(180deg)');
  // Every control has a name a screen reader can say.
  const unnamed = await page.$$eval('button, select, input', (els) =>
    els.filter((e) => !(e.getAttribute('aria-label') || e.labels?.length || e.textContent.trim())).length);
  assert.equal(unnamed, 0);
  await page.screenshot({ path: path.join(SITE, 'screenshot.png') });

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  assert.equal(download.suggestedFilename(), '004-pdflatex-4-pages_pdflatex-4-pages-turned.pdf');
  const saved = path.join(scratch, 'saved.pdf');
  await download.saveAs(saved);
  assert.deepEqual(pdfinfoRotations(saved), [90, 0, 180, 90]);
  assert.equal(spawnSync('qpdf', ['--check', saved]).status, 0);
  const cli = spawnSync(CLI, ['rotate', input, '-', '--by', '90', '--pages', '1', '--by', '-90', '--pages', '2',
    '--by', '180', '--pages', '3', '--by', '90', '--pages', 'even']);
  assert.equal(cli.status, 0, cli.stderr.toString());
  assert.ok(fs.readFileSync(saved).equals(cli.stdout), 'the download differs from the command line\'s output');

  // The same turns appended as an update: the input's bytes stay.
  await page.check('#incremental');
  const [update] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const appended = path.join(scratch, 'appended.pdf');
  await update.saveAs(appended);
  const original = fs.readFileSync(input);
  assert.ok(fs.readFileSync(appended).subarray(0, original.length).equals(original));
  assert.deepEqual(pdfinfoRotations(appended), [90, 0, 180, 90]);
  assert.equal(await page.isHidden('#error'), true);
  assert.deepEqual(problems, []);
});

test('landscape and portrait pages are turned by their shape', async () => {
  const { page, problems } = await newPage();
  // Pages at 90, 180, 270 and 0: landscape, portrait, landscape, portrait.
  await page.setInputFiles('#file', path.join(CORPUS, '015-arabic_habibi-rotated.pdf'));
  await page.waitForFunction(() => document.querySelectorAll('[data-page] canvas').length === 4,
    null, { timeout: 30000 });
  assert.deepEqual(await rotations(page), [90, 180, 270, 0]);
  await page.selectOption('#which', 'landscape');
  await page.click('#turn-left');
  await expectRotations(page, [0, 180, 180, 0]);
  await page.selectOption('#which', 'portrait');
  await page.click('#turn-right');
  await expectRotations(page, [90, 270, 270, 90]);
  assert.deepEqual(problems, []);
});

test('a 100 MB file is turned and saved whole', async () => {
  // Three pages and 100 MB of stream data they do not draw.
  const bulk = 100 * 1024 * 1024;
  const objs = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    '<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 612 792] >>',
    '<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>',
    '<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Rotate 90 >>',
    '<< /Type /Page /Parent 2 0 R /Contents 6 0 R /Bulk 7 0 R >>',
  ];
  const parts = [Buffer.from('%PDF-1.4\n', 'latin1')];
  let size = parts[0].length;
  const offsets = [];
  const add = (b) => { parts.push(b); size += b.length; };
  objs.forEach((o, k) => { offsets.push(size); add(Buffer.from(`${k + 1} 0 obj\n${o}\nendobj\n`, 'latin1')); });
  const draw = '0 0 1 rg 72 72 468 648 re f';
  offsets.push(size);
  add(Buffer.from(`6 0 obj\n<< /Length ${draw.length} >>\nstream\n${draw}\nendstream\nendobj\n`, 'latin1'));
  offsets.push(size);
  add(Buffer.from(`7 0 obj\n<< /Length ${bulk} >>\nstream\n`, 'latin1'));
  add(Buffer.alloc(bulk, 0x41));
  add(Buffer.from('\nendstream\nendobj\n', 'latin1'));
  const xref = size;
  add(Buffer.from(`xref\n0 8\n0000000000 65535 f \n${offsets.map((o) => String(o).padStart(10, '0') + ' 00000 n \n').join('')}` +
    `trailer\n<< /Size 8 /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`, 'latin1'));
  const big = path.join(scratch, 'big.pdf');
  fs.writeFileSync(big, Buffer.concat(parts));

  const { page, problems } = await newPage();
  await page.setInputFiles('#file', big);
  await page.waitForFunction(() => document.querySelectorAll('[data-page] canvas').length === 3,
    null, { timeout: 60000 });
  assert.deepEqual(await rotations(page), [0, 90, 0]);
  await page.click('[data-page="3"] button[data-turn="-90"]');
  await expectRotations(page, [0, 90, 270]);
  const [download] = await Promise.all([page.waitForEvent('download', { timeout: 60000 }), page.click('#save')]);
  const saved = path.join(scratch, 'big-turned.pdf');
  await download.saveAs(saved);
  assert.ok(fs.statSync(saved).size > bulk);
  assert.deepEqual(pdfinfoRotations(saved), [0, 90, 270]);
  assert.equal(spawnSync('qpdf', ['--check', saved]).status, 0);
  assert.deepEqual(problems, []);
});

// A file encrypted with a handler the library does not read.
function foreignHandler(name) {
  const file = path.join(scratch, name);
  fs.writeFileSync(file, '%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n' +
    '2 0 obj\n<< /Type /Pages /Kids [] /Count 0 >>\nendobj\n' +
    'trailer\n<< /Root 1 0 R /Encrypt << /Filter /FooSec /V 1 >> >>\n%%EOF\n');
  return file;
}
const foreignMessage = (name) =>
  `${name} is encrypted with the handler /FooSec, which is not supported (only the standard password handler is)`;

test('files the library refuses show its message, and the page stays usable', async () => {
  const { page, problems } = await newPage();
  await page.setInputFiles('#file', foreignHandler('foreign.pdf'));
  await page.waitForSelector('#error:not([hidden])');
  assert.equal(await page.textContent('#error'), foreignMessage('foreign.pdf'));
  assert.equal(await page.$$eval('[data-page]', (els) => els.length), 0);

  const html = path.join(scratch, 'download.pdf');
  fs.writeFileSync(html, '<!DOCTYPE html><html><body><h1>502 Bad Gateway</h1></body></html>\n');
  await page.setInputFiles('#file', html);
  await page.waitForFunction(() => document.querySelector('#error').textContent.includes('download.pdf'));
  assert.equal(await page.textContent('#error'), 'no PDF objects found \u2014 not a PDF: download.pdf');

  await page.setInputFiles('#file', path.join(CORPUS, '001-trivial_minimal-document.pdf'));
  await page.waitForSelector('[data-page="1"]');
  assert.equal(await page.isHidden('#error'), true);
  assert.deepEqual(problems, []);
});

test('each file chosen replaces the one before, whatever came before', async () => {
  const { page, problems } = await newPage();
  const thumbnails = (n) => page.waitForFunction((want) =>
    document.querySelectorAll('[data-page]').length === want &&
    document.querySelectorAll('[data-page] canvas').length === want, n, { timeout: 30000 });
  const errorText = () => page.$eval('#error', (e) => (e.hidden ? null : e.textContent));
  const open = async (file, pages, expected) => {
    await page.setInputFiles('#file', file);
    if (expected === undefined) {
      await thumbnails(pages);
      assert.equal(await errorText(), null);
    } else {
      await page.waitForFunction((want) => document.querySelector('#error').textContent === want,
        expected, { timeout: 30000 }).catch(() => {});
      assert.equal(await errorText(), expected);
      assert.equal(await page.$$eval('[data-page]', (els) => els.length), 0);
    }
  };
  const html = path.join(scratch, 'page.pdf');
  fs.writeFileSync(html, '<!DOCTYPE html><html><body>not found</body></html>\n');
  const encrypted = foreignHandler('foreign-after.pdf');

  // Good after good: the second file's pages, drawn, with their own rotations.
  await open(path.join(CORPUS, '004-pdflatex-4-pages_pdflatex-4-pages.pdf'), 4);
  await page.click('[data-page="2"] button[data-turn="90"]');
  await expectRotations(page, [0, 90, 0, 0]);
  await open(path.join(CORPUS, '015-arabic_habibi-rotated.pdf'), 4);
  assert.deepEqual(await rotations(page), [90, 180, 270, 0]);
  assert.match(await page.textContent('#status'), /^015-arabic_habibi-rotated\.pdf: 4 pages$/);
  // Bad after good: the library's message, and nothing of the file before.
  await open(html, 0, 'no PDF objects found \u2014 not a PDF: page.pdf');
  assert.equal(await page.isHidden('#tools'), true);
  // Good after bad, encrypted after good, good after encrypted.
  await open(path.join(CORPUS, '001-trivial_minimal-document.pdf'), 1);
  await open(encrypted, 0, foreignMessage('foreign-after.pdf'));
  await open(path.join(CORPUS, '004-pdflatex-4-pages_pdflatex-4-pages.pdf'), 4);
  assert.deepEqual(await rotations(page), [0, 0, 0, 0]);
  // The file that is open now is the one saved.
  await page.click('[data-page="4"] button[data-turn="-90"]');
  await expectRotations(page, [0, 0, 0, 270]);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  assert.equal(download.suggestedFilename(), '004-pdflatex-4-pages_pdflatex-4-pages-turned.pdf');
  const saved = path.join(scratch, 'after-several.pdf');
  await download.saveAs(saved);
  assert.deepEqual(pdfinfoRotations(saved), [0, 0, 0, 270]);

  // A file dropped on the page replaces the chosen one too.
  const bytes = fs.readFileSync(path.join(CORPUS, '015-arabic_habibi-rotated.pdf')).toString('base64');
  const transfer = await page.evaluateHandle((b64) => {
    const data = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
    const t = new DataTransfer();
    t.items.add(new File([data], 'dropped.pdf', { type: 'application/pdf' }));
    return t;
  }, bytes);
  await page.dispatchEvent('main', 'drop', { dataTransfer: transfer });
  await thumbnails(4);
  assert.deepEqual(await rotations(page), [90, 180, 270, 0]);
  assert.match(await page.textContent('#status'), /^dropped\.pdf: 4 pages$/);
  assert.deepEqual(problems, []);
});

test('an encrypted file asks for its password, opens with it and saves encrypted', async () => {
  const { page, problems } = await newPage();
  const input = path.join(scratch, 'locked.pdf');
  execFileSync('qpdf', ['--encrypt', 'user', 'owner', '256', '--', '--object-streams=generate',
    path.join(CORPUS, '004-pdflatex-4-pages_pdflatex-4-pages.pdf'), input]);
  await page.setInputFiles('#file', input);
  await page.waitForSelector('#unlock:not([hidden])');
  assert.equal(await page.textContent('#password-label'), 'locked.pdf needs its password to be read (give it with the password option)');
  assert.equal(await page.$$eval('[data-page]', (els) => els.length), 0);
  await page.fill('#password', 'wrong');
  await page.click('#unlock-button');
  await page.waitForSelector('#error:not([hidden])');
  assert.equal(await page.textContent('#error'), 'the password given does not open locked.pdf');
  await page.fill('#password', 'user');
  await page.press('#password', 'Enter');
  await page.waitForFunction(() => document.querySelectorAll('[data-page] canvas').length === 4,
    null, { timeout: 30000 });
  assert.equal(await page.isHidden('#unlock'), true);
  assert.equal(await page.isHidden('#error'), true);
  await page.click('[data-page="1"] button[data-turn="90"]');
  await expectRotations(page, [90, 0, 0, 0]);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const saved = path.join(scratch, 'locked-saved.pdf');
  await download.saveAs(saved);
  assert.deepEqual(pdfinfoRotations(saved, 'user'), [90, 0, 0, 0]);
  const show = (f) => spawnSync('qpdf', ['--password=user', '--show-encryption', f]).stdout.toString();
  assert.equal(show(saved), show(input));
  assert.equal(spawnSync('qpdf', ['--password=user', '--check', saved]).status, 0);
  assert.deepEqual(problems, []);
});

test('Upright shows which pages it would turn, and turns them', async () => {
  const line = '(The quick brown fox jumps over the lazy dog.)';
  const matrices = ['1 0 0 1 72 700', '0 -1 1 0 72 700', '-1 0 0 -1 500 100', '0 1 -1 0 500 100'];
  const n = matrices.length;
  const bodies = [
    '<< /Type /Catalog /Pages 2 0 R >>',
    `<< /Type /Pages /Kids [${matrices.map((_, k) => `${k + 3} 0 R`).join(' ')}] /Count ${n} /MediaBox [0 0 612 792] /Resources << /Font << /F1 ${3 + 2 * n} 0 R >> >> >>`,
    ...matrices.map((_, k) => `<< /Type /Page /Parent 2 0 R /Contents ${3 + n + k} 0 R >>`),
    ...matrices.map((m) => {
      const data = `BT /F1 12 Tf ${m} Tm ${line} Tj ET`;
      return `<< /Length ${data.length} >>\nstream\n${data}\nendstream`;
    }),
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
  ];
  let pdf = '%PDF-1.4\n';
  const offsets = bodies.map((body, k) => {
    const at = pdf.length;
    pdf += `${k + 1} 0 obj\n${body}\nendobj\n`;
    return at;
  });
  const xref = pdf.length;
  pdf += `xref\n0 ${bodies.length + 1}\n0000000000 65535 f \n` +
    offsets.map((o) => `${String(o).padStart(10, '0')} 00000 n \n`).join('') +
    `trailer\n<< /Size ${bodies.length + 1} /Root 1 0 R >>\nstartxref\n${xref}\n%%EOF\n`;
  const input = path.join(scratch, 'sideways.pdf');
  fs.writeFileSync(input, pdf, 'latin1');

  const { page, problems } = await newPage();
  await page.setInputFiles('#file', input);
  await page.waitForSelector('[data-page="4"]');
  const texts = () => page.$$eval('[data-page]', (els) => els.map((e) => e.dataset.text));
  assert.deepEqual(await texts(), ['up', 'right', 'down', 'left']);
  assert.equal(await page.$$eval('[data-page].sideways', (els) => els.length), 3);
  assert.equal(await page.textContent('#upright'), 'Upright (3 pages)');
  // Upright over landscape pages only: the library keeps those (its shape
  // as displayed: none of the four is landscape).
  await page.selectOption('#which', 'landscape');
  await page.click('#upright');
  await page.selectOption('#which', 'all');
  // The worker answers in order: once a turn of page 1 by 90 and back
  // shows, the upright before it was answered.
  await page.click('[data-page="1"] button[data-turn="90"]');
  await expectRotations(page, [90, 0, 0, 0]);
  await page.click('[data-page="1"] button[data-turn="-90"]');
  await expectRotations(page, [0, 0, 0, 0]);
  await page.click('#upright');
  await expectRotations(page, [0, 270, 180, 90]);
  assert.deepEqual(await texts(), ['up', 'up', 'up', 'up']);
  assert.equal(await page.textContent('#upright'), 'Upright');
  // Pages 2 and 4 show landscape now: turning landscape pages right turns
  // just them; then every page shows portrait, so upright over landscape
  // pages turns none, and over portrait pages turns 2 and 4 upright again.
  await page.selectOption('#which', 'landscape');
  await page.click('#turn-right');
  await expectRotations(page, [0, 0, 180, 180]);
  await page.click('#upright');
  await expectRotations(page, [0, 0, 180, 180]);
  await page.selectOption('#which', 'portrait');
  await page.click('#upright');
  await expectRotations(page, [0, 270, 180, 90]);
  await page.selectOption('#which', 'all');
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const saved = path.join(scratch, 'uprighted.pdf');
  await download.saveAs(saved);
  assert.deepEqual(pdfinfoRotations(saved), [0, 270, 180, 90]);
  assert.deepEqual(problems, []);
});

test('a signed file: the library says a save is an update, and a save without a choice is one', async () => {
  const signed = signedPdf(scratch);
  const input = path.join(scratch, 'signed.pdf');
  fs.writeFileSync(input, signed);
  const { page, problems } = await newPage();
  await page.setInputFiles('#file', input);
  await page.waitForSelector('[data-page="2"]');
  // The box shows the library's answer (its updatesByDefault): checked.
  await page.waitForFunction(() => document.getElementById('incremental').checked, null, { timeout: 10000 });
  assert.equal(await page.isDisabled('#incremental'), false);
  await page.click('[data-page="2"] button[data-turn="90"]');
  await expectRotations(page, [0, 90]);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const saved = path.join(scratch, 'signed-saved.pdf');
  await download.saveAs(saved);
  assert.equal(await page.getAttribute('#save', 'data-wrote'), 'update');
  assert.ok(fs.readFileSync(saved).subarray(0, signed.length).equals(signed), 'the input\'s bytes stay');
  assert.ok(pdfsigValid(saved), 'the signature stays valid');
  const cli = spawnSync(CLI, ['rotate', input, '-', '--by', '90', '--pages', '2']);
  assert.ok(fs.readFileSync(saved).equals(cli.stdout), 'the command line decides alike');
  // A fresh file when the box is cleared: the signature no longer holds.
  await page.uncheck('#incremental');
  const [fresh] = await Promise.all([page.waitForEvent('download'), page.click('#save')]);
  const full = path.join(scratch, 'signed-full.pdf');
  await fresh.saveAs(full);
  assert.equal(await page.getAttribute('#save', 'data-wrote'), 'full');
  assert.ok(!pdfsigValid(full));
  assert.deepEqual(pdfinfoRotations(full), [0, 90]);
  // An unsigned file: the box is clear, and a save is a fresh file.
  await page.setInputFiles('#file', path.join(CORPUS, '004-pdflatex-4-pages_pdflatex-4-pages.pdf'));
  await page.waitForSelector('[data-page="4"]');
  await page.waitForFunction(() => !document.getElementById('incremental').checked, null, { timeout: 10000 });
  assert.deepEqual(problems, []);
});
