#!/usr/bin/python3 -P
# SPDX-License-Identifier: MIT
"""Everything the front ends answer for a set of inputs, as one text, so that
a change meant to keep behaviour can be checked to keep every byte: the
exports (through tests/host.c), the command line (text and --json), the
Python package and the JavaScript package.

  scripts/outputs.py BUILD VENV NPM_PACKAGE OUT.txt INPUT...

INPUTs are files or folders (every file in them). Each line is one answer:
the input, the call, its status, the SHA-256 of what it wrote and its
messages. Compare two runs with diff.
"""
import hashlib
import json
import os
import random
import subprocess
import sys
import tempfile

build, venv, npm, out_path = sys.argv[1:5]
inputs = []
for a in sys.argv[5:]:
    if os.path.isdir(a):
        for root, _, files in os.walk(a):
            inputs += [os.path.join(root, f) for f in sorted(files)]
    else:
        inputs.append(a)
cli = os.path.join(build, "leafturn")
host = os.path.join(build, "tests", "leafturn_host")
scratch = tempfile.mkdtemp(prefix="leafturn-outputs-")
lines = []

# Byte soups of PDF tokens, the same every run: objects sharing distant
# "endobj"s, unclosed dictionaries, strings, comments, a chain of sections.
PARTS = [b" 0 obj ", b"<<", b">>", b"/Type ", b"/Page ", b"/Pages ", b"/Rotate 90 ", b"/Rotate -7 ",
         b"(", b")", b"\\", b"% c", b"\n", b"\r", b"<ab>", b"<", b">", b" ", b"endobj\n", b"stream\n",
         b"\nendstream", b"/Kids [", b"]", b"/Length 3 ", b"/Catalog ", b"/Rotate 5 0 R ", b"12",
         b"/Type/Pages", b"/ObjStm ", b"xref\n0 3\n0000000000 65535 f \n", b"trailer\n<</Root 1 0 R /Size 9>>",
         b"startxref\n9\n", b"/Parent 2 0 R ", b"/MediaBox [0 0 612 792] ", b"%%EOF\n"]
rng = random.Random(2026)
os.makedirs(os.path.join(scratch, "soups"))
for k in range(60):
    s = b"%PDF-1.4\n"
    num = 1
    for _ in range(40 + k * 7):
        r = rng.randrange(len(PARTS) + 8)
        if r < 8:
            s += b"\n%d 0 obj <<" % (num % 40 + 1)
            num += 1
        else:
            s += PARTS[r - 8]
    path = os.path.join(scratch, "soups", "soup-%02d.pdf" % k)
    open(path, "wb").write(s)
    inputs.append(path)
inputs.sort()


def digest(data):
    return hashlib.sha256(data).hexdigest()[:16]


def scrub(text):
    return text.replace(scratch, "SCRATCH")


def run_cli(name, args):
    out = os.path.join(scratch, "out.pdf")
    if os.path.exists(out):
        os.remove(out)
    p = subprocess.run([cli] + [out if a == "OUT" else a for a in args], capture_output=True)
    written = digest(open(out, "rb").read()) if os.path.exists(out) else "-"
    stdout = p.stdout.decode("utf-8", "replace")
    if '"seconds"' in stdout:
        stdout = "\n".join(json.dumps({k: v for k, v in json.loads(l).items() if k != "seconds"})
                           for l in stdout.splitlines() if l.strip())
    lines.append(scrub("cli %s %s | %d | %s | %s | %s" % (
        name, " ".join(args[1:] if args[0] == "rotate" else args).replace(name, "IN"),
        p.returncode, written, scrub(stdout).replace("\n", "\\n"),
        scrub(p.stderr.decode("utf-8", "replace")).replace("\n", "\\n"))))


CLI_CALLS = [
    ["info", "IN"], ["info", "--json", "IN"], ["rotation", "IN", "1"], ["rotation", "IN", "3"],
    ["rotate", "IN", "OUT", "--by", "90"],
    ["rotate", "IN", "OUT", "--full", "--by", "270", "--pages", "odd"],
    ["rotate", "IN", "OUT", "--incremental", "--by", "180", "--pages", "1"],
    ["rotate", "IN", "OUT", "--incremental", "--force", "--to", "0", "--landscape"],
    ["rotate", "IN", "OUT", "--by", "90", "--pages", "1", "--by", "-90", "--pages", "1"],
    ["rotate", "IN", "OUT", "--json", "--by", "90", "--pages", "2-z"],
    ["rotate", "IN", "OUT", "--by", "90", "--pages", "99999"],
]

PY = r'''
import hashlib, sys, leafturn
def d(b): return hashlib.sha256(b).hexdigest()[:16]
for path in sys.argv[1:]:
    r = []
    try:
        with leafturn.open(path) as doc:
            r.append("pages=%d" % len(doc))
            r.append("info=%r" % sorted(doc.info.items()))
            r.append("sig=%r/%r" % (doc.signatures, doc.certified))
            r.append("facts=%r" % [(p.rotation, p.own_rotation, p.inherited_rotation, p.width, p.height, p.orientation) for p in doc.pages[:5]])
            r.append("same=" + d(doc.to_bytes()))
            r.append("turned=%d" % doc.rotate(by=90, pages="odd"))
            r.append("full=" + d(doc.to_bytes(incremental=False)))
            try:
                r.append("update=" + d(doc.to_bytes(incremental=True)))
            except leafturn.LeafturnError as e:
                r.append("update! %s" % e)
            try:
                doc.page(len(doc) + 1)
            except leafturn.LeafturnError as e:
                r.append("range! %s" % e)
            try:
                doc.rotate(by=45)
            except ValueError as e:
                r.append("degrees! %s" % e)
    except leafturn.LeafturnError as e:
        r.append("open! %s" % e)
    try:
        out = sys.argv[0] + ".out.pdf"
        n = leafturn.rotate(path, out, to=90, pages=[1])
        r.append("rotate=%d %s" % (n, d(open(out, "rb").read())))
    except leafturn.LeafturnError as e:
        r.append("rotate! %s" % e)
    print("python %s | %s" % (path, " | ".join(r)))
'''

JS = r'''
import { open, LeafturnError } from 'PACKAGE';
import { readFileSync } from 'node:fs';
import { createHash } from 'node:crypto';
const d = (b) => createHash('sha256').update(b).digest('hex').slice(0, 16);
for (const path of process.argv.slice(2)) {
  const r = [];
  try {
    const doc = await open(readFileSync(path), { name: 'in.pdf' });
    r.push(`pages=${doc.pageCount}`, `info=${JSON.stringify(doc.info)}`,
      `sig=${doc.signatures}/${doc.certified}/${doc.updateRefusal}`,
      `facts=${JSON.stringify(doc.pages.slice(0, 5))}`, `same=${d(doc.save())}`);
    r.push(`turned=${doc.rotate({ by: 90, pages: 'odd' })}`, `full=${d(doc.save({ incremental: false }))}`);
    try { r.push(`update=${d(doc.save({ incremental: true }))}`); } catch (e) { r.push(`update! ${e.message}`); }
    try { doc.rotate({ by: 90, pages: [doc.pageCount + 1] }); } catch (e) { r.push(`range! ${e.name} ${e.message}`); }
    try { doc.rotate({ by: 45 }); } catch (e) { r.push(`degrees! ${e.name} ${e.message}`); }
    doc.close();
  } catch (e) {
    r.push(`open! ${e.name} ${e.message}`);
  }
  console.log(`js ${path} | ${r.join(' | ')}`);
}
'''

for path in inputs:
    for call in CLI_CALLS:
        run_cli(path, [path if a == "IN" else a for a in call])

hostdir = os.path.join(scratch, "host")
os.makedirs(hostdir)
p = subprocess.run([host, hostdir] + inputs, capture_output=True)
lines += ["host %s" % scrub(l) for l in p.stdout.decode("utf-8", "replace").splitlines()]
for f in sorted(os.listdir(hostdir)):
    lines.append("host-file %s %s" % (f, digest(open(os.path.join(hostdir, f), "rb").read())))

py = os.path.join(scratch, "outputs_py.py")
open(py, "w").write(PY)
p = subprocess.run([os.path.join(venv, "bin", "python"), "-P", py] + inputs, capture_output=True, cwd=scratch)
lines += [scrub(l) for l in p.stdout.decode("utf-8", "replace").splitlines()]
lines += ["python-stderr %s" % scrub(l) for l in p.stderr.decode("utf-8", "replace").splitlines()]

js = os.path.join(scratch, "outputs_js.mjs")
open(js, "w").write(JS.replace("PACKAGE", os.path.join(os.path.abspath(npm), "dist", "index.mjs")))
p = subprocess.run(["node", js] + inputs, capture_output=True)
lines += [scrub(l) for l in p.stdout.decode("utf-8", "replace").splitlines()]
lines += ["js-stderr %s" % scrub(l) for l in p.stderr.decode("utf-8", "replace").splitlines()]

with open(out_path, "w") as f:
    f.write("\n".join(lines) + "\n")
print("%d answers for %d inputs in %s" % (len(lines), len(inputs), out_path))
