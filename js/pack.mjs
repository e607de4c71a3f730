// SPDX-License-Identifier: MIT
// Assembles the npm package from the compiled module and the API source,
// then packs it: node js/pack.mjs WASM_DIR OUT_DIR makes
// OUT_DIR/package/ and OUT_DIR/leafturn-<version>.tgz.
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import { fileURLToPath } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.dirname(here);
const [wasmDir, outDir] = process.argv.slice(2).map((p) => path.resolve(p));

const header = fs.readFileSync(path.join(root, 'include', 'leafturn.h'), 'utf8');
const version = /#define LEAFTURN_VERSION "([^"]+)"/.exec(header)[1];

const pkgDir = path.join(outDir, 'package');
fs.rmSync(pkgDir, { recursive: true, force: true });
fs.mkdirSync(path.join(pkgDir, 'dist'), { recursive: true });

const glue = fs.readFileSync(path.join(wasmDir, 'leafturn_wasm.js'), 'utf8');
const core = fs.readFileSync(path.join(here, 'src', 'core.js'), 'utf8').replace('@VERSION@', version);
const names = 'open, Document, LeafturnError';
const put = (name, text) => fs.writeFileSync(path.join(pkgDir, name), text);

// The module's factory as an ES module and as a CommonJS one (the compiled
// file ends by assigning module.exports when there is one).
put('dist/leafturn_wasm.cjs', glue);
put('dist/leafturn_wasm.mjs', glue + '\nexport default createLeafturnWasm;\n');
put('dist/index.mjs', "import createWasm from './leafturn_wasm.mjs';\n\n" + core +
  `\nexport { ${names}, VERSION as version };\n`);
put('dist/index.cjs', "'use strict';\nconst createWasm = require('./leafturn_wasm.cjs');\n\n" + core +
  `\nmodule.exports = { ${names}, version: VERSION };\n`);

const manifest = JSON.parse(fs.readFileSync(path.join(here, 'package.json'), 'utf8'));
manifest.version = version;
put('package.json', JSON.stringify(manifest, null, 2) + '\n');
for (const [from, to] of [[path.join(here, 'index.d.ts'), 'index.d.ts'],
  [path.join(here, 'README.md'), 'README.md'], [path.join(root, 'LICENSE'), 'LICENSE']])
  fs.copyFileSync(from, path.join(pkgDir, to));

const tgz = execFileSync('npm', ['pack', '--silent', '--pack-destination', outDir], { cwd: pkgDir })
  .toString().trim().split('\n').pop();
console.log(path.join(outDir, tgz));
