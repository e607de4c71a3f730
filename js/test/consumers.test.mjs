// SPDX-License-Identifier: MIT
// The package as its consumers meet it: TypeScript type-checks a program
// against its declarations (and refuses wrong calls), and a bundler packs
// it for the browser and for Node into files that run. The compiler and
// the bundler are given by TSC and ESBUILD (skipped without them).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { neededEnv, simpleDoc } from './helpers.mjs';

// Files written beside the tests, so that 'leafturn' resolves to the
// installed package.
const dir = fs.mkdtempSync(path.join(process.cwd(), 'consumer-'));

test('TypeScript accepts the API as documented and refuses wrong calls', (t) => {
  if (!neededEnv('TSC')) return t.skip('TSC is not set');
  fs.writeFileSync(path.join(dir, 'consumer.mts'), `
import { open, LeafturnError, Document, Page, version } from 'leafturn';
export async function turn(bytes: Uint8Array): Promise<number> {
  const doc: Document = await open(bytes, { name: 'scan.pdf' });
  const first: Page = doc.pages[0];
  const turned: number = doc.rotate({ by: 90, pages: 'odd', only: 'landscape' });
  doc.rotate({ to: 0, pages: [1, 2] });
  doc.rotate({ by: -90, pages: new Set([3]) });
  const out: Uint8Array = doc.save({ incremental: doc.updateRefusal === null });
  const auto: Uint8Array = doc.save();
  const wrote: 'update' | 'full' | 'unchanged' | null = doc.lastSave;
  const upright: number = doc.upright({ pages: 'odd', only: 'portrait' });
  const title: string | undefined = doc.info['Title'];
  const o: 'portrait' | 'landscape' | 'square' | null = first.orientation;
  doc.close();
  return turned + out.length + auto.length + (wrote ? 1 : 0) + upright + (first.width ?? 0) + (title ? 1 : 0) + (o ? 1 : 0) + version.length;
}
export function isOurs(e: unknown): boolean { return e instanceof LeafturnError && e.message.length > 0; }
declare const doc: Document;
// @ts-expect-error: only right angles
doc.rotate({ by: 45 });
// @ts-expect-error: by or to, not both
doc.rotate({ by: 90, to: 0 });
// @ts-expect-error: the page count is read-only
doc.pageCount = 3;
// @ts-expect-error: bytes, not a path
open('scan.pdf');
`);
  const r = spawnSync(process.env.TSC, ['--noEmit', '--strict', '--module', 'nodenext', '--moduleResolution',
    'nodenext', '--target', 'es2022', path.join(dir, 'consumer.mts')], { encoding: 'utf8' });
  assert.equal(r.status, 0, r.stdout + r.stderr);
});

test('bundled for the browser and for Node, the package runs', (t) => {
  if (!neededEnv('ESBUILD')) return t.skip('ESBUILD is not set');
  const pdf = JSON.stringify(simpleDoc(['', ' /Rotate 90']).toString('latin1'));
  fs.writeFileSync(path.join(dir, 'entry.mjs'), `
import { open } from 'leafturn';
const text = ${pdf};
const bytes = Uint8Array.from(text, (c) => c.charCodeAt(0));
const doc = await open(bytes);
const turned = doc.rotate({ by: 90 });
console.log(doc.pageCount, turned, doc.pages.map((p) => p.rotation).join(','), doc.save().length > 0);
`);
  for (const [platform, format, name] of [['browser', 'esm', 'web.mjs'], ['node', 'esm', 'node.mjs'], ['neutral', 'esm', 'neutral.mjs']]) {
    const out = path.join(dir, name);
    execFileSync(process.env.ESBUILD, [path.join(dir, 'entry.mjs'), '--bundle', `--platform=${platform}`,
      `--format=${format}`, '--log-level=error', `--outfile=${out}`]);
    const source = fs.readFileSync(out, 'utf8');
    assert.ok(!/require\\(["']fs["']\\)|from ["']node:/.test(source), `${platform} bundle reaches for Node's modules`);
    assert.equal(execFileSync(process.execPath, [out], { encoding: 'utf8' }).trim(), '2 2 90,180 true', platform);
  }
});
