// SPDX-License-Identifier: MIT
// Puts the page together in OUT_DIR: its own files, the package's ES module
// entry with the compiled core, and pdf.js (with its character maps, fonts
// and image decoders) from web/node_modules. Usage: node web/build.mjs
// PACKAGE_DIR OUT_DIR, where PACKAGE_DIR is the assembled npm package.
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [pkg, out] = process.argv.slice(2).map((p) => path.resolve(p));
const pdfjs = path.join(here, 'node_modules', 'pdfjs-dist');
if (!fs.existsSync(pdfjs)) throw new Error('pdf.js is missing: run npm ci in web/ first');

fs.rmSync(out, { recursive: true, force: true });
fs.mkdirSync(path.join(out, 'leafturn'), { recursive: true });
fs.mkdirSync(path.join(out, 'pdfjs'), { recursive: true });
for (const f of ['index.html', 'icon.svg', 'app.mjs', 'worker.mjs', 'style.css']) fs.copyFileSync(path.join(here, f), path.join(out, f));
for (const f of ['index.mjs', 'leafturn_wasm.mjs'])
  fs.copyFileSync(path.join(pkg, 'dist', f), path.join(out, 'leafturn', f));
fs.copyFileSync(path.join(pkg, 'LICENSE'), path.join(out, 'leafturn', 'LICENSE'));
for (const f of ['pdf.min.mjs', 'pdf.worker.min.mjs'])
  fs.copyFileSync(path.join(pdfjs, 'build', f), path.join(out, 'pdfjs', f));
fs.copyFileSync(path.join(pdfjs, 'LICENSE'), path.join(out, 'pdfjs', 'LICENSE'));
for (const d of ['cmaps', 'standard_fonts', 'wasm'])
  fs.cpSync(path.join(pdfjs, d), path.join(out, 'pdfjs', d), { recursive: true });
console.log(out);
