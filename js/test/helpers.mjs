// SPDX-License-Identifier: MIT
// What the package's tests share: PDF files built in code, the command
// line and the independent checkers run as child processes.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';

export const CLI = process.env.LEAFTURN_CLI;
export const CORPUS = process.env.LEAFTURN_CORPUS;

// A PDF file from object bodies (numbered from 1), with a classic
// cross-reference table and a trailer naming object 1 as the catalog.
export function buildPdf(bodies, trailerExtra = '') {
  let out = '%PDF-1.4\n';
  const offsets = [];
  bodies.forEach((body, k) => {
    offsets.push(out.length);
    out += `${k + 1} 0 obj\n${body}\nendobj\n`;
  });
  const xref = out.length;
  out += `xref\n0 ${bodies.length + 1}\n0000000000 65535 f \n`;
  for (const o of offsets) out += `${String(o).padStart(10, '0')} 00000 n \n`;
  out += `trailer\n<< /Size ${bodies.length + 1} /Root 1 0 R${trailerExtra} >>\nstartxref\n${xref}\n%%EOF\n`;
  return Buffer.from(out, 'latin1');
}

// A catalog (1), a page tree (2) carrying treeExtra, and one page per entry
// of pageExtras (3, 4, ...), each with its extra dictionary entries.
export function simpleDoc(pageExtras, treeExtra = '', trailerExtra = '', more = []) {
  const n = pageExtras.length;
  const kids = pageExtras.map((_, k) => `${k + 3} 0 R`).join(' ');
  return buildPdf([
    '<< /Type /Catalog /Pages 2 0 R >>',
    `<< /Type /Pages /Kids [${kids}] /Count ${n} /MediaBox [0 0 612 792]${treeExtra} >>`,
    ...pageExtras.map((e) => `<< /Type /Page /Parent 2 0 R${e} >>`),
    ...more,
  ], trailerExtra);
}

export function tempDir() {
  return fs.mkdtempSync(path.join(os.tmpdir(), 'leafturn-js-'));
}

// Whether a checker is on PATH. A missing one fails the test (make test
// installs every checker) unless LEAFTURN_ALLOW_MISSING_TOOLS=1 lets the
// caller skip.
export function haveTool(name) {
  if (spawnSync('sh', ['-c', `command -v ${name}`]).status === 0) return true;
  if (process.env.LEAFTURN_ALLOW_MISSING_TOOLS === '1') return false;
  throw new Error(`${name} is needed by this test and is missing (install it, or set LEAFTURN_ALLOW_MISSING_TOOLS=1)`);
}

// The path a variable names, which make test always sets; a missing one
// fails the test unless skips are allowed (then null).
export function neededEnv(name) {
  if (process.env[name]) return process.env[name];
  if (process.env.LEAFTURN_ALLOW_MISSING_TOOLS === '1') return null;
  throw new Error(`${name} is not set (make test-js sets it; LEAFTURN_ALLOW_MISSING_TOOLS=1 skips)`);
}

// The command line: its exit status, standard output and error.
export function cli(args, input) {
  const r = spawnSync(CLI, args, { input, maxBuffer: 1 << 30 });
  return { status: r.status, stdout: r.stdout, stderr: r.stderr.toString() };
}

// pdfinfo's rotation of every page.
export function pdfinfoRotations(file) {
  const text = execFileSync('pdfinfo', ['-f', '1', '-l', '100000', file], { stdio: ['ignore', 'pipe', 'ignore'] }).toString();
  return [...text.matchAll(/^Page +\d+ rot: +(\d+)/gm)].map((m) => Number(m[1]));
}

export function qpdfCheck(file) {
  return spawnSync('qpdf', ['--check', file]).status;
}

// A two-page file whose signature field (4) holds a detached CMS signature
// (5) over its byte range, made by openssl with a self-signed certificate,
// as signing tools write it; `perms` goes into the catalog (a
// certification: ' /Perms << /DocMDP 5 0 R >>').
export function signedPdf(dir, perms = '') {
  const data = Buffer.from(buildPdf([
    `<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /SigFlags 3 >>${perms} >>`,
    '<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>',
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Annots [4 0 R] >>',
    '<< /FT /Sig /T (Signature1) /V 5 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /F 132 >>',
    '<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached ' +
      `/ByteRange [0 9999999999 9999999999 9999999999] /Contents <${'0'.repeat(8192)}> >>`,
    '<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>',
  ]));
  const cs = data.indexOf('/Contents <') + 10;
  const ce = data.indexOf('>', cs) + 1;
  const br = data.indexOf('/ByteRange [') + 12;
  const brEnd = data.indexOf(']', br);
  data.write(`0 ${cs} ${ce} ${data.length - ce}`.padEnd(brEnd - br), br, 'latin1');
  const keys = fs.mkdtempSync(path.join(dir, 'keys-'));
  fs.writeFileSync(path.join(keys, 'tbs.bin'), Buffer.concat([data.subarray(0, cs), data.subarray(ce)]));
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-keyout', path.join(keys, 'key.pem'),
    '-out', path.join(keys, 'cert.pem'), '-days', '3650', '-subj', '/CN=Test'], { stdio: 'ignore' });
  execFileSync('openssl', ['cms', '-sign', '-binary', '-outform', 'DER', '-in', path.join(keys, 'tbs.bin'),
    '-signer', path.join(keys, 'cert.pem'), '-inkey', path.join(keys, 'key.pem'), '-out', path.join(keys, 'sig.der')],
  { stdio: 'ignore' });
  const hex = fs.readFileSync(path.join(keys, 'sig.der')).toString('hex').toUpperCase();
  data.write(hex.padEnd(ce - cs - 2, '0'), cs + 1, 'latin1');
  return data;
}

// pdfsig's verdict on a file's signatures: whether it says they are valid.
export function pdfsigValid(file) {
  return spawnSync('pdfsig', [file]).stdout.toString().includes('Signature is Valid.');
}
