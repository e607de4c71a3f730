// SPDX-License-Identifier: MIT
// The npm package against pdf-lib (the pure-JavaScript library most used
// for this) and the native command line: open, turn every page by 90 and
// save, on the generated large inputs; then every corpus file through both
// JavaScript libraries, judged by pdfinfo.
//
// Usage: node bench/js_bench.mjs PACKAGE_DIR CLI LARGE_DIR CORPUS_DIR
// (PACKAGE_DIR: the assembled npm package; pdf-lib comes from
// web/node_modules). Each measured run is its own process: the in-process
// time of open, turn and save, the whole process's wall time and its peak
// resident memory. Medians of BENCH_RUNS interleaved runs (default 3).
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const requireWeb = createRequire(path.join(here, '..', 'web', 'package.json'));

// One job in this process: `node js_bench.mjs job TOOL PACKAGE_DIR IN OUT
// [TIMES]` opens, turns and saves TIMES times (default 1) and prints
// {"seconds": [in-process time of each]}: the first in a fresh process (the
// module started and its memory grown on the way), the second as a
// long-running program meets its next file.
async function job(tool, pkg, input, output, times = '1') {
  const bytes = fs.readFileSync(input);
  const lib = tool === 'leafturn'
    ? await import(pathToFileURL(path.join(pkg, 'dist', 'index.mjs')).href)
    : requireWeb('pdf-lib');
  const seconds = [];
  let out;
  for (let k = 0; k < Number(times); k++) {
    const start = performance.now();
    if (tool === 'leafturn') {
      const doc = await lib.open(bytes);
      doc.rotate({ by: 90 });
      out = doc.save();
      doc.close();
    } else {
      const doc = await lib.PDFDocument.load(bytes);
      for (const p of doc.getPages()) p.setRotation(lib.degrees((p.getRotation().angle + 90) % 360));
      out = await doc.save();
    }
    seconds.push((performance.now() - start) / 1000);
  }
  fs.writeFileSync(output, out);
  process.stdout.write(JSON.stringify({ seconds }) + '\n');
}

// Runs a command under GNU time: wall seconds, peak memory (MB), its output.
function measure(cmd, args) {
  const report = path.join(os.tmpdir(), `leafturn-js-bench-${process.pid}.txt`);
  const start = performance.now();
  const r = spawnSync('/usr/bin/time', ['-f', '%M', '-o', report, cmd, ...args], { maxBuffer: 1 << 26 });
  const wall = (performance.now() - start) / 1000;
  const kb = Number(fs.readFileSync(report, 'utf8').trim().split('\n').pop());
  return { ok: r.status === 0, wall, mb: kb / 1024, stdout: r.stdout.toString(), stderr: r.stderr.toString() };
}

const median = (xs) => {
  const s = [...xs].sort((a, b) => a - b);
  return s[Math.floor(s.length / 2)];
};

function pdfinfoRotations(file) {
  try {
    const text = execFileSync('pdfinfo', ['-f', '1', '-l', '1000000', file], { stdio: ['ignore', 'pipe', 'ignore'] }).toString();
    return [...text.matchAll(/^Page +\d+ rot: +(\d+)/gm)].map((m) => Number(m[1]));
  } catch {
    return null;
  }
}

async function main() {
  const [pkg, cli, large, corpus] = process.argv.slice(2).map((p) => path.resolve(p));
  const runs = Number(process.env.BENCH_RUNS || 3);
  const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'leafturn-js-bench-'));
  const self = fileURLToPath(import.meta.url);
  const jobOf = (tool, input, out) => measure(process.execPath, [self, 'job', tool, pkg, input, out, '2']);

  console.log(`open, turn every page by 90 and save; median of ${runs} interleaved runs, each its own process`);
  console.log('first: the first file of a fresh Node process (the module started, its memory grown); next: the same again in that process;');
  console.log('process: the whole command, Node\'s start included; MB: peak resident memory of the process (two files)');
  console.log('| input | leafturn (npm) first s | next s | process s | MB | pdf-lib first s | next s | process s | MB | command line s | MB | pdf-lib / leafturn (first, next) | leafturn / command line (first, next) |');
  console.log('|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|');
  const missed = [];
  for (const name of ['pages-2000.pdf', 'pages-20000.pdf', 'pages-20000-objstm.pdf', 'images-200.pdf']) {
    const input = path.join(large, name);
    if (!fs.existsSync(input)) continue;
    const s = { lt: [], lt2: [], ltw: [], ltm: [], pl: [], pl2: [], plw: [], plm: [], cli: [], clim: [] };
    for (let k = 0; k < runs; k++) {
      const a = jobOf('leafturn', input, path.join(scratch, 'lt.pdf'));
      if (!a.ok) throw new Error(`leafturn failed on ${name}: ${a.stderr}`);
      const at = JSON.parse(a.stdout).seconds;
      s.lt.push(at[0]); s.lt2.push(at[1]); s.ltw.push(a.wall); s.ltm.push(a.mb);
      const b = jobOf('pdf-lib', input, path.join(scratch, 'pl.pdf'));
      if (b.ok) {
        const bt = JSON.parse(b.stdout).seconds;
        s.pl.push(bt[0]); s.pl2.push(bt[1]); s.plw.push(b.wall); s.plm.push(b.mb);
      }
      const c = measure(cli, ['rotate', input, path.join(scratch, 'cli.pdf'), '--by', '90', '--full']);
      s.cli.push(c.wall); s.clim.push(c.mb);
    }
    const lt = median(s.lt);
    const lt2 = median(s.lt2);
    const pl = s.pl.length ? median(s.pl) : NaN;
    const pl2 = s.pl.length ? median(s.pl2) : NaN;
    const cliS = median(s.cli);
    const ratioPl = pl / lt;
    const ratioPl2 = pl2 / lt2;
    const ratioCli = lt / cliS;
    const ratioCli2 = lt2 / cliS;
    const same = fs.readFileSync(path.join(scratch, 'lt.pdf')).equals(fs.readFileSync(path.join(scratch, 'cli.pdf')));
    const f = (v, d = 3) => (Number.isNaN(v) ? 'failed' : v.toFixed(d));
    const plw = s.plw.length ? median(s.plw) : NaN;
    const plm = s.plm.length ? median(s.plm) : NaN;
    console.log(`| ${name} | ${f(lt)} | ${f(lt2)} | ${f(median(s.ltw))} | ${f(median(s.ltm), 0)} | ${f(pl)} | ${f(pl2)} | ` +
      `${f(plw)} | ${f(plm, 0)} | ${f(cliS)} | ${f(median(s.clim), 0)} | ` +
      `${f(ratioPl, 1)}, ${f(ratioPl2, 1)} | ${f(ratioCli, 2)}, ${f(ratioCli2, 2)}${same ? '' : ' (output differs!)'} |`);
    if (!same) missed.push(`${name}: the package's output differs from the command line's`);
    if (name === 'pages-20000.pdf') {
      if (!(ratioPl >= 20)) missed.push(`${name}: pdf-lib / leafturn >= 20 (first file: ${f(ratioPl, 1)})`);
      if (!(ratioPl2 >= 20)) missed.push(`${name}: pdf-lib / leafturn >= 20 (next file: ${f(ratioPl2, 1)})`);
      if (!(ratioCli <= 2)) missed.push(`${name}: leafturn <= 2 x the command line (first file: ${f(ratioCli, 2)})`);
      if (!(ratioCli2 <= 2)) missed.push(`${name}: leafturn <= 2 x the command line (next file: ${f(ratioCli2, 2)})`);
    }
  }

  // The corpus: each library opens, turns every page by 90 and saves; the
  // output is correct when pdfinfo reads it with every page turned.
  const files = fs.readdirSync(corpus).filter((f) => f.endsWith('.pdf')).sort();
  const tally = { leafturn: { opened: 0, saved: 0, correct: 0, wrong: [] }, 'pdf-lib': { opened: 0, saved: 0, correct: 0, wrong: [] } };
  for (const name of files) {
    const input = path.join(corpus, name);
    const before = pdfinfoRotations(input);
    for (const tool of Object.keys(tally)) {
      const out = path.join(scratch, `${tool}-${name}`);
      const r = spawnSync(process.execPath, [self, 'job', tool, pkg, input, out], { maxBuffer: 1 << 26 });
      const t = tally[tool];
      if (r.status !== 0) { t.wrong.push(`${name} (refused)`); continue; }
      t.opened++;
      t.saved++;
      const after = pdfinfoRotations(out);
      const ok = before && after && after.length === before.length && after.every((v, k) => v === (before[k] + 90) % 360);
      if (ok) t.correct++;
      else t.wrong.push(`${name} (${after ? 'pages ' + after.join(',') : 'pdfinfo cannot read it'})`);
    }
  }
  console.log();
  console.log(`corpus: ${files.length} files; open, turn every page by 90, save; correct = pdfinfo sees every page turned`);
  console.log('| library | opened and saved | correct | not correct |');
  console.log('|---|---:|---:|---|');
  for (const [tool, t] of Object.entries(tally))
    console.log(`| ${tool} | ${t.saved} | ${t.correct} | ${t.wrong.join('; ') || '-'} |`);
  fs.rmSync(scratch, { recursive: true, force: true });
  console.log();
  console.log(missed.length ? 'TARGETS MISSED: ' + missed.join('; ') : 'targets met');
}

if (process.argv[2] === 'job') await job(...process.argv.slice(3));
else await main();
