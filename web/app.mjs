// SPDX-License-Identifier: MIT
// The page: a PDF file chosen or dropped is opened by leafturn (the core in
// WebAssembly, in a worker of the page: worker.mjs) and drawn by pdf.js;
// pages are turned with clicks and saved as a download. Nothing leaves the
// tab.
//
// Its contract, for tests and anyone who automates it: the file input is
// input#file; each page is an element with data-page="N" and
// data-rotation="R" (the rotation it will be saved with) holding its
// thumbnail and two buttons, button[data-turn="-90"] and
// button[data-turn="90"], and data-text="D", which way its text runs as
// shown ("up", "right", "down", "left", "none"; a page whose text is not
// up carries the class "sideways": Upright would turn it);
// button#upright turns the chosen pages upright; button#save starts the
// download and then carries data-wrote, what the library wrote ("update",
// "full" or "unchanged"); input#incremental shows whether a save appends an
// update, as the library decides until it is changed; #error holds the
// message of a failure; form#unlock with input#password asks for the
// password of an encrypted file that needs one.
import * as pdfjs from './pdfjs/pdf.min.mjs';

pdfjs.GlobalWorkerOptions.workerSrc = new URL('./pdfjs/pdf.worker.min.mjs', import.meta.url).href;
const PDFJS_ASSETS = {
  cMapUrl: new URL('./pdfjs/cmaps/', import.meta.url).href,
  cMapPacked: true,
  standardFontDataUrl: new URL('./pdfjs/standard_fonts/', import.meta.url).href,
  wasmUrl: new URL('./pdfjs/wasm/', import.meta.url).href,
  isEvalSupported: false,
};
const THUMB = 150;  // CSS pixels of a thumbnail's longer side

const $ = (id) => document.getElementById(id);
const fileInput = $('file');
const list = $('pages');
const tools = $('tools');
const errorBox = $('error');
const statusBox = $('status');
const saveButton = $('save');
const uprightButton = $('upright');
const incremental = $('incremental');
const unlock = $('unlock');
const passwordInput = $('password');
const passwordLabel = $('password-label');

// The core, in its worker: call(op, args) answers with the result or
// rejects with the library's message.
const core = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
const waiting = new Map();
let nextId = 1;
core.onmessage = ({ data }) => {
  const w = waiting.get(data.id);
  waiting.delete(data.id);
  if (data.ok) w.resolve(data.result);
  else w.reject(Object.assign(new Error(data.message), { code: data.code }));
};
core.onerror = (e) => {
  for (const w of waiting.values()) w.reject(new Error(e.message || 'the page\'s worker failed'));
  waiting.clear();
};
function call(op, args = {}, transfer = []) {
  return new Promise((resolve, reject) => {
    const id = nextId++;
    waiting.set(id, { resolve, reject });
    core.postMessage({ id, op, args }, transfer);
  });
}

// What is open now.
let current = null;  // { name, task, viewer, items, original, observer }

function showError(message) {
  errorBox.textContent = message;
  errorBox.hidden = false;
}

function clearError() {
  errorBox.textContent = '';
  errorBox.hidden = true;
}

function status(text) {
  statusBox.textContent = text;
}

// Releases a pdf.js document: its loading task owns it (and its worker's
// share), whether it finished loading or not.
function release(state) {
  const task = state.task;
  state.task = null;
  state.viewer = null;
  if (task) task.destroy().catch(() => {});
}

function close() {
  const state = current;
  current = null;
  list.replaceChildren();
  tools.hidden = true;
  if (!state) return;
  state.observer.disconnect();
  release(state);
}

function summary() {
  const pages = current.items.length;
  const turned = current.items.filter((li) => li.classList.contains('changed')).length;
  return `${current.name}: ${pages} page${pages === 1 ? '' : 's'}` +
    (turned ? `, ${turned} turned` : '');
}

const TEXT_RUNS = { right: 'its text runs sideways (tops right)', down: 'its text is upside down',
  left: 'its text runs sideways (tops left)' };

// The rotation each page will be saved with, and which way its text runs
// then, shown on its element; the Upright button says how many pages it
// would turn.
function refresh(rotations, directions) {
  rotations.forEach((rotation, k) => {
    const li = current.items[k];
    const direction = directions[k];
    if (li.dataset.rotation === String(rotation) && li.dataset.text === direction) return;
    li.dataset.rotation = String(rotation);
    li.dataset.text = direction;
    li.classList.toggle('changed', rotation !== current.original[k]);
    const sideways = direction !== 'up' && direction !== 'none';
    li.classList.toggle('sideways', sideways);
    li.querySelector('.caption').textContent = `Page ${k + 1} · ${rotation}°` + (sideways ? ' · text \u21BB' : '');
    li.title = sideways ? `Page ${k + 1}: ${TEXT_RUNS[direction]}; Upright turns it` : '';
    const canvas = li.querySelector('canvas');
    if (canvas) canvas.style.transform = `rotate(${rotation}deg)`;
  });
  const wouldTurn = directions.filter((d) => d !== 'up' && d !== 'none').length;
  uprightButton.textContent = wouldTurn ? `Upright (${wouldTurn} page${wouldTurn === 1 ? '' : 's'})` : 'Upright';
  uprightButton.setAttribute('aria-label', wouldTurn
    ? `Turn the chosen pages upright: ${wouldTurn} page${wouldTurn === 1 ? '' : 's'} of the file show their text sideways or upside down`
    : 'Turn the chosen pages upright: every page with text shows it upright');
  status(summary());
}

function pageItem(n, rotation) {
  const li = document.createElement('li');
  li.dataset.page = String(n);
  li.dataset.rotation = String(rotation);
  li.setAttribute('aria-label', `Page ${n}`);
  const frame = document.createElement('div');
  frame.className = 'frame';
  const blank = document.createElement('div');
  blank.className = 'blank';
  frame.append(blank);
  const caption = document.createElement('span');
  caption.className = 'caption';
  caption.textContent = `Page ${n} · ${rotation}°`;
  const turns = document.createElement('div');
  turns.className = 'turns';
  for (const [degrees, label, sign] of [[-90, 'left', '\u21B6'], [90, 'right', '\u21B7']]) {
    const b = document.createElement('button');
    b.type = 'button';
    b.dataset.turn = String(degrees);
    b.textContent = sign;
    b.setAttribute('aria-label', `Turn page ${n} ${label}`);
    b.title = `Turn ${label}`;
    turns.append(b);
  }
  li.append(frame, caption, turns);
  return li;
}

// Thumbnails are drawn one at a time as pages come into view, unrotated;
// the page's rotation is shown by turning the drawing. Each document has
// its own queue, so a drawing cut short by closing it never holds up the
// next one's.
function draw(state, li) {
  state.queue = state.queue.then(async () => {
    if (current !== state || !state.viewer || li.querySelector('canvas')) return;
    try {
      const page = await state.viewer.getPage(Number(li.dataset.page));
      const base = page.getViewport({ scale: 1, rotation: 0 });
      const scale = THUMB / Math.max(base.width, base.height);
      const ratio = window.devicePixelRatio || 1;
      const viewport = page.getViewport({ scale: scale * ratio, rotation: 0 });
      const canvas = document.createElement('canvas');
      canvas.width = Math.max(1, Math.floor(viewport.width));
      canvas.height = Math.max(1, Math.floor(viewport.height));
      canvas.style.width = `${Math.floor(base.width * scale)}px`;
      canvas.style.height = `${Math.floor(base.height * scale)}px`;
      canvas.setAttribute('role', 'img');
      canvas.setAttribute('aria-label', `Thumbnail of page ${li.dataset.page}`);
      await page.render({ canvas, canvasContext: canvas.getContext('2d'), viewport }).promise;
      page.cleanup();
      if (current !== state) return;
      canvas.style.transform = `rotate(${li.dataset.rotation}deg)`;
      li.querySelector('.frame').replaceChildren(canvas);
    } catch (e) {
      li.querySelector('.frame').title = 'No thumbnail: ' + (e && e.message ? e.message : e);
    }
  });
}

let loads = 0;  // the latest load; an earlier one that finishes later gives way
let asking = null;  // the file whose password the form asks for

// Asks for the password of `file`: the library needs it to read the file
// (its pages are not shown), or pdf.js needs it to draw them.
function askPassword(file, label) {
  asking = file;
  passwordLabel.textContent = label;
  passwordInput.value = '';
  unlock.hidden = false;
  passwordInput.focus();
}

function stopAsking() {
  asking = null;
  unlock.hidden = true;
}

// Opens a file in place of whatever was open (with the password typed in,
// for an encrypted one); any failure on the way shows in #error and leaves
// the page ready for the next file.
async function load(file, password = null) {
  const generation = ++loads;
  if (password === null) stopAsking();
  try {
    await open(file, generation, password);
  } catch (e) {
    if (generation !== loads) return;
    close();
    showError(e && e.message ? e.message : String(e));
    status('');
  }
}

async function open(file, generation, password) {
  clearError();
  close();
  status(`Opening ${file.name}…`);
  let bytes;
  try {
    bytes = new Uint8Array(await file.arrayBuffer());
  } catch (e) {
    if (generation !== loads) return;
    showError(`cannot read ${file.name}: ${e && e.message ? e.message : e}`);
    status('');
    return;
  }
  if (generation !== loads) return;
  let opened;
  try {
    // The worker gets its own copy; pdf.js takes the other.
    const copy = bytes.slice();
    opened = await call('open', { bytes: copy, name: file.name, password }, [copy.buffer]);
  } catch (e) {
    if (generation !== loads) return;
    if (e.code === 'LEAFTURN_PASSWORD_NEEDED' || e.code === 'LEAFTURN_PASSWORD_WRONG') {
      // The library's words: which file, and that it needs its password.
      askPassword(file, e.message);
      if (e.code === 'LEAFTURN_PASSWORD_WRONG') showError(e.message);
    } else {
      showError(e.message);
    }
    status('');
    return;
  }
  if (generation !== loads) return;
  const enc = opened.encryption;
  // The library turns this file without its password; pdf.js needs it to
  // draw the pages.
  if (enc && enc.passwordNeeded && !enc.openedWith) {
    askPassword(file, `Type ${file.name}'s password to see its pages`);
  } else {
    stopAsking();
  }
  const rotations = opened.rotations;
  const observer = new IntersectionObserver((entries) => {
    for (const e of entries) {
      if (e.isIntersecting) {
        observer.unobserve(e.target);
        draw(state, e.target);
      }
    }
  }, { rootMargin: '400px' });
  const state = {
    name: file.name, task: null, viewer: null, observer, queue: Promise.resolve(),
    original: rotations,
    items: rotations.map((r, k) => pageItem(k + 1, r)),
  };
  current = state;
  list.replaceChildren(...state.items);
  refresh(rotations, opened.directions);
  // The box shows what the library does without a choice (an update for a
  // signed file); it is disabled with the library's reason when no update
  // can be appended. Saving leaves the choice to the library until the box
  // is changed.
  state.chosen = undefined;
  incremental.checked = opened.updates;
  incremental.disabled = opened.refusal !== null;
  incremental.parentElement.title = opened.refusal || '';
  tools.hidden = false;
  status(summary());
  let viewer;
  try {
    state.task = pdfjs.getDocument({ data: bytes, ...PDFJS_ASSETS, ...(password !== null ? { password } : {}) });
    viewer = await state.task.promise;
  } catch (e) {
    if (current === state) {
      status(`${summary()} (no thumbnails: ${e && e.message ? e.message : e})`);
      release(state);
    }
    return;
  }
  // Closed while pdf.js was loading: close() released it already.
  if (current !== state) return;
  state.viewer = viewer;
  for (const li of state.items) observer.observe(li);
}

async function turn(options) {
  if (!current) return;
  const state = current;
  clearError();
  try {
    const { rotations, directions } = await call(options.upright ? 'upright' : 'rotate', options);
    if (current === state) refresh(rotations, directions);
  } catch (e) {
    if (current === state) showError(e.message);
  }
}

async function save() {
  if (!current) return;
  const state = current;
  clearError();
  status(`${summary()}. Saving…`);
  let bytes, wrote;
  try {
    ({ bytes, wrote } = await call('save', { incremental: state.chosen }));
  } catch (e) {
    if (current === state) {
      showError(e.message);
      status(summary());
    }
    return;
  }
  if (current !== state) return;
  const name = current.name.replace(/\.pdf$/i, '') + '-turned.pdf';
  const url = URL.createObjectURL(new Blob([bytes], { type: 'application/pdf' }));
  const a = document.createElement('a');
  a.href = url;
  a.download = name;
  document.body.append(a);
  a.click();
  a.remove();
  setTimeout(() => URL.revokeObjectURL(url), 60000);
  const how = wrote === 'update' ? ', an appended update' : wrote === 'unchanged' ? ', unchanged' : '';
  status(`${summary()}. Saved ${name} (${(bytes.length / 1024).toFixed(0)} KB${how}).`);
  saveButton.dataset.wrote = wrote;
}

fileInput.addEventListener('change', () => {
  if (fileInput.files.length) load(fileInput.files[0]);
});

list.addEventListener('click', (e) => {
  const button = e.target.closest('button[data-turn]');
  if (!button) return;
  const li = button.closest('[data-page]');
  turn({ by: Number(button.dataset.turn), pages: [Number(li.dataset.page)] });
});

function turnChosen(by) {
  const which = $('which').value;
  if (which === 'landscape' || which === 'portrait') turn({ by, only: which });
  else turn({ by, pages: which === 'all' ? undefined : which });
}
$('turn-left').addEventListener('click', () => turnChosen(-90));
uprightButton.addEventListener('click', () => turn({ upright: true, which: $('which').value }));
$('turn-right').addEventListener('click', () => turnChosen(90));
saveButton.addEventListener('click', save);
incremental.addEventListener('change', () => {
  if (current) current.chosen = incremental.checked;
});
unlock.addEventListener('submit', (e) => {
  e.preventDefault();
  if (asking) load(asking, passwordInput.value);
});

// A file dropped anywhere on the page.
document.addEventListener('dragover', (e) => {
  e.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (e) => {
  if (!e.relatedTarget) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (e) => {
  e.preventDefault();
  document.body.classList.remove('dragging');
  const file = e.dataTransfer && e.dataTransfer.files[0];
  if (file) load(file);
});
