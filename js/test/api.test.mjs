// SPDX-License-Identifier: MIT
// The package through its API, on files built in the test: loading every
// kind of byte container, page facts, turns and their counts, saving fresh
// files and appended updates, closing, and failures as LeafturnErrors.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { createRequire } from 'node:module';
import { open, LeafturnError, version } from 'leafturn';
import { simpleDoc, buildPdf, tempDir, cli, pdfinfoRotations, qpdfCheck, haveTool } from './helpers.mjs';

const require = createRequire(import.meta.url);

test('bytes arrive as Uint8Array, ArrayBuffer, Buffer or any view; other values are TypeErrors', async () => {
  const pdf = simpleDoc(['', '']);
  const copy = new Uint8Array(pdf);
  for (const source of [pdf, copy, copy.buffer, new DataView(copy.buffer), new Uint16Array(copy.buffer, 0, 64)]) {
    if (source instanceof Uint16Array) continue;  // a view of part of a file: not a PDF file
    const doc = await open(source);
    assert.equal(doc.pageCount, 2);
    doc.close();
  }
  await assert.rejects(open('scan.pdf'), TypeError);
  await assert.rejects(open(null), TypeError);
});

test('page facts: own and inherited rotations, displayed sizes and orientation', async () => {
  const doc = await open(simpleDoc(['', ' /Rotate 90', ' /Rotate -90 /CropBox [0 0 300 100]'], ' /Rotate 180'));
  const none = { textDirection: 'none', glyphs: 0, images: [] };
  assert.deepEqual(doc.pages, [
    { number: 1, rotation: 180, ownRotation: null, inheritedRotation: 180, width: 612, height: 792, orientation: 'portrait', ...none },
    { number: 2, rotation: 90, ownRotation: 90, inheritedRotation: 180, width: 792, height: 612, orientation: 'landscape', ...none },
    { number: 3, rotation: 270, ownRotation: 270, inheritedRotation: 180, width: 100, height: 300, orientation: 'portrait', ...none },
  ]);
  assert.ok(Object.isFrozen(doc.pages[0]));
  doc.close();
});

test('turns build on each other and count only the pages that change', async () => {
  const doc = await open(simpleDoc(['', '', '', ' /Rotate 90']));
  assert.equal(doc.rotate({ by: 90, pages: 'odd' }), 2);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [90, 0, 90, 90]);
  assert.equal(doc.rotate({ to: 90 }), 1);  // only page 2 was not at 90
  assert.equal(doc.rotate({ by: -90, pages: [1, 1, 2] }), 2);  // a page listed twice counts once
  assert.equal(doc.rotate({ to: 180, pages: 4 }), 1);
  assert.equal(doc.rotate({ by: 180, pages: 'r1' }), 1);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 0, 90, 0]);
  assert.equal(doc.rotate({ by: 90, pages: new Set([2, 3]) }), 2);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 90, 180, 0]);
  doc.close();
});

test('only landscape or portrait pages among the chosen ones', async () => {
  const doc = await open(simpleDoc(['', ' /MediaBox [0 0 800 600]', ' /MediaBox [0 0 800 600]']));
  assert.equal(doc.rotate({ by: 90, only: 'landscape' }), 2);
  assert.deepEqual(doc.pages.map((p) => p.orientation), ['portrait', 'portrait', 'portrait']);
  assert.equal(doc.rotate({ to: 0, pages: '1-2', only: 'portrait' }), 1);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 0, 90]);
  assert.throws(() => doc.rotate({ by: 90, only: 'square' }), RangeError);
  doc.close();
});

test('a wrong turn is a TypeError or RangeError; a page outside the document the library\'s message', async () => {
  const doc = await open(simpleDoc(['', '']));
  assert.throws(() => doc.rotate({}), TypeError);
  assert.throws(() => doc.rotate({ by: 90, to: 0 }), TypeError);
  assert.throws(() => doc.rotate({ by: 45 }), RangeError);
  assert.throws(() => doc.rotate({ to: -90 }), RangeError);
  assert.throws(() => doc.rotate({ by: 90, pages: [1.5] }), TypeError);
  for (const [pages, message] of [[[3], 'page 3 out of range (document has 2 pages)'],
    [[0], 'page 0 out of range (document has 2 pages)'],
    ['1-5', 'page 5 out of range (document has 2 pages)'],
    [[2 ** 40], 'page 1099511627776 out of range (document has 2 pages)']]) {
    assert.throws(() => doc.rotate({ by: 90, pages }), (e) => e instanceof LeafturnError && e.message === message);
  }
  assert.throws(() => doc.rotate({ by: 90, pages: '1,,2' }), LeafturnError);
  // The whole text is read: a NUL inside it is not an end.
  assert.throws(() => doc.rotate({ by: 90, pages: '1\u00002' }), LeafturnError);
  // Nothing turned by the failed calls.
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 0]);
  doc.close();
});

test('saving: the input unchanged, the command line\'s fresh file, an appended update', async (t) => {
  const dir = tempDir();
  const input = simpleDoc(['', ' /Rotate 270', ''], '', ' /Info 6 0 R', ['<< /Title (Turned) >>']);
  const inPath = path.join(dir, 'in.pdf');
  fs.writeFileSync(inPath, input);
  const doc = await open(input);
  assert.deepEqual(Buffer.from(doc.save()), input);
  doc.rotate({ by: 90, pages: '1,2' });
  const fresh = doc.save();
  assert.ok(fresh instanceof Uint8Array);
  const r = cli(['rotate', inPath, '-', '--by', '90', '--pages', '1,2', '--full']);
  assert.equal(r.status, 0, r.stderr);
  assert.deepEqual(Buffer.from(fresh), r.stdout);
  const update = doc.save({ incremental: true });
  assert.deepEqual(Buffer.from(update.subarray(0, input.length)), input);
  const u = cli(['rotate', inPath, '-', '--by', '90', '--pages', '1,2', '--incremental']);
  assert.deepEqual(Buffer.from(update), u.stdout);
  // Turns go on after a save.
  doc.rotate({ by: 90, pages: 3 });
  assert.deepEqual(doc.pages.map((p) => p.rotation), [90, 0, 90]);
  assert.deepEqual(doc.info, { Title: 'Turned' });
  doc.close();
  if (!haveTool('pdfinfo') || !haveTool('qpdf')) return t.skip('pdfinfo and qpdf are needed');
  for (const [name, bytes] of [['fresh.pdf', fresh], ['update.pdf', update]]) {
    const file = path.join(dir, name);
    fs.writeFileSync(file, bytes);
    assert.deepEqual(pdfinfoRotations(file), [90, 0, 0], name);
    assert.equal(qpdfCheck(file), 0, name);
  }
});

test('document information decoded as readers do; signatures and updates reported', async () => {
  const utf16 = 'feff00c9007400e9';  // "Été" in UTF-16BE
  const doc = await open(simpleDoc([''], '', ' /Info 4 0 R',
    [`<< /Title <${utf16}> /Author (A \\(B\\) \\351) /Count 3 >>`]));
  assert.deepEqual(doc.info, { Title: 'Été', Author: 'A (B) é' });
  assert.equal(doc.signatures, 0);
  assert.equal(doc.certified, false);
  assert.equal(doc.updateRefusal, null);
  assert.equal(doc.updatesByDefault, false, 'an unsigned file gets a fresh file by default');
  assert.throws(() => doc.rotate({ by: 45 }), { name: 'RangeError', message: 'by takes 90, 180, 270, -90, -180 or -270 (got 45)' });
  assert.throws(() => doc.rotate({ to: 90.5 }), { name: 'RangeError', message: 'to takes 0, 90, 180 or 270 (got 90.5)' });
  assert.throws(() => doc.rotate({ by: 90, pages: [2 ** 40] }),
    { name: 'LeafturnError', message: `page ${2 ** 40} out of range (document has 1 pages)` });
  doc.close();
  const none = await open(simpleDoc(['']));
  assert.deepEqual(none.info, {});
  none.close();
});

test('bad bytes reject with the library\'s message and the module stays usable', async () => {
  const good = simpleDoc(['']);
  const cases = [
    [new Uint8Array(0), 'empty input file: (memory)'],
    [Buffer.from('<!DOCTYPE html><html><body>404 Not Found</body></html>'), null],
    [good.subarray(0, 40), null],
    [Buffer.from(good.toString('latin1').replace('/Type /Catalog', '/Type /Catalo').replace(/\/Type \/Pages/, '/Type /Pagez'), 'latin1'), null],
    [buildPdf(['<< /Type /Catalog /Pages 2 0 R >>', '<< /Type /Pages /Kids [] /Count 0 >>'], ' /Encrypt 3 0 R'), null],
  ];
  for (const [bytes, message] of cases) {
    const e = await open(bytes).then(() => null, (err) => err);
    assert.ok(e instanceof LeafturnError, String(e));
    assert.equal(e.name, 'LeafturnError');
    assert.ok(e.message.length > 0);
    if (message) assert.equal(e.message, message);
    // The same message as the command line's, for the same bytes.
    const r = cli(['info', '-'], bytes);
    assert.notEqual(r.status, 0);
    assert.equal(e.message, r.stderr.trim().replace(/^leafturn: /, '').replace('(standard input)', '(memory)'));
  }
  let seed = 7;
  for (let k = 0; k < 200; k++) {
    const junk = Buffer.from(good);
    for (let j = 0; j < 12; j++) {
      seed = (seed * 1103515245 + 12345) & 0x7fffffff;
      junk[seed % junk.length] = seed & 0xff;
    }
    try {
      const d = await open(junk);
      d.rotate({ by: 90 });
      d.save();
      d.close();
    } catch (e) {
      assert.ok(e instanceof LeafturnError, String(e));
    }
  }
  const doc = await open(good);
  assert.equal(doc.pageCount, 1);
  doc.close();
});

test('messages name the file as the caller names it', async () => {
  const e = await open(Buffer.from('%PDF-1.4\nnothing here\n'), { name: 'scan é.pdf' }).catch((x) => x);
  assert.equal(e.message, 'no PDF objects found \u2014 not a PDF: scan é.pdf');
  const empty = await open(new Uint8Array(0), { name: 'empty.pdf' }).catch((x) => x);
  assert.equal(empty.message, 'empty input file: empty.pdf');
  const enc = await open(buildPdf(['<< /Type /Catalog /Pages 2 0 R >>', '<< /Type /Pages /Kids [] /Count 0 >>'],
    ' /Encrypt 3 0 R'), { name: 'locked.pdf' }).catch((x) => x);
  assert.equal(enc.message, 'locked.pdf is encrypted, but its encryption dictionary is missing');
});

test('a closed document refuses every use; closing twice is harmless', async () => {
  const doc = await open(simpleDoc(['']));
  doc.close();
  doc.close();
  assert.throws(() => doc.pageCount, LeafturnError);
  assert.throws(() => doc.rotate({ by: 90 }), LeafturnError);
  assert.throws(() => doc.save(), LeafturnError);
});

test('the CommonJS entry is the same API', async () => {
  const cjs = require('leafturn');
  assert.equal(cjs.version, version);
  assert.match(version, /^\d+\.\d+\.\d+$/);
  const doc = await cjs.open(simpleDoc(['', '']));
  assert.equal(doc.rotate({ by: 90, pages: 'even' }), 1);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 90]);
  await assert.rejects(cjs.open(new Uint8Array([37])), cjs.LeafturnError);
  doc.close();
});

test('text directions, and pages turned upright', async () => {
  const line = '(The quick brown fox jumps over the lazy dog.)';
  const matrices = ['1 0 0 1 72 700', '0 -1 1 0 72 700', '-1 0 0 -1 500 100', '0 1 -1 0 500 100'];
  const n = matrices.length;
  const pdf = buildPdf([
    '<< /Type /Catalog /Pages 2 0 R >>',
    `<< /Type /Pages /Kids [${matrices.map((_, k) => `${k + 3} 0 R`).join(' ')}] /Count ${n} /MediaBox [0 0 612 792] /Resources << /Font << /F1 ${3 + 2 * n} 0 R >> >> >>`,
    ...matrices.map((_, k) => `<< /Type /Page /Parent 2 0 R /Contents ${3 + n + k} 0 R >>`),
    ...matrices.map((m) => {
      const data = `BT /F1 12 Tf ${m} Tm ${line} Tj ET`;
      return `<< /Length ${data.length} >>\nstream\n${data}\nendstream`;
    }),
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
  ]);
  const doc = await open(pdf);
  assert.deepEqual(doc.pages.map((p) => [p.textDirection, p.glyphs]),
    [['up', 44], ['right', 44], ['down', 44], ['left', 44]]);
  assert.equal(doc.upright({ pages: '2-3' }), 2);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 270, 180, 0]);
  assert.equal(doc.upright(), 1);
  assert.deepEqual(doc.pages.map((p) => p.textDirection), ['up', 'up', 'up', 'up']);
  assert.throws(() => doc.upright({ pages: 9 }), { message: 'page 9 out of range (document has 4 pages)' });
  const again = await open(doc.save());
  assert.deepEqual(again.pages.map((p) => p.rotation), [0, 270, 180, 90]);
  again.close();
  doc.close();
});
