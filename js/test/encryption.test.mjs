// SPDX-License-Identifier: MIT
// Encrypted files made with qpdf from a real file with text: opened with and
// without a password, turned, saved both ways and judged by qpdf and
// pdftotext; permissions and wrong passwords in the library's words.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { open } from 'leafturn';
import { tempDir, haveTool, neededEnv } from './helpers.mjs';

const TEXT = '004-pdflatex-4-pages_pdflatex-4-pages.pdf';

function encrypt(dir, user, owner, spec, objectStreams = true) {
  const out = path.join(dir, `enc-${user || 'empty'}-${spec.join('-').replace(/=/g, '')}.pdf`);
  execFileSync('qpdf', ['--allow-weak-crypto', '--encrypt', user, owner, ...spec, '--',
    `--object-streams=${objectStreams ? 'generate' : 'disable'}`, path.join(neededEnv('LEAFTURN_CORPUS'), TEXT), out]);
  return out;
}

const showEncryption = (file, pw) =>
  spawnSync('qpdf', [`--password=${pw}`, '--show-encryption', file]).stdout.toString()
    .split('\n').filter((l) => !l.includes('password'));
const text = (file, pw) => spawnSync('pdftotext', ['-upw', pw, file, '-']).stdout.toString();

test('encrypted files open with their password, turn and stay encrypted', async (t) => {
  if (!haveTool('qpdf') || !haveTool('pdftotext') || !neededEnv('LEAFTURN_CORPUS')) return t.skip('checkers needed');
  const dir = tempDir();
  for (const [spec, method] of [[['128', '--use-aes=y'], 'AES-128'], [['256'], 'AES-256']]) {
    const src = encrypt(dir, 'user', 'owner', spec);
    const input = fs.readFileSync(src);
    const doc = await open(input, { name: 'locked.pdf', password: 'user' });
    assert.deepEqual({ ...doc.encryption, permissions: undefined },
      { method, revision: method === 'AES-256' ? 6 : 4, keyBits: method === 'AES-256' ? 256 : 128,
        passwordNeeded: true, openedWith: 'user', permissions: undefined });
    assert.equal(doc.encryption.permissions.assemble, true);
    assert.equal(doc.info.Creator, 'TeX');
    assert.equal(doc.rotate({ by: 90, pages: 'odd' }), 2);
    for (const incremental of [false, true]) {
      const out = path.join(dir, `out-${incremental}.pdf`);
      fs.writeFileSync(out, doc.save({ incremental }));
      if (incremental) assert.ok(fs.readFileSync(out).subarray(0, input.length).equals(input));
      assert.deepEqual(showEncryption(out, 'user'), showEncryption(src, 'user'));
      assert.equal(text(out, 'user'), text(src, 'user'));
      const again = await open(fs.readFileSync(out), { password: 'owner' });
      assert.deepEqual(again.pages.map((p) => p.rotation), [90, 0, 90, 0]);
      assert.equal(again.encryption.openedWith, 'owner');
      again.close();
    }
    doc.close();
    const locked = await open(input, { name: 'locked.pdf' }).catch((e) => e);
    assert.equal(locked.message, 'locked.pdf needs its password to be read (give it with the password option)');
    assert.equal(locked.code, 'LEAFTURN_PASSWORD_NEEDED');
    const wrong = await open(input, { name: 'locked.pdf', password: 'nope' }).catch((e) => e);
    assert.equal(wrong.message, 'the password given does not open locked.pdf');
    assert.equal(wrong.code, 'LEAFTURN_PASSWORD_WRONG');
  }
  await assert.rejects(open(fs.readFileSync(encrypt(dir, '', 'o', ['256'])), { password: 42 }), TypeError);

  const forbidden = await open(fs.readFileSync(encrypt(dir, '', 'owner', ['256', '--assemble=n'])), { name: 'f.pdf' });
  assert.equal(forbidden.encryption.permissions.assemble, false);
  forbidden.rotate({ by: 90 });
  assert.throws(() => forbidden.save(), { message: 'f.pdf does not permit turning its pages (force: true turns them all the same)' });
  assert.ok(forbidden.save({ force: true }).length > 0);
  forbidden.close();
});
