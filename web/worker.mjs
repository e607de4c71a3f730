// SPDX-License-Identifier: MIT
// The page's core: leafturn runs here, off the page's own thread, so that a
// large file never holds the page while it is opened, turned or saved. One
// document at a time; requests are answered in the order they came.
import { open } from './leafturn/index.mjs';

let doc = null;
let queue = Promise.resolve();

const rotations = () => doc.pages.map((p) => p.rotation);
// Which way each page's text runs as displayed now ("up", "right", ...).
const directions = () => doc.pages.map((p) => p.textDirection);
// The pages a choice of the page's names (all, odd, even, landscape,
// portrait) stands for, as the library's options.
function chosen(which) {
  if (which === 'landscape' || which === 'portrait') return { only: which };
  return which === 'all' ? {} : { pages: which };
}

async function handle({ op, args }) {
  switch (op) {
    case 'open':
      if (doc) doc.close();
      doc = null;
      doc = await open(args.bytes, { name: args.name, password: args.password });
      // Whether a save appends an update (a signed file) is the library's
      // answer, as is why none can be appended.
      return { rotations: rotations(), directions: directions(), updates: doc.updatesByDefault,
        refusal: doc.updateRefusal, encryption: doc.encryption };
    case 'rotate':
      doc.rotate(args);
      return { rotations: rotations(), directions: directions() };
    case 'upright':
      doc.upright(chosen(args.which));
      return { rotations: rotations(), directions: directions() };
    case 'save': {
      // Without a choice of the user's, the library decides (an update for
      // a signed file).
      const bytes = doc.save(args.incremental === undefined ? {} : { incremental: args.incremental });
      return { bytes, wrote: doc.lastSave };
    }
    case 'close':
      if (doc) doc.close();
      doc = null;
      return {};
    default:
      throw new Error('unknown request ' + op);
  }
}

self.onmessage = ({ data }) => {
  queue = queue.then(async () => {
    try {
      const result = await handle(data);
      self.postMessage({ id: data.id, ok: true, result }, result.bytes ? [result.bytes.buffer] : []);
    } catch (e) {
      self.postMessage({ id: data.id, ok: false, message: e && e.message ? e.message : String(e),
        code: e && e.code });
    }
  });
};
