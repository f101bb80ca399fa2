// The page's Web Worker: the filter and our host (vantrel.js) for the page.
// The page runs two: one opens pictures and runs the filter over the grid's
// thumbnail and over the whole picture for saving; the other shows the
// filter's dialog over the picture. Messages from the page are described at
// each handler; everything that reaches the filter goes through ENTRYPOINT.
'use strict';
importScripts('vantrel.js', 'png.js');

const moduleOptions = {
  onProgress: (done, total) => progress(done, total),
  onViewOp: (...op) => viewOps.push(op),
  onFlush: (settings, preview) => {
    const transfer = preview ? [preview.pixels.buffer] : [];
    postMessage({ type: 'view', session, ops: viewOps.splice(0), settings, preview, done: actionsTaken }, transfer);
  },
  nextAction: () => nextAction(),
};
let moduleReady = createVantrel(moduleOptions);
let M = null;

// Results of a run, as the filter answers them.
const kCancelled = -128;
const kPicture = 0, kThumbnail = 1;
const kThumbnailSide = 192;

// A message to the page about the job at hand, with its number.
function answer(message, transfer = []) {
  postMessage({ ...message, number: currentNumber }, transfer);
}

function fail(message) {
  throw Object.assign(new Error(message), { forPage: true });
}

function moduleError() {
  return M.UTF8ToString(M._vantrel_error());
}

// Hands the page's messages their turn: a run goes on after every band.
function yieldToPage() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(0);
  });
}

let lastProgress = 0;
let progressScale = { base: 0, share: 1 };
function progress(done, total) {
  const now = performance.now();
  if (now - lastProgress < 40 && done < total) return;
  lastProgress = now;
  const part = total > 0 ? Math.min(1, done / total) : 0;
  answer({ type: 'progress', value: progressScale.base + progressScale.share * part });
}

// ---------------------------------------------------------------------------
// Opening a picture.

// The number of colour components of a JPEG file (1 grey, 3 colour, 4 CMYK),
// and its size, from its frame header; null when there is none.
function jpegFrame(bytes) {
  if (bytes[0] !== 0xff || bytes[1] !== 0xd8) return null;
  for (let at = 2; at + 9 < bytes.length;) {
    if (bytes[at] !== 0xff) return null;
    const marker = bytes[at + 1];
    if (marker === 0xff) { ++at; continue; }
    const length = (bytes[at + 2] << 8) | bytes[at + 3];
    const frame = marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc;
    if (frame) {
      return { height: (bytes[at + 5] << 8) | bytes[at + 6], width: (bytes[at + 7] << 8) | bytes[at + 8],
               components: bytes[at + 9] };
    }
    at += 2 + length;
  }
  return null;
}

// The colour profile a JPEG file carries (APP2 "ICC_PROFILE" segments, in
// their order), or null.
function jpegProfile(bytes) {
  const parts = [];
  for (let at = 2; at + 4 < bytes.length;) {
    if (bytes[at] !== 0xff) break;
    const marker = bytes[at + 1];
    if (marker === 0xda || marker === 0xd9) break;
    const length = (bytes[at + 2] << 8) | bytes[at + 3];
    const tag = String.fromCharCode(...bytes.subarray(at + 4, at + 16));
    if (marker === 0xe2 && tag === 'ICC_PROFILE\0' && length > 16) {
      parts.push({ sequence: bytes[at + 16], data: bytes.subarray(at + 18, at + 2 + length) });
    }
    at += 2 + length;
  }
  if (!parts.length) return null;
  parts.sort((a, b) => a.sequence - b.sequence);
  const profile = new Uint8Array(parts.reduce((sum, p) => sum + p.data.length, 0));
  parts.reduce((at, p) => (profile.set(p.data, at), at + p.data.length), 0);
  return profile;
}

function isTiff(bytes) {
  return (bytes[0] === 0x49 && bytes[1] === 0x49 && bytes[2] === 42) ||
         (bytes[0] === 0x4d && bytes[1] === 0x4d && bytes[3] === 42);
}

// Checked before the file is decoded, from what its header says.
function checkSize(name, width, height) {
  const why = M.UTF8ToString(M._vantrel_size_problem(width, height));
  if (why) fail(`${name}: ${why}.`);
}

function cliHint(name) {
  return `vantrel, the command-line tool, reads it: vantrel "${name}" -o out.tif --order "B R G"`;
}

// A PNG file, decoded by stb_image in the module: the file's own values,
// transparency included. Answers the chunks that say how the values are
// meant, for the saved file.
function decodePng(name, bytes) {
  const info = VantrelPng.header(bytes);
  if (!info) fail(`${name} is not a PNG file the page can read.`);
  checkSize(name, info.width, info.height);
  if (info.depth === 16) {
    fail(`${name} has 16 bits per sample; the page works at 8 bits and would lose the lower 8. ${cliHint(name)}`);
  }
  if (info.colourType === 0 || info.colourType === 4) {
    fail(`${name} is greyscale: it has no colour channels to put in another order.`);
  }
  const planes = info.colourType === 6 || info.transparency ? 4 : 3;
  const at = M._malloc(bytes.length);
  if (!at) fail(`The browser cannot give the page the memory to read ${name}.`);
  try {
    M.HEAPU8.set(bytes, at);
    if (!M._vantrel_decode_png(at, bytes.length, planes)) fail(`${name}: ${moduleError()}.`);
  } finally {
    M._free(at);
  }
  return info.chunks;
}

// Any other picture, decoded by the browser without colour conversion and
// without premultiplying. A 2D canvas keeps premultiplied pixels, so only
// opaque pixels are sure to come out of it as decoded; that is every pixel
// of a JPEG file.
async function decodeByBrowser(name, file, bytes) {
  const frame = jpegFrame(bytes);
  if (frame && frame.components === 4) fail(`${name} is a CMYK picture, which the page does not filter. ${cliHint(name)}`);
  if (frame && frame.components === 1) fail(`${name} is greyscale: it has no colour channels to put in another order.`);
  if (frame) checkSize(name, frame.width, frame.height);
  let bitmap;
  try {
    bitmap = await createImageBitmap(file, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
  } catch {
    if (isTiff(bytes)) fail(`${name} is a TIFF file, which this browser cannot decode. ${cliHint(name)}`);
    fail(`${name} is not a picture this browser can decode.`);
  }
  const { width, height } = bitmap;
  checkSize(name, width, height);
  const canvas = new OffscreenCanvas(width, height);
  const context = canvas.getContext('2d', { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  bitmap.close();
  let rgba;
  try {
    rgba = context.getImageData(0, 0, width, height).data;
  } catch {
    fail(`${name} is ${width} x ${height} pixels, more than this browser can hold.`);
  }
  let planes = 3;
  for (let i = 3; i < rgba.length; i += 4) {
    if (rgba[i] !== 255) { planes = 4; break; }
  }
  const at = M._vantrel_picture(width, height, planes);
  if (!at) fail(`${name}: ${moduleError()}.`);
  const profile = frame ? jpegProfile(bytes) : null;
  if (planes === 4) {
    M.HEAPU8.set(rgba, at);
  } else {
    const out = M.HEAPU8.subarray(at, at + width * height * 3);
    for (let i = 0, o = 0; i < rgba.length; i += 4, o += 3) {
      out[o] = rgba[i];
      out[o + 1] = rgba[i + 1];
      out[o + 2] = rgba[i + 2];
    }
  }
  // The values are the file's own, so the saved file says how they are
  // meant as the file did.
  return profile ? [await VantrelPng.profileChunk(profile)] : [];
}

// The pixels of a held picture: a copy, or a view into the module's memory.
function pixelsOf(which, from, copy) {
  const size = M._vantrel_width(which) * M._vantrel_height(which) * M._vantrel_planes(which);
  const at = from === 'source' ? M._vantrel_source(which) : M._vantrel_output(which);
  const view = M.HEAPU8.subarray(at, at + size);
  return copy ? view.slice() : view;
}

function pictureOf(which, from, copy = true) {
  return { width: M._vantrel_width(which), height: M._vantrel_height(which), planes: M._vantrel_planes(which),
           pixels: pixelsOf(which, from, copy) };
}

let keptChunks = [];

// {type: 'open', file, name}: decodes the file and holds it with its
// thumbnail; answers 'opened' with the thumbnail and a copy of the picture
// (for the dialog's worker), or 'failed' with the reason, keeping the
// picture held before.
async function open({ file, name }) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  const chunks = VantrelPng.isPng(bytes) ? decodePng(name, bytes) : await decodeByBrowser(name, file, bytes);
  if (!M._vantrel_hold(kThumbnailSide)) fail(`${name}: ${moduleError()}.`);
  keptChunks = chunks;
  const picture = pictureOf(kPicture, 'source');
  const thumbnail = pictureOf(kThumbnail, 'source');
  answer({ type: 'opened', picture, thumbnail }, [picture.pixels.buffer, thumbnail.pixels.buffer]);
}

// ---------------------------------------------------------------------------
// Runs.

// One run through ENTRYPOINT over a held picture by the classic drive, band
// by band, taking in the page's messages (Cancel among them) after start and
// after every band. Answers the run's result.
async function run(which, { order, blend, exclude }) {
  let result = M._vantrel_run_start(which, order, blend, exclude, false);
  if (cancelledJob === currentNumber) M._vantrel_cancel();
  if (result === 0) {
    do await yieldToPage(); while (M._vantrel_run_step());
  }
  result = M._vantrel_run_end();
  return result;
}

// The newest grid asked for: an older one still waiting or under way stops.
let newestGrid = 0;

// {type: 'grid', settings: {blend, exclude}}: every order of the thumbnail,
// a run each; answers a 'cell' for each, then 'grid-done' (or 'cancelled').
async function grid({ settings, generation }) {
  const count = M._vantrel_order_count();
  for (let row = 0; row < count; ++row) {
    if (generation !== newestGrid) return;
    progressScale = { base: row / count, share: 1 / count };
    const result = await run(kThumbnail, { ...settings, order: row });
    if (generation !== newestGrid) return;
    if (result === kCancelled) return answer({ type: 'cancelled', job: 'grid' });
    if (result !== 0) fail(`The filter failed on the thumbnail (result ${result}).`);
    const cell = pictureOf(kThumbnail, 'output');
    answer({ type: 'cell', row, cell }, [cell.pixels.buffer]);
  }
  answer({ type: 'grid-done' });
}

// {type: 'save', settings: {order, blend, exclude}}: the whole picture
// filtered and written as a PNG file; answers 'saved' with the file, or
// 'cancelled'. Nothing half done is answered.
async function save({ settings }) {
  progressScale = { base: 0, share: 0.9 };
  const result = await run(kPicture, settings);
  if (result === kCancelled) return answer({ type: 'cancelled', job: 'save' });
  if (result !== 0) fail(`The filter failed (result ${result}).`);
  answer({ type: 'progress', value: 0.9 });
  const out = pictureOf(kPicture, 'output', false);
  const file = await VantrelPng.encode(out.pixels, out.width, out.height, out.planes, keptChunks);
  // A Cancel while the file was being made drops it.
  if (cancelledJob === currentNumber) return answer({ type: 'cancelled', job: 'save' });
  answer({ type: 'saved', file });
}

// ---------------------------------------------------------------------------
// The dialog.

const viewOps = [];
const actions = [];
let waiting = null;
// The number of the newest action the dialog has taken (the page numbers
// them), reported with each batch, and the page's number of the dialog.
let actionsTaken = 0;
let session = 0;

function take(action) {
  actionsTaken = action.number || actionsTaken;
  return action;
}

function nextAction() {
  if (actions.length) return Promise.resolve(take(actions.shift()));
  return new Promise((resolve) => { waiting = (action) => resolve(take(action)); });
}

// Kinds of the page's actions, as web/page_dialog.cpp takes them.
const kOk = 1, kCancelAction = 2, kMove = 7;

function act(action) {
  // Moves are taken as the system takes them: the newest of a run of them.
  if (action.kind === kMove && actions.length && actions[actions.length - 1].kind === kMove) actions.pop();
  if (waiting) {
    const resolve = waiting;
    waiting = null;
    resolve(action);
  } else {
    actions.push(action);
  }
}

// {type: 'dialog', session, picture, anchor: {width, height}, settings}:
// holds the picture and shows the filter's dialog over it through the page
// until a 'close' (or the dialog's own OK or Cancel); the dialog's state
// comes as 'view' batches, its end as 'dialog-ended', each with the session.
// A 'close' sent before any dialog is open is forgotten.
async function dialog({ picture, anchor, settings, session: number }) {
  actions.length = 0;
  session = number;
  const at = M._vantrel_picture(picture.width, picture.height, picture.planes);
  if (!at) fail(moduleError());
  M.HEAPU8.set(picture.pixels, at);
  picture.pixels = null;
  if (!M._vantrel_hold(1)) fail(moduleError());
  const result = await M.ccall('vantrel_dialog', 'number', ['number', 'number', 'number', 'number', 'number'],
                               [anchor.width, anchor.height, settings.order, settings.blend, settings.exclude],
                               { async: true });
  postMessage({ type: 'dialog-ended', session, result });
}

// ---------------------------------------------------------------------------
// The page's messages. Jobs run one after the other; Cancel, the dialog's
// actions and a newer grid act at once.

// {type: 'names'}: answers the names of the RGB orders, in table order.
async function names() {
  const list = [];
  for (let i = 0; i < M._vantrel_order_count(); ++i) list.push(M.UTF8ToString(M._vantrel_order_name(i)));
  postMessage({ type: 'names', names: list });
}

let jobs = Promise.resolve();
let current = null;
// The page numbers its jobs; its Cancel names the job it cancels, which may
// not have begun here yet.
let currentNumber = 0;
let cancelledJob = 0;
const handlers = { names, open, grid, save, dialog };

onmessage = ({ data }) => {
  if (data.type === 'cancel') {
    cancelledJob = data.job;
    if (M && currentNumber === data.job) M._vantrel_cancel();
    return;
  }
  if (data.type === 'action') return act(data.action);
  if (data.type === 'close') return act({ kind: kCancelAction });
  if (data.type === 'grid') {
    data.generation = ++newestGrid;
    if (current === 'grid') M._vantrel_cancel();
  }
  jobs = jobs.then(async () => {
    M = M || await moduleReady;
    current = data.type;
    currentNumber = data.number || 0;
    try {
      await handlers[data.type](data);
    } catch (error) {
      if (error.forPage) return answer({ type: 'failed', job: data.type, message: error.message });
      // The module stopped (out of memory, say): a new one takes its place,
      // without the picture it held.
      M = null;
      moduleReady = createVantrel(moduleOptions);
      answer({ type: 'failed', job: data.type, lost: true,
               message: `The filter stopped (${error.message || error}); open the picture again.` });
    } finally {
      current = null;
      currentNumber = 0;
    }
  });
};
