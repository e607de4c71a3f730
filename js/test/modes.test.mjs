// SPDX-License-Identifier: MIT
// What a save writes, as every front end decides it: without `incremental`
// a fresh file, except for a signed file, which gets an update that keeps
// its signature (judged by pdfsig and against the command line's bytes); a
// certified file refused unless forced; upright over landscape or portrait
// pages only.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { open, LeafturnError } from 'leafturn';
import { buildPdf, cli, haveTool, pdfinfoRotations, pdfsigValid, signedPdf, simpleDoc, tempDir } from './helpers.mjs';

test('a signed file gets an update unless a fresh file is asked for', async (t) => {
  if (!haveTool('openssl') || !haveTool('pdfsig')) return t.skip('openssl and pdfsig are needed');
  const dir = tempDir();
  const signed = signedPdf(dir);
  const src = path.join(dir, 'signed.pdf');
  fs.writeFileSync(src, signed);
  assert.ok(pdfsigValid(src));
  const doc = await open(signed, { name: 'signed.pdf' });
  assert.equal(doc.signatures, 1);
  assert.equal(doc.updatesByDefault, true);
  assert.equal(doc.lastSave, null);
  assert.deepEqual(Buffer.from(doc.save()), signed, 'nothing turned: the file itself');
  assert.equal(doc.lastSave, 'unchanged');
  assert.equal(doc.rotate({ by: 90, pages: 2 }), 1);
  const update = Buffer.from(doc.save());
  assert.equal(doc.lastSave, 'update');
  assert.ok(update.subarray(0, signed.length).equals(signed) && update.length > signed.length);
  const theirs = cli(['rotate', src, '-', '--by', '90', '--pages', '2']);
  assert.equal(theirs.status, 0, theirs.stderr);
  assert.deepEqual(update, theirs.stdout, 'the command line decides alike');
  assert.deepEqual(Buffer.from(doc.save({ incremental: true })), update);
  const saved = path.join(dir, 'saved.pdf');
  fs.writeFileSync(saved, update);
  assert.ok(pdfsigValid(saved));
  const full = Buffer.from(doc.save({ incremental: false }));
  assert.equal(doc.lastSave, 'full');
  const fresh = path.join(dir, 'fresh.pdf');
  fs.writeFileSync(fresh, full);
  assert.ok(!pdfsigValid(fresh), 'a fresh file breaks the signature');
  assert.deepEqual(pdfinfoRotations(saved), [0, 90]);
  doc.close();

  const plain = await open(simpleDoc(['', '']));
  assert.equal(plain.updatesByDefault, false);
  plain.rotate({ by: 90 });
  assert.deepEqual(plain.save(), plain.save({ incremental: false }));
  assert.equal(plain.lastSave, 'full');
  plain.close();
});

test('a certified file is refused unless forced: force: true', async (t) => {
  if (!haveTool('openssl')) return t.skip('openssl is needed');
  const dir = tempDir();
  const certified = signedPdf(dir, ' /Perms << /DocMDP 5 0 R >>');
  const src = path.join(dir, 'certified.pdf');
  fs.writeFileSync(src, certified);
  const doc = await open(certified, { name: src });
  assert.equal(doc.certified, true);
  doc.rotate({ by: 90 });
  const why = `${src} is certified: its certification forbids changing its pages (force: true turns them all the same)`;
  for (const options of [{}, { incremental: true }, { incremental: false }])
    assert.throws(() => doc.save(options), (e) => e instanceof LeafturnError && e.message === why);
  const theirs = cli(['rotate', src, path.join(dir, 'never.pdf'), '--by', '90']);
  assert.equal(theirs.stderr, 'leafturn: ' + why.replace('force: true', '--force') + '\n');
  const forced = Buffer.from(doc.save({ force: true }));
  assert.equal(doc.lastSave, 'update');
  assert.ok(forced.subarray(0, certified.length).equals(certified));
  assert.deepEqual(forced, cli(['rotate', src, '-', '--by', '90', '--force']).stdout);
  doc.close();
});

// One page per entry: its media box and a line of 44 glyphs whose text
// matrix makes it run as given.
function textPages(pages) {
  const line = '(The quick brown fox jumps over the lazy dog.)';
  const n = pages.length;
  const font = 3 + 2 * n;
  return buildPdf([
    '<< /Type /Catalog /Pages 2 0 R >>',
    `<< /Type /Pages /Kids [${pages.map((_, k) => `${k + 3} 0 R`).join(' ')}] /Count ${n} >>`,
    ...pages.map(([box], k) => `<< /Type /Page /Parent 2 0 R /MediaBox [${box}] /Contents ${3 + n + k} 0 R ` +
      `/Resources << /Font << /F1 ${font} 0 R >> >> >>`),
    ...pages.map(([, matrix]) => {
      const data = `BT /F1 12 Tf ${matrix} Tm ${line} Tj ET`;
      return `<< /Length ${data.length} >>\nstream\n${data}\nendstream`;
    }),
    '<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>',
  ]);
}

test('upright takes only: landscape or portrait pages', async () => {
  // Every page's text runs right (tops right): two portrait, two landscape.
  const right = '0 -1 1 0 72 500';
  const doc = await open(textPages([['0 0 612 792', right], ['0 0 792 612', right],
    ['0 0 612 792', right], ['0 0 792 612', right]]));
  assert.deepEqual(doc.pages.map((p) => p.orientation), ['portrait', 'landscape', 'portrait', 'landscape']);
  assert.deepEqual(doc.pages.map((p) => p.textDirection), ['right', 'right', 'right', 'right']);
  assert.equal(doc.upright({ only: 'landscape' }), 2);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [0, 270, 0, 270]);
  assert.equal(doc.upright({ only: 'portrait', pages: '1-2' }), 1);
  assert.deepEqual(doc.pages.map((p) => p.rotation), [270, 270, 0, 270]);
  assert.deepEqual(doc.pages.map((p) => p.textDirection), ['up', 'up', 'right', 'up']);
  assert.throws(() => doc.upright({ only: 'square' }),
    { name: 'RangeError', message: 'only takes "landscape" or "portrait" (got square)' });
  assert.throws(() => doc.rotate({ by: 90, only: 'wide' }),
    { name: 'RangeError', message: 'only takes "landscape" or "portrait" (got wide)' });
  assert.deepEqual(doc.pages.map((p) => p.rotation), [270, 270, 0, 270], 'a refused call turns nothing');
  doc.close();
});
