// SPDX-License-Identifier: MIT
// Running out of memory is an error, not a dead module: documents of more
// than a gigabyte each are opened and kept until the module's memory (at
// most 4 GB) cannot hold another; that open rejects, and once the others
// are closed the module works again.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { open, LeafturnError } from 'leafturn';
import { simpleDoc } from './helpers.mjs';

// One page whose content stream holds `size` zero bytes.
function hugePdf(size) {
  const head = Buffer.from('%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n' +
    '2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n' +
    '3 0 obj\n<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R >>\nendobj\n' +
    `4 0 obj\n<< /Length ${size} >>\nstream\n`, 'latin1');
  const tail = Buffer.from('\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\n%%EOF\n', 'latin1');
  const out = Buffer.alloc(head.length + size + tail.length);
  head.copy(out, 0);
  tail.copy(out, head.length + size);
  return out;
}

test('the memory limit is a LeafturnError and the module stays usable', async () => {
  const big = hugePdf(1200 * 1024 * 1024);
  const kept = [];
  let failure = null;
  for (let k = 0; k < 4 && !failure; k++) {
    try {
      kept.push(await open(big));
    } catch (e) {
      failure = e;
    }
  }
  assert.ok(failure instanceof LeafturnError, String(failure));
  assert.equal(failure.message, 'out of memory');
  assert.ok(kept.length >= 1);
  assert.equal(kept[0].pageCount, 1);
  for (const d of kept) d.close();
  const doc = await open(simpleDoc(['', '']));
  assert.equal(doc.rotate({ by: 90 }), 2);
  assert.ok(doc.save().length > 0);
  doc.close();
});
