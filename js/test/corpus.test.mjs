// SPDX-License-Identifier: MIT
// Every real-world file of the corpus through the package and through the
// command line: the same page facts, information and messages, and the
// same saved bytes, fresh and appended; pdfinfo sees the turns.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import path from 'node:path';
import { open } from 'leafturn';
import { CORPUS, cli, tempDir, pdfinfoRotations, haveTool } from './helpers.mjs';

const files = CORPUS ? fs.readdirSync(CORPUS).filter((f) => f.endsWith('.pdf')).sort() : [];
const dir = tempDir();
const round = (v) => (v === null ? null : Number(v.toFixed(6)));

// The command line's message for a file, as the package words it.
const asMemory = (message, file) => message.split(file).join('(memory)');

test('the corpus is there', () => {
  assert.ok(files.length >= 20, `LEAFTURN_CORPUS (${CORPUS}) holds ${files.length} PDF files`);
});

for (const name of files) {
  test(name, async () => {
    const file = path.join(CORPUS, name);
    const bytes = fs.readFileSync(file);
    const r = cli(['info', '--json', file]);
    const facts = JSON.parse(r.stdout.toString());
    const opened = await open(bytes).then((d) => d, (e) => e);
    if (facts.error) {
      assert.equal(opened.name, 'LeafturnError');
      assert.equal(opened.message, asMemory(facts.error, file));
      return;
    }
    const doc = opened;
    assert.equal(doc.pageCount, facts.pages);
    assert.deepEqual(doc.pages.map((p) => [p.number, p.rotation, p.ownRotation, p.inheritedRotation,
      round(p.width), round(p.height), p.orientation]),
    facts.page.map((p) => [p.number, p.rotation, p.own, p.inherited, p.width, p.height, p.orientation]));
    assert.deepEqual(doc.info, facts.info || {});
    assert.equal(doc.signatures, facts.signatures);
    assert.equal(doc.certified, facts.certified);
    assert.equal(doc.updateRefusal, facts.update === true ? null : asMemory(facts.update, file));

    // Every page by 90: the command line's fresh file, byte for byte (forced
    // through the permissions of an encrypted file).
    doc.rotate({ by: 90 });
    const fresh = doc.save({ incremental: false, force: true });
    const full = cli(['rotate', file, '-', '--by', '90', '--full', '--force']);
    assert.equal(full.status, 0, full.stderr);
    assert.ok(Buffer.from(fresh).equals(full.stdout), 'fresh file differs from the command line\'s');
    const locked = facts.encryption && facts.encryption.password_needed;
    if (haveTool('pdfinfo') && !locked) {
      const out = path.join(dir, name);
      fs.writeFileSync(out, fresh);
      assert.deepEqual(pdfinfoRotations(out), facts.page.map((p) => (p.rotation + 90) % 360));
    }
    doc.close();

    // Odd pages as an appended update, or the command line's refusal.
    const again = await open(bytes);
    again.rotate({ by: 90, pages: 'odd' });
    const inc = cli(['rotate', file, '-', '--by', '90', '--pages', 'odd', '--incremental', '--force']);
    if (inc.status === 0) {
      const update = again.save({ incremental: true, force: true });
      assert.ok(Buffer.from(update).equals(inc.stdout), 'update differs from the command line\'s');
      assert.ok(Buffer.from(update.subarray(0, bytes.length)).equals(bytes));
    } else {
      assert.throws(() => again.save({ incremental: true, force: true }),
        (e) => e.name === 'LeafturnError' &&
          e.message === asMemory(inc.stderr.trim().replace(/^leafturn: /, ''), file));
    }
    again.close();
  });
}
