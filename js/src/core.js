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

// The module's last failure as a LeafturnError with the core's message, and
// its code when a caller may act on it (ask for a password).
function lastError(m) {
  const e = new LeafturnError(cText(m, m._ltjs_error() >>> 0));
  const code = cText(m, m._ltjs_error_code() >>> 0);
  if (code) e.code = code;
  return e;
}

// The module's memory cannot grow to hold what JavaScript hands it: the
// core's failure for memory running out.
function noMemory(m) {
  m._ltjs_no_memory();
  return lastError(m);
}

// A copy of len bytes into the module's memory (freed by the caller), or a
// LeafturnError when the module cannot grow to hold them.
function place(m, bytes) {
  const p = m._malloc(Math.max(bytes.length, 1)) >>> 0;
  if (!p) throw noMemory(m);
  m.HEAPU8.set(bytes, p);
  return p;
}

// A text as a NUL-terminated string in the module's memory (freed by the
// caller).
function placeText(m, text) {
  return place(m, encoder.encode(text + '\0'));
}

function asBytes(source) {
  if (source instanceof Uint8Array) return source;  // Buffer included
  if (source instanceof ArrayBuffer) return new Uint8Array(source);
  if (ArrayBuffer.isView(source)) return new Uint8Array(source.buffer, source.byteOffset, source.byteLength);
  throw new TypeError('open() takes the bytes of a whole file: a Uint8Array, an ArrayBuffer or a Buffer');
}

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

// The core's JSON at an address, parsed.
function parsed(m, at) {
  return JSON.parse(cText(m, at));
}

// The core's refusal of a value (set by the module) as a RangeError.
function refusal(m) {
  return new RangeError(cText(m, m._ltjs_error() >>> 0));
}

// [kind (0 by, 1 to), degrees] for a turn given as by or to; the core says
// which values it takes, in its words.
function turnOf(m, options) {
  const { by, to } = options;
  if ((by === undefined || by === null) === (to === undefined || to === null))
    throw new TypeError('rotate() takes exactly one of by and to');
  const absolute = by === undefined || by === null ? 1 : 0;
  const value = absolute ? to : by;
  if (!Number.isInteger(value) || !m._ltjs_takes_turn(absolute, value)) {
    const got = placeText(m, String(value));
    m._ltjs_turn_refusal(absolute, got);
    m._free(got);
    throw refusal(m);
  }
  return [absolute, value];
}

// The page filter of an `only` option (0 when absent), as the core names
// them: "landscape" or "portrait".
function filterOf(m, only) {
  if (only === undefined || only === null) return 0;
  const name = encoder.encode(String(only));
  const at = place(m, name);
  const filter = m._ltjs_filter(at, name.length);
  m._free(at);
  if (filter < 0) throw refusal(m);
  return filter;
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
    // The core's JSON object of each page: its one encoding of page facts.
    const at = m._ltjs_pages(h, 0) >>> 0;
    if (!at) throw lastError(m);
    const facts = parsed(m, at);
    // The text is read from the content when first asked for.
    let texts = null;
    const text = () => texts || (texts = this._texts());
    return facts.map((f, k) => Object.freeze({
      /** "up", "right", "down", "left" or "none": which way the text runs as displayed now. */
      get textDirection() { return text()[k].text_direction; },
      /** How many glyphs the page's content shows. */
      get glyphs() { return text()[k].glyphs; },
      /** The images the page shows, in the order drawn (the core's JSON of each). */
      get images() { return text()[k].images; },
      number: f.number,
      rotation: f.rotation,
      ownRotation: f.own,
      inheritedRotation: f.inherited,
      width: f.width,
      height: f.height,
      orientation: f.orientation,
    }));
  }

  _texts() {
    const m = this._m;
    const at = m._ltjs_pages(this._live(), 1) >>> 0;
    if (!at) throw lastError(m);
    return parsed(m, at);
  }

  /**
   * Turns each chosen page (all when `pages` is absent; as rotate's pages;
   * `only`: "landscape" or "portrait" to keep just those pages) to the
   * rotation that shows its text upright, read from its text layer; a page
   * whose text has no direction keeps its rotation. Returns how many pages
   * changed.
   */
  upright(options = {}) {
    const m = this._m;
    const h = this._live();
    const only = filterOf(m, options.only);
    return this._turn(this._select(options.pages), (at, n) => m._ltjs_turn(h, 2, 0, at, n, only));
  }

  // What the document carries (information, signatures, whether an update
  // can be appended): the core's JSON of the document's facts, read once,
  // since turns change none of it.
  _record() {
    const h = this._live();
    if (!this._carried) {
      const m = this._m;
      const at = m._ltjs_facts(h) >>> 0;
      if (!at) throw lastError(m);
      const facts = parsed(m, at);
      const updates = m._ltjs_updates_by_default(h);
      if (updates < 0) throw lastError(m);
      const e = facts.encryption;
      this._carried = {
        info: facts.info || {},
        signatures: facts.signatures,
        certified: facts.certified,
        refusal: facts.update === true ? null : facts.update,
        updatesByDefault: updates === 1,
        encryption: e && {
          method: e.method, revision: e.revision, keyBits: e.key_bits, passwordNeeded: e.password_needed,
          openedWith: e.opened_with, permissions: e.permissions,
        },
      };
    }
    return this._carried;
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
    return this._record().refusal;
  }

  /**
   * Whether save() without `incremental` appends an update to this
   * document, as the command line does: a signed document keeps its
   * signatures that way. The core decides it.
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
    const [kind, degrees] = turnOf(m, options);
    const only = filterOf(m, options.only);
    return this._turn(this._select(options.pages),
      (at, n) => m._ltjs_turn(h, kind, degrees, at, n, only));
  }

  // Runs a turn with the page list in the module's memory (call(at, count);
  // 0 and 0 for every page): how many pages changed. A number past 32 bits
  // gets the library's range message.
  _turn(list, call) {
    const m = this._m;
    const h = this._live();
    const wide = list ? list.find((p) => p < -0x80000000 || p > 0x7fffffff) : undefined;
    if (wide !== undefined) {
      const text = placeText(m, String(wide));
      m._ltjs_range_error(h, text);
      m._free(text);
      throw lastError(m);
    }
    let at = 0;
    if (list) {
      at = m._malloc(Math.max(list.length, 1) * 4) >>> 0;
      if (!at) throw noMemory(m);
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
   * The document with its turns as a new Uint8Array. Without `incremental`
   * the library decides as the command line does: a fresh PDF file, except
   * for a signed file, which gets an update (a fresh file would break its
   * signatures); `{incremental: true}` gives the input's bytes unchanged
   * with one update appended (signatures and history stay), `{incremental:
   * false}` a fresh file. Unchanged documents come back as they were read.
   * A certified file is refused unless `{force: true}`. An encrypted file
   * stays encrypted; one whose permissions forbid turning pages is refused
   * unless `{force: true}` or it was opened with its owner password.
   * `lastSave` then says what was written.
   */
  save(options = {}) {
    const m = this._m;
    const h = this._live();
    const given = options.incremental !== undefined && options.incremental !== null;
    const mode = m._ltjs_save_mode(given ? 1 : 0, options.incremental ? 1 : 0);
    const wroteAt = m._malloc(4) >>> 0;
    if (!wroteAt) throw noMemory(m);
    let size, wrote;
    try {
      size = m._ltjs_save(h, mode, options.force ? 1 : 0, wroteAt);
      wrote = m.HEAP32[wroteAt / 4];
    } finally {
      m._free(wroteAt);
    }
    if (size < 0) throw lastError(m);
    // The core hands the output over in pieces, straight into the array
    // returned: no copy of the whole is made in the module's memory.
    let out;
    try {
      out = new Uint8Array(size);
    } catch {
      throw noMemory(m);
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
    this._lastSave = cText(m, m._ltjs_written_name(wrote) >>> 0);
    return out;
  }

  /**
   * What the last save() wrote: "update", "full" or "unchanged" (the
   * input's own bytes); null before any.
   */
  get lastSave() {
    return this._lastSave || null;
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
  const name = options.name === undefined || options.name === null ? null : String(options.name);
  const password = options.password === undefined || options.password === null ? null : options.password;
  if (password !== null && typeof password !== 'string') throw new TypeError('password is a string');
  const m = await wasmModule();
  const text = name === null ? 0 : placeText(m, name);
  // The core takes the block over: the bytes are copied once. It refuses
  // more bytes than a file may have, and says when memory is short.
  const at = m._ltjs_alloc(bytes.length, text) >>> 0;
  if (!at) {
    if (text) m._free(text);
    throw lastError(m);
  }
  m.HEAPU8.set(bytes, at);
  const secret = password === null ? 0 : placeText(m, password);
  const handle = m._ltjs_open(at, bytes.length, text, secret);
  if (text) m._free(text);
  if (secret) m._free(secret);
  if (!handle) throw lastError(m);
  return new Document(m, handle);
}

// The module starts as soon as the package is imported, so that it is ready
// (compiled while the caller reads its file) when the first file arrives; a
// failure to start surfaces at open().
wasmModule().catch(() => {});
