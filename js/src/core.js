// SPDX-License-Identifier: MIT
// The package's API over the core compiled to WebAssembly. This file is the
// body of both entry points (index.mjs and index.cjs): the build puts the
// module's import above it and the exports below it, and `createWasm` is
// the compiled module's factory.

const VERSION = '@VERSION@';

/** Every failure of the library: its message is the library's own. */
class LeafturnError extends Error {
  constructor(message) {
    super(message);
    this.name = 'LeafturnError';
  }
}

// One instance of the module for the whole program, made on first use.
let modulePromise = null;
function wasmModule() {
  if (!modulePromise) {
    modulePromise = createWasm().catch((e) => {
      modulePromise = null;
      throw new LeafturnError('cannot start the WebAssembly module: ' + (e && e.message ? e.message : e));
    });
  }
  return modulePromise;
}

const utf8 = new TextDecoder('utf-8');
const encoder = new TextEncoder();

// The codes of the failures a caller may act on (ask for a password).
const ERROR_CODES = [undefined, 'LEAFTURN_PASSWORD_NEEDED', 'LEAFTURN_PASSWORD_WRONG'];

function lastError(m) {
  let end = m._ltjs_error() >>> 0;
  const p = end;
  while (m.HEAPU8[end] !== 0) end++;
  const e = new LeafturnError(utf8.decode(m.HEAPU8.subarray(p, end)));
  const code = ERROR_CODES[m._ltjs_error_kind()];
  if (code) e.code = code;
  return e;
}

// A copy of len bytes into the module's memory (freed by the caller), or a
// LeafturnError when the module cannot grow to hold them.
function place(m, bytes) {
  const p = m._malloc(Math.max(bytes.length, 1)) >>> 0;
  if (!p) throw new LeafturnError('out of memory');
  m.HEAPU8.set(bytes, p);
  return p;
}

function asBytes(source) {
  if (source instanceof Uint8Array) return source;  // Buffer included
  if (source instanceof ArrayBuffer) return new Uint8Array(source);
  if (ArrayBuffer.isView(source)) return new Uint8Array(source.buffer, source.byteOffset, source.byteLength);
  throw new TypeError('open() takes the bytes of a whole file: a Uint8Array, an ArrayBuffer or a Buffer');
}

const DIRECTIONS = ['none', 'up', 'right', 'down', 'left'];
const ORIENTATIONS = [null, 'portrait', 'landscape', 'square'];
const FILTERS = { landscape: 1, portrait: 2 };

// Addresses in the module's memory come back from its functions as signed
// 32-bit numbers; every one is read with >>> 0, so that memory past 2 GB
// works.

// Documents that were never closed are freed when they are collected.
const registry = typeof FinalizationRegistry === 'function'
  ? new FinalizationRegistry(({ m, handle }) => m._ltjs_close(handle))
  : null;

function cText(m, p) {
  let end = p;
  while (m.HEAPU8[end] !== 0) end++;
  return utf8.decode(m.HEAPU8.subarray(p, end));
}

// [absolute, degrees] for a turn given as by or to; the core says which
// values it takes.
function turnOf(m, options) {
  const { by, to } = options;
  if ((by === undefined || by === null) === (to === undefined || to === null))
    throw new TypeError('rotate() takes exactly one of by and to');
  const absolute = by === undefined || by === null ? 1 : 0;
  const value = absolute ? to : by;
  const degrees = Number.isInteger(value) ? m._ltjs_make_turn(absolute, value) : -1;
  if (degrees < 0)
    throw new RangeError((absolute ? 'to' : 'by') + ' takes ' + cText(m, m._ltjs_turn_values(absolute) >>> 0) +
      ' (got ' + String(value) + ')');
  return [absolute, degrees];
}

/** A loaded PDF file with the turns made so far. */
class Document {
  constructor(m, handle) {
    this._m = m;
    this._handle = handle;
    this._token = {};
    if (registry) registry.register(this, { m, handle }, this._token);
  }

  _live() {
    if (!this._handle) throw new LeafturnError('the document is closed');
    return this._handle;
  }

  /** The number of pages. */
  get pageCount() {
    return this._m._ltjs_page_count(this._live());
  }

  /** Every page as it stands now (turns included), in order. */
  get pages() {
    const m = this._m;
    const h = this._live();
    const n = m._ltjs_page_count(h);
    const at = m._ltjs_facts(h) >>> 0;
    if (!at) throw lastError(m);
    const f = m.HEAPF64.subarray(at / 8, at / 8 + n * 6);
    const pages = new Array(n);
    // The text is read from the content when first asked for.
    let texts = null;
    const text = () => texts || (texts = this._texts());
    for (let k = 0; k < n; k++) {
      const r = k * 6;
      pages[k] = Object.freeze({
        /** "up", "right", "down", "left" or "none": which way the text runs as displayed now. */
        get textDirection() { return DIRECTIONS[text()[2 * k]]; },
        /** How many glyphs the page's content shows. */
        get glyphs() { return text()[2 * k + 1]; },
        number: k + 1,
        rotation: f[r],
        ownRotation: f[r + 1] < 0 ? null : f[r + 1],
        inheritedRotation: f[r + 2] < 0 ? null : f[r + 2],
        width: Number.isNaN(f[r + 3]) ? null : f[r + 3],
        height: Number.isNaN(f[r + 4]) ? null : f[r + 4],
        orientation: ORIENTATIONS[f[r + 5]],
      });
    }
    return pages;
  }

  _texts() {
    const m = this._m;
    const h = this._live();
    const n = m._ltjs_page_count(h);
    const at = m._ltjs_text(h) >>> 0;
    if (!at) throw lastError(m);
    return Array.from(m.HEAPF64.subarray(at / 8, at / 8 + n * 2));
  }

  /**
   * Turns each chosen page (all when `pages` is absent; as rotate's pages)
   * to the rotation that shows its text upright, read from its text layer;
   * a page whose text has no direction keeps its rotation. Returns how many
   * pages changed.
   */
  upright(options = {}) {
    const m = this._m;
    const h = this._live();
    return this._turn(this._select(options.pages), (at, n) => m._ltjs_upright(h, at, n));
  }

  // What the document carries (information, signatures, whether an update
  // can be appended): read once, since turns change none of it.
  _record() {
    const h = this._live();
    if (!this._carried) this._carried = this._read(h);
    return this._carried;
  }

  _read(h) {
    const m = this._m;
    const lenAt = m._malloc(4) >>> 0;
    if (!lenAt) throw new LeafturnError('out of memory');
    try {
      const at = m._ltjs_info(h, lenAt) >>> 0;
      if (!at) throw lastError(m);
      const len = m.HEAPU32[lenAt / 4];
      const view = new DataView(m.HEAPU8.buffer, at, len);
      let pos = 0;
      const u32 = () => { const v = view.getUint32(pos, true); pos += 4; return v; };
      const text = () => {
        const n = u32();
        const s = utf8.decode(m.HEAPU8.subarray(at + pos, at + pos + n));
        pos += n;
        return s;
      };
      const present = u32() === 1;
      const info = {};
      for (let k = u32(); k > 0; k--) {
        const key = text();
        info[key] = text();
      }
      const signatures = u32();
      const certified = u32() === 1;
      const refusal = text();
      const updatesByDefault = u32() === 1;
      let encryption = null;
      if (u32() === 1) {
        const method = text();
        const revision = u32();
        const keyBits = u32();
        const passwordNeeded = u32() === 1;
        const openedWith = [null, 'user', 'owner'][u32()] || null;
        const permissions = {};
        for (let k = u32(); k > 0; k--) {
          const key = text();
          permissions[key] = u32() === 1;
        }
        encryption = { method, revision, keyBits, passwordNeeded, openedWith, permissions };
      }
      return { present, info, signatures, certified, refusal, updatesByDefault, encryption };
    } finally {
      m._free(lenAt);
    }
  }

  /** The document information's text entries by their PDF keys ({} without any). */
  get info() {
    return this._record().info;
  }

  /** How many signatures the document carries. */
  get signatures() {
    return this._record().signatures;
  }

  /** Whether the document is certified (its certification forbids page changes). */
  get certified() {
    return this._record().certified;
  }

  /**
   * Null for a file that is not encrypted; else { method ("RC4-40",
   * "RC4-128", "AES-128", "AES-256"), revision, keyBits, passwordNeeded
   * (its user password is not empty), openedWith ("user", "owner" or null),
   * permissions: { print, "print-high", modify, assemble, annotate,
   * "fill-forms", copy, accessibility } as booleans }.
   */
  get encryption() {
    return this._record().encryption;
  }

  /** Null when an update can be appended to this file, else why not. */
  get updateRefusal() {
    return this._record().refusal || null;
  }

  /**
   * Whether the library appends updates to this document by default, as
   * the command line does: a signed document keeps its signatures that way
   * (save({ incremental: true }) appends one).
   */
  get updatesByDefault() {
    return this._record().updatesByDefault;
  }

  _select(pages) {
    const m = this._m;
    const h = this._live();
    if (pages === undefined || pages === null) return null;
    if (typeof pages === 'string') {
      const utf = encoder.encode(pages);
      const text = place(m, utf);
      try {
        const n = m._ltjs_select(h, text, utf.length);
        if (n < 0) throw lastError(m);
        const at = m._ltjs_selected(h) >>> 0;
        return Array.from(m.HEAP32.subarray(at / 4, at / 4 + n));
      } finally {
        m._free(text);
      }
    }
    const list = typeof pages === 'number' ? [pages] : Array.from(pages);
    for (const p of list)
      if (!Number.isInteger(p)) throw new TypeError('page numbers are integers (got ' + String(p) + ')');
    return list;
  }

  /**
   * Turns pages in memory and returns how many of them changed.
   * options: exactly one of `by` (90, 180, 270, -90, -180, -270) and `to`
   * (0, 90, 180, 270); `pages`: all when absent, a page number, an array of
   * numbers or the command line's page list ("1-z,x3-5", "odd", "r2-z");
   * `only`: "landscape" or "portrait" to keep just those pages.
   */
  rotate(options = {}) {
    const m = this._m;
    const h = this._live();
    const [absolute, degrees] = turnOf(m, options);
    let only = 0;
    if (options.only !== undefined && options.only !== null) {
      only = FILTERS[options.only] || 0;
      if (!only) throw new RangeError('only takes "landscape" or "portrait" (got ' + String(options.only) + ')');
    }
    return this._turn(this._select(options.pages),
      (at, n) => m._ltjs_rotate(h, at, n, absolute, degrees, only));
  }

  // Runs a turn with the page list in the module's memory (call(at, count);
  // 0 and 0 for every page): how many pages changed. A number past 32 bits
  // gets the library's range message.
  _turn(list, call) {
    const m = this._m;
    const h = this._live();
    const wide = list ? list.find((p) => p < -0x80000000 || p > 0x7fffffff) : undefined;
    if (wide !== undefined) {
      const text = place(m, encoder.encode(String(wide) + '\0'));
      m._ltjs_range_error(h, text);
      m._free(text);
      throw lastError(m);
    }
    let at = 0;
    if (list) {
      at = m._malloc(Math.max(list.length, 1) * 4) >>> 0;
      if (!at) throw new LeafturnError('out of memory');
      m.HEAP32.set(list, at / 4);
    }
    try {
      const changed = call(list ? at : 0, list ? list.length : 0);
      if (changed < 0) throw lastError(m);
      return changed;
    } finally {
      if (at) m._free(at);
    }
  }

  /**
   * The document with its turns as a new Uint8Array: a fresh PDF file, or
   * with `{incremental: true}` the input's bytes unchanged with one update
   * appended (signatures and history stay). Unchanged documents come back
   * as they were read. An encrypted file stays encrypted; one whose
   * permissions forbid turning pages is refused unless `{force: true}` or
   * it was opened with its owner password.
   */
  save(options = {}) {
    const m = this._m;
    const h = this._live();
    const size = m._ltjs_save(h, options.incremental ? 1 : 0, options.force ? 1 : 0);
    if (size < 0) throw lastError(m);
    // The core hands the output over in pieces, straight into the array
    // returned: no copy of the whole is made in the module's memory.
    let out;
    try {
      out = new Uint8Array(size);
    } catch {
      throw new LeafturnError('out of memory');
    }
    let filled = 0;
    m.ltjsTake = (at, n) => {
      out.set(m.HEAPU8.subarray(at, at + n), filled);
      filled += n;
    };
    try {
      if (!m._ltjs_emit(h)) throw lastError(m);
    } finally {
      m.ltjsTake = null;
    }
    if (filled !== size) throw new LeafturnError('internal error');
    return out;
  }

  /** Frees the document's memory; it cannot be used afterwards. */
  close() {
    if (!this._handle) return;
    if (registry) registry.unregister(this._token);
    this._m._ltjs_close(this._handle);
    this._handle = 0;
  }
}

/**
 * Loads a PDF file from its bytes (a Uint8Array, an ArrayBuffer or a
 * Buffer). Rejects with a LeafturnError carrying the library's message
 * when the file cannot be used; messages name the file `options.name`
 * ("(memory)" when absent). An encrypted file opens without a password when
 * its user password is empty; `options.password` is tried as its user and
 * then as its owner password.
 */
async function open(source, options = {}) {
  const bytes = asBytes(source);
  const name = options.name === undefined || options.name === null ? '(memory)' : String(options.name);
  const password = options.password === undefined || options.password === null ? null : options.password;
  if (password !== null && typeof password !== 'string') throw new TypeError('password is a string');
  // Offsets in PDF files the library reads are signed 32-bit numbers.
  if (bytes.length > 0x7fffffff) throw new LeafturnError('input file too large: ' + name);
  const m = await wasmModule();
  const text = place(m, encoder.encode(name + '\0'));
  // The core takes the block over: the bytes are copied once.
  const at = m._ltjs_alloc(bytes.length) >>> 0;
  if (!at) {
    m._free(text);
    throw new LeafturnError('out of memory');
  }
  m.HEAPU8.set(bytes, at);
  const secret = password === null ? 0 : place(m, encoder.encode(password + '\0'));
  const handle = m._ltjs_open(at, bytes.length, text, secret);
  m._free(text);
  if (secret) m._free(secret);
  if (!handle) throw lastError(m);
  return new Document(m, handle);
}

// The module starts as soon as the package is imported, so that it is ready
// (compiled while the caller reads its file) when the first file arrives; a
// failure to start surfaces at open().
wasmModule().catch(() => {});
