// The page's Web Worker: the filter and our host (vantrel.js) for the page,
// and the file writers (encoder.js, through encode.js). The page runs at
// least two: one opens pictures and runs the filter over the grid's
// thumbnail and over the whole picture for saving; the other shows the
// filter's dialog over the picture; more may convert the pictures of a
// batch. Messages from the page are described at each handler; everything
// that reaches the filter goes through ENTRYPOINT. Every job the page sends
// is answered, whatever happens to the modules or the file: a failure keeps
// the picture held before unless the filter's module stopped.
'use strict';

// The worker's own scripts. Should one not load, every job is answered with
// the reason instead of nothing at all.
const scriptsProblem = (() => {
  try {
    importScripts('model.js', 'vantrel.js', 'png.js', 'headers.js', 'encoder.js', 'encode.js');
    return null;
  } catch (error) {
    return error;
  }
})();

const moduleOptions = {
  onProgress: (done, total) => progress(done, total),
  onViewOp: (...op) => viewOps.push(op),
  onFlush: (settings, preview) => {
    const transfer = preview ? [preview.pixels.buffer] : [];
    postMessage({ type: 'view', session, ops: viewOps.splice(0), settings, preview, done: actionsTaken }, transfer);
  },
  nextAction: () => nextAction(),
};
let moduleReady = null;
let M = null;

// The filter's settings model and the page's protocol, written from the C++
// headers when the page is built.
const model = self.VantrelModel;
const kCancelled = model.results.userCanceledErr.code;
const { picture: kPicture, thumbnail: kThumbnail, batch: kBatch } = model.held;
const kThumbnailSide = 192;

// A message to the page about the job at hand, with its number.
function answer(message, transfer = []) {
  postMessage({ ...message, number: currentNumber }, transfer);
}

function fail(message) {
  throw Object.assign(new Error(message), { forPage: true });
}

// Thrown where a job stops for the page's Cancel.
const stopped = Object.freeze({ stopped: true });

function moduleError() {
  return M.UTF8ToString(M._vantrel_error());
}

function reasonOf(error) {
  return String((error && error.message) || error).replace(/\.$/, '');
}

// The module, made again after it failed to load or stopped. A module that
// cannot be made fails the job with the reason; the next job tries again.
async function theModule() {
  if (M) return M;
  if (scriptsProblem) fail(`The page's files did not all load (${reasonOf(scriptsProblem)}). Reload the page to go on.`);
  if (!moduleReady) moduleReady = createVantrel(moduleOptions);
  try {
    M = await moduleReady;
  } catch (error) {
    moduleReady = null;
    fail(`The filter could not be loaded in this browser (${reasonOf(error)}). Reload the page to try again.`);
  }
  return M;
}

// Hands the page's messages their turn: a run goes on after every band.
function yieldToPage() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(0);
  });
}

function cancelled() {
  return cancelledJob !== 0 && cancelledJob === currentNumber;
}

// Takes in the page's messages, then stops the job if the page cancelled it.
async function checkpoint() {
  await yieldToPage();
  if (cancelled()) throw stopped;
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

const compact = (name) => name.replace(/\s+/g, '').toUpperCase();

// `text` as one word of a shell's command line.
function shellWord(text) {
  return /^[\w.,+@%/=:-]+$/.test(text) ? text : `'${text.replace(/'/g, `'\\''`)}'`;
}

// The command line that filters the file with the tool, with the order
// chosen on the page, writing a file of the same kind named as the page
// names its own; and what the tool takes of that kind. For a CMYK file the
// order chosen is taken to the inks: C, M and Y for R, G and B, K kept.
function toolHint(name, order, takes, extension, cmyk = false) {
  let orderName = model.orders[order].name;
  if (cmyk) orderName = `${orderName.replace(/[RGB]/g, (c) => ({ R: 'C', G: 'M', B: 'Y' })[c])} K`;
  const output = `${name.replace(/\.[^./]*$/, '') || 'picture'}_${compact(orderName)}${extension}`;
  return `vantrel, the command-line tool, filters ${takes}: ` +
         `vantrel ${shellWord(name)} -o ${shellWord(output)} --order "${orderName}"`;
}

// For a picture beyond the page's limits, the tool's command line where
// the tool reaches (its tiles side by side), any height.
function largerHint(name, order, width, extension) {
  return width <= model.limits.mostToolWidth ? toolHint(name, order, 'larger pictures', extension) : '';
}

const inksHint = '(the order chosen taken to the inks C, M and Y, K kept)';

// Checked before the file is decoded, from what its header says.
function checkSize(name, width, height, hint) {
  const why = M.UTF8ToString(M._vantrel_size_problem(width, height));
  if (why) fail(`${name}: ${why}. ${hint}`.trim());
}

// The file's bytes, read a piece at a time so that the page's Cancel and
// the progress bar have their turn.
async function readFile(file, name) {
  const bytes = new Uint8Array(file.size);
  let at = 0;
  try {
    const reader = file.stream().getReader();
    try {
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        if (at + value.length > bytes.length) fail(`${name} changed while it was being read; open it again.`);
        bytes.set(value, at);
        at += value.length;
        progress(at, bytes.length);
        if (cancelled()) throw stopped;
      }
    } finally {
      reader.cancel().catch(() => {});
    }
  } catch (error) {
    if (error === stopped || error.forPage) throw error;
    fail(`${name} cannot be read (${reasonOf(error)}).`);
  }
  if (at !== bytes.length) fail(`${name} changed while it was being read; open it again.`);
  return bytes;
}

// A PNG file, decoded by stb_image in the module: the file's own values,
// transparency included. Answers the chunks that say how the values are
// meant, for the saved file.
function decodePng(name, bytes, order) {
  const info = VantrelPng.header(bytes);
  if (!info) fail(`${name} is not a PNG file the page can read: its header is cut short.`);
  if (info.colourType === 0 || info.colourType === 4) {
    fail(`${name} is greyscale: it has no colour channels to put in another order.`);
  }
  const hint = largerHint(name, order, info.width, '.png');
  if (info.depth === 16) {
    fail(`${name} has 16 bits per sample; the page works at 8 bits and would lose the lower 8. ` +
         toolHint(name, order, '16-bit PNG files in RGB', '.png'));
  }
  checkSize(name, info.width, info.height, hint);
  const at = M._malloc(bytes.length);
  if (!at) fail(`The browser cannot give the page the memory to read ${name}.`);
  try {
    M.HEAPU8.set(bytes, at);
    if (!M._vantrel_decode_png(at, bytes.length, info.colourType === 6 || info.transparency ? 4 : 3)) {
      fail(`${name}: ${moduleError()}.`);
    }
  } finally {
    M._free(at);
  }
  return { chunks: info.chunks, profile: null, exif: null };
}

// Why the page does not filter a TIFF file (browsers other than Safari do
// not decode TIFF), and where its first image is of a kind the tool takes
// (RGB or CMYK of 8 or 16 bits, YCbCr compressed as JPEG, which libtiff
// hands over as RGB, and palette colour, but for a palette of greys, which
// libvips reads as greyscale; not tiles of one plane each, which libvips
// does not read), the tool's command line.
function tiffProblem(name, bytes, order) {
  const image = VantrelHeaders.tiffImage(bytes);
  const problem = `${name} is a TIFF file, which this browser cannot decode.`;
  if (!image) return problem;
  const { photometric, samples, bits, format, inks, compression, planar, tiled, greyPalette } = image;
  if (photometric === 0 || photometric === 1 || greyPalette) {
    return `${name} is a greyscale TIFF file: it has no colour channels to put in another order.`;
  }
  const depth = bits.every((b) => b === bits[0]) ? bits[0] : 0;
  const whole = format === 1 && (depth === 8 || depth === 16) && !(tiled && planar === 2);
  const say = (takes, cmyk) => `${problem} ${toolHint(name, order, takes, '.tif', cmyk)}`;
  if (whole && photometric === 2 && samples >= 3) return say('TIFF files of 8- or 16-bit RGB');
  if (whole && photometric === 5 && inks === 1 && samples >= 4) return say(`CMYK TIFF files ${inksHint}`, true);
  if (whole && photometric === 6 && compression === 7 && depth === 8) return say('TIFF files of JPEG-compressed colour');
  if (photometric === 3 && greyPalette === false && samples <= 2 && [1, 2, 4, 8].includes(bits[0]) && !(tiled && planar === 2)) {
    return say('TIFF files of palette colour');
  }
  return problem;
}

// Any other picture, decoded by the browser without colour conversion and
// without premultiplying. A 2D canvas keeps premultiplied pixels, so only
// opaque pixels are sure to come out of it as decoded; that is every pixel
// of a JPEG file. A JPEG file's pixels are taken as stored, as the tool
// takes them: an Exif orientation is not applied to them but kept in the
// saved file, which a viewer turns as it turned the file opened.
async function decodeByBrowser(name, file, bytes, order) {
  const frame = VantrelHeaders.jpegFrame(bytes);
  if (frame && frame.components === 4) {
    fail(`${name} is a CMYK picture, which the page does not filter. ${toolHint(name, order, `CMYK JPEG files ${inksHint}`, '.jpg', true)}`);
  }
  if (frame && frame.components === 1) fail(`${name} is greyscale: it has no colour channels to put in another order.`);
  if (frame && frame.height > 0) checkSize(name, frame.width, frame.height, largerHint(name, order, frame.width, '.jpg'));
  let source = file;
  const orientation = frame ? VantrelHeaders.jpegOrientation(bytes) : null;
  if (orientation && orientation.value !== 1) {
    // The value 1 (upright) in the byte order of the Exif data.
    const little = VantrelHeaders.jpegExif(bytes)[0] === 0x49;
    const upright = bytes.slice();
    upright[orientation.at] = little ? 1 : 0;
    upright[orientation.at + 1] = little ? 0 : 1;
    source = new Blob([upright]);
  }
  let bitmap;
  try {
    bitmap = await createImageBitmap(source, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
  } catch {
    if (cancelled()) throw stopped;
    if (VantrelHeaders.isTiff(bytes)) fail(tiffProblem(name, bytes, order));
    if (frame && frame.precision !== 8) fail(`${name} has ${frame.precision} bits per sample, which this browser does not decode.`);
    fail(`${name} is not a picture this browser can decode.`);
  }
  try {
    await checkpoint();
    const { width, height } = bitmap;
    checkSize(name, width, height, '');
    let rgba;
    try {
      const canvas = new OffscreenCanvas(width, height);
      const context = canvas.getContext('2d', { willReadFrequently: true });
      context.drawImage(bitmap, 0, 0);
      rgba = context.getImageData(0, 0, width, height).data;
    } catch {
      fail(`${name} is ${width} x ${height} pixels, more than this browser can hold.`);
    }
    // RGBA into the module, which keeps the transparency plane only where
    // some pixel is not opaque.
    const at = M._vantrel_picture(width, height, 4);
    if (!at) fail(`${name}: ${moduleError()}.`);
    M.HEAPU8.set(rgba, at);
    rgba = null;
    M._vantrel_settle_alpha();
  } finally {
    bitmap.close();
  }
  // The values are the file's own, so the saved file says how they are
  // meant as the file did: its colour profile (JPEG, WebP, BMP) and Exif
  // data (JPEG, WebP), with the orientation a viewer turns it by.
  const chunks = [];
  const H = VantrelHeaders;
  let profile = frame ? H.jpegProfile(bytes) : H.webpChunk(bytes, 'ICCP') || H.bmpProfile(bytes);
  if (profile && profile.length) chunks.push(await VantrelPng.profileChunk(profile));
  else profile = null;
  let exif = frame ? H.jpegExif(bytes) : H.webpChunk(bytes, 'EXIF');
  if (exif && exif.length > 6 && String.fromCharCode(...exif.subarray(0, 6)) === 'Exif\0\0') exif = exif.subarray(6);
  if (exif && exif.length) chunks.push(VantrelPng.exifChunk(exif));
  else exif = null;
  return { chunks, profile: profile && profile.slice(), exif: exif && exif.slice() };
}

// How a JPEG file was written, as the tool reads it from its quantisation
// tables and frame (pictures/jpeg_settings.h): {quality, subsampling:
// '4:4:4', '4:2:2', '4:2:0' or null}; null for other files, or a header the
// tool's reading does not take.
async function jpegInputOf(bytes) {
  if (!VantrelHeaders.jpegFrame(bytes)) return null;
  const E = await theEncoder();
  const at = E._malloc(bytes.length);
  if (!at) return null;
  try {
    E.HEAPU8.set(bytes, at);
    const quality = E._vantrel_jpeg_read(at, bytes.length);
    return quality ? { quality, subsampling: E.UTF8ToString(E._vantrel_jpeg_subsampling()) || null } : null;
  } finally {
    E._free(at);
  }
}

// The file decoded into a picture of the module, not yet held: its
// metadata ({chunks, profile, exif}: the PNG chunks that say how its values
// are meant, and the colour profile and Exif data where they came as such)
// and how it was written if a JPEG (see jpegInputOf).
async function decode(name, file, bytes, order) {
  const png = VantrelPng.isPng(bytes);
  const meta = png ? decodePng(name, bytes, order) : await decodeByBrowser(name, file, bytes, order);
  return { meta, jpeg: png ? null : await jpegInputOf(bytes) };
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

// What the picture held came with: {name, meta, jpeg} (see decode()).
let held = { name: 'picture', meta: { chunks: [], profile: null, exif: null }, jpeg: null };

// {type: 'open', file, name, order}: decodes the file and holds it with its
// thumbnail; answers 'opened' with the thumbnail, a copy of the picture (for
// the dialog's worker) and `jpeg`, how a JPEG file was written ({quality,
// subsampling} as the tool reads them, else null); 'cancelled' when the
// page's Cancel came first, or 'failed' with the reason; the picture held
// before stays unless it is 'opened'. `order` is the order chosen, for the
// tool's command line in the hints.
async function open({ file, name, order }) {
  let decoded;
  try {
    progressScale = { base: 0, share: 0.4 };
    const bytes = await readFile(file, name);
    await checkpoint();
    answer({ type: 'progress', value: 0.45 });
    decoded = await decode(name, file, bytes, order);
    answer({ type: 'progress', value: 0.8 });
    await checkpoint();
    if (!M._vantrel_hold(kThumbnailSide)) fail(`${name}: ${moduleError()}.`);
    held = { name, ...decoded };
  } finally {
    try {
      M?._vantrel_drop();  // a picture decoded and not held
    } catch {
      // The module stopped; the error that stopped it is reported.
    }
  }
  const picture = pictureOf(kPicture, 'source');
  const thumbnail = pictureOf(kThumbnail, 'source');
  answer({ type: 'opened', picture, thumbnail, jpeg: decoded.jpeg }, [picture.pixels.buffer, thumbnail.pixels.buffer]);
}

// ---------------------------------------------------------------------------
// Runs.

// One run through ENTRYPOINT over a held picture by the classic drive, band
// by band, taking in the page's messages (Cancel among them) after start and
// after every band. Answers the run's result.
async function run(which, { order, blend, exclude }) {
  let result = M._vantrel_run_start(which, order, blend, exclude);
  if (cancelled()) M._vantrel_cancel();
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
  const count = model.orders.length;
  for (let row = 0; row < count; ++row) {
    if (generation !== newestGrid) return;
    progressScale = { base: row / count, share: 1 / count };
    const result = await run(kThumbnail, { ...settings, order: row });
    if (generation !== newestGrid) return;
    if (result === kCancelled) throw stopped;
    if (result !== 0) fail(`The filter failed on the thumbnail: ${model.resultText(result)}.`);
    const cell = pictureOf(kThumbnail, 'output');
    answer({ type: 'cell', row, cell }, [cell.pixels.buffer]);
  }
  answer({ type: 'grid-done' });
  // The helpers that write files on the other cores load their module now,
  // ready for a save, once the grid no longer needs the cores.
  VantrelEncode.warm();
}

// The formats files are written in, with the word a message uses for each.
const formats = { png: 'PNG', jpeg: 'JPEG', webp: 'WebP' };

// Checks a job's format and quality before any work: the format's name.
function checked(format, quality) {
  if (!Object.hasOwn(formats, format)) fail(`The page writes PNG, JPEG or WebP files, not "${format}".`);
  if (quality !== null && quality !== undefined && !(Number.isInteger(quality) && quality >= 1 && quality <= 100)) {
    fail(`The quality must be a whole number from 1 to 100, not ${quality}.`);
  }
  return formats[format];
}

// Why the picture `which` cannot be written as `format` by this browser,
// or '' when it can.
async function formatProblem(which, name, format) {
  if (format === 'jpeg' && M._vantrel_planes(which) === 4) {
    return `${name} has transparent pixels, which JPEG files cannot hold; save it as PNG or WebP.`;
  }
  if (format === 'webp' && !(await VantrelEncode.canWriteWebp())) {
    return 'This browser cannot write WebP files; save as PNG or JPEG.';
  }
  return '';
}

// The encoder module of this worker, for reading JPEG headers and making
// the pieces of a file where no helper does.
async function theEncoder() {
  try {
    return await VantrelEncode.encoder();
  } catch (error) {
    fail(`The page's file writer could not be loaded in this browser (${reasonOf(error)}). Reload the page to try again.`);
  }
}

// The filtered picture `which` written as `format` with what the picture
// came with (`from`: {meta, jpeg, name}): PNG with its chunks that say how
// the values are meant; JPEG by the tool's rule for `quality` (see
// VantrelEncode.jpegSettings) and WebP at `quality`, each with the colour
// profile and Exif data. The pieces of PNG and JPEG files are made on
// `threads` cores, a slice at a time, the page's messages taken in between,
// so that Cancel stops it at once. Answers {file, note} (note: what the file
// is written without, '' when nothing), or null when cancelled.
async function write(which, format, quality, from, threads) {
  await theEncoder();
  const picture = { width: M._vantrel_width(which), height: M._vantrel_height(which), planes: M._vantrel_planes(which),
                    // A view into the module's memory, taken afresh for every piece: should
                    // the memory grow meanwhile, an older view would be empty.
                    pixels: () => pixelsOf(which, 'output', false) };
  const options = { progress, pause: yieldToPage, stop: cancelled };
  const { meta } = from;
  const beside = async () => ({ profile: meta.profile || (await VantrelPng.profileOf(meta.chunks)),
                                exif: meta.exif || VantrelPng.exifOf(meta.chunks) });
  try {
    if (format === 'png') return { file: await VantrelEncode.png(picture, meta.chunks, threads, options), note: '' };
    const kept = await beside();
    if (format === 'jpeg') {
      const settings = VantrelEncode.jpegSettings(quality, from.jpeg);
      const file = await VantrelEncode.jpeg(picture, kept, settings, threads, options);
      return { file, note: await VantrelEncode.jpegLeftOut(kept) };
    }
    const file = await VantrelEncode.webp(picture, kept, quality);
    return { file: cancelled() ? null : file, note: '' };
  } catch (error) {
    if (error === stopped || error.forPage || moduleStopped(error)) throw error;
    fail(`${from.name} could not be written as ${formats[format]} (${reasonOf(error)}).`);
  }
}

const coresOf = (threads) => (Number.isInteger(threads) && threads > 0 ? threads : VantrelEncode.cores());

// {type: 'save', settings: {order, blend, exclude}, format, quality,
// threads}: the whole picture filtered and written as a file of `format`
// ('png', the default, 'jpeg' or 'webp'; see write() for `quality`, null
// for the tool's rule) on `threads` cores (by default every core); answers
// 'writing' when the filter is done and the file is being made, then
// 'saved' with the file (a Blob of the format's type) and `note`, what the
// file is written without ('' when nothing), or 'cancelled'. Nothing half
// done is answered.
async function save({ settings, format = 'png', quality = null, threads }) {
  checked(format, quality);
  const problem = await formatProblem(kPicture, held.name, format);
  if (problem) fail(problem);
  progressScale = { base: 0, share: 0.3 };
  const result = await run(kPicture, settings);
  if (result === kCancelled) throw stopped;
  if (result !== 0) fail(`The filter failed: ${model.resultText(result)}.`);
  progressScale = { base: 0.3, share: 0.7 };
  answer({ type: 'writing' });
  const written = await write(kPicture, format, quality, held, coresOf(threads));
  if (!written.file) throw stopped;
  answer({ type: 'saved', file: written.file, note: written.note });
}

// {type: 'convert', file, name, settings: {order, blend, exclude}, format,
// quality, threads}: a picture of a batch opened, filtered whole as for a
// save and written as a file of `format` (as for a save), without touching
// the picture held for the grid and the dialog; answers 'converted' with the
// file (and `note`, as for a save) and `jpeg` (as for 'opened'), 'failed'
// with the reason, naming the file, or 'cancelled'. A page that runs a
// worker per core for its batch gives each `threads: 1`.
async function convert({ file, name, settings, format = 'png', quality = null, threads }) {
  checked(format, quality);
  let from;
  try {
    progressScale = { base: 0, share: 0.2 };
    const bytes = await readFile(file, name);
    await checkpoint();
    from = { name, ...(await decode(name, file, bytes, settings.order)) };
    await checkpoint();
    if (!M._vantrel_hold_batch()) fail(`${name}: ${moduleError()}.`);
  } finally {
    try {
      M?._vantrel_drop();  // a picture decoded and not held
    } catch {
      // The module stopped; the error that stopped it is reported.
    }
  }
  try {
    const problem = await formatProblem(kBatch, name, format);
    if (problem) fail(problem);
    progressScale = { base: 0.25, share: 0.25 };
    const result = await run(kBatch, settings);
    if (result === kCancelled) throw stopped;
    if (result !== 0) fail(`${name}: the filter failed: ${model.resultText(result)}.`);
    progressScale = { base: 0.5, share: 0.5 };
    const written = await write(kBatch, format, quality, from, coresOf(threads));
    if (!written.file) throw stopped;
    answer({ type: 'converted', file: written.file, note: written.note, jpeg: from.jpeg });
  } finally {
    try {
      M?._vantrel_release_batch();
    } catch {
      // The module stopped; the error that stopped it is reported.
    }
  }
}

// ---------------------------------------------------------------------------
// The dialog.

const viewOps = [];
const actions = [];
let waiting = null;
// The number of the newest action the dialog has taken (the page numbers
// them), reported with each batch, and the page's number of the dialog
// shown (0: none). Every dialog numbered below `closedBefore` is closed, or
// is never shown if it has not begun.
let actionsTaken = 0;
let session = 0;
let closedBefore = 0;

function take(action) {
  actionsTaken = action.number || actionsTaken;
  return action;
}

// The next action for the dialog shown; those for dialogs closed since are
// dropped, those for a dialog not begun yet wait for it.
function nextAction() {
  for (let i = actions.length - 1; i >= 0; --i) if (actions[i].session < session) actions.splice(i, 1);
  const index = actions.findIndex((a) => a.session === session);
  if (index >= 0) return Promise.resolve(take(actions.splice(index, 1)[0]));
  return new Promise((resolve) => { waiting = (action) => resolve(take(action)); });
}

// Kinds of the page's actions, as web/page_dialog.cpp takes them.
const { cancel: kCancelAction, move: kMove } = model.pageActions;

function act(action) {
  if (action.session < closedBefore) return;
  // Moves are taken as the system takes them: the newest of a run of them.
  const last = actions[actions.length - 1];
  if (action.kind === kMove && last && last.kind === kMove && last.session === action.session) actions.pop();
  if (waiting && action.session === session) {
    const resolve = waiting;
    waiting = null;
    resolve(action);
  } else {
    actions.push(action);
  }
}

// {type: 'close', before}: closes every dialog numbered below `before`, the
// one shown and those not begun yet.
function close({ before }) {
  closedBefore = Math.max(closedBefore, before || 0);
  if (session && session < closedBefore) {
    const resolve = waiting;
    waiting = null;
    if (resolve) resolve(take({ kind: kCancelAction, session }));
    else actions.unshift({ kind: kCancelAction, session });
  }
}

// {type: 'dialog', session, picture, anchor: {width, height}, settings}:
// holds the picture and shows the filter's dialog over it through the page
// until it is closed (or the dialog's own OK or Cancel); the dialog's state
// comes as 'view' batches, its end as 'dialog-ended', each with the session.
// A dialog closed before it began is not shown: it ends at once.
async function dialog({ picture, anchor, settings, session: number }) {
  if (number < closedBefore) return postMessage({ type: 'dialog-ended', session: number, result: kCancelled });
  const at = M._vantrel_picture(picture.width, picture.height, picture.planes);
  if (!at) fail(moduleError());
  M.HEAPU8.set(picture.pixels, at);
  picture.pixels = null;
  if (!M._vantrel_hold(1)) fail(moduleError());
  session = number;
  try {
    const result = await M.ccall('vantrel_dialog', 'number', ['number', 'number', 'number', 'number', 'number'],
                                 [anchor.width, anchor.height, settings.order, settings.blend, settings.exclude],
                                 { async: true });
    postMessage({ type: 'dialog-ended', session, result });
  } finally {
    session = 0;
    waiting = null;
  }
}

// ---------------------------------------------------------------------------
// The page's messages. Jobs run one after the other; Cancel, the dialog's
// actions and closes, and a newer grid act at once.

// {type: 'formats'}: answers the formats this browser can save in ('png',
// 'jpeg', and 'webp' where the browser encodes WebP).
async function writableFormats() {
  const writes = ['png', 'jpeg', ...((await VantrelEncode.canWriteWebp()) ? ['webp'] : [])];
  postMessage({ type: 'formats', formats: writes });
}

let jobs = Promise.resolve();
let current = null;
// The page numbers its jobs; its Cancel names the job it cancels, which may
// not have begun here yet.
let currentNumber = 0;
let cancelledJob = 0;
const handlers = { formats: writableFormats, open, grid, save, convert, dialog };
const writes = new Set(['open', 'save', 'convert']);

// A fault of the module itself (a trap, its stack or memory overrun), after
// which it cannot be trusted; anything else leaves it as it was.
function moduleStopped(error) {
  return (typeof WebAssembly === 'object' && error instanceof WebAssembly.RuntimeError) ||
         /wasm-function|wasm:\/\//.test((error && error.stack) || '');
}

// Answers what came of a job that did not end as it should.
function report(data, error) {
  const about = { job: data.type, session: data.session };
  if (error === stopped) return answer({ type: 'cancelled', ...about });
  if (error && error.forPage) return answer({ type: 'failed', ...about, message: error.message });
  if (!moduleStopped(error)) {
    const what = data.name ? `${data.name} could not be ${data.type === 'open' ? 'opened' : data.type === 'convert' ? 'converted' : 'used'}` : 'The page failed';
    return answer({ type: 'failed', ...about, message: `${what}: ${reasonOf(error)}.` });
  }
  // The module stopped (out of memory, say): a new one takes its place,
  // without the picture it held.
  M = null;
  moduleReady = null;
  answer({ type: 'failed', ...about, lost: true,
           message: `The filter stopped (${reasonOf(error)}); open the picture again.` });
}

async function perform(data) {
  current = data.type;
  currentNumber = data.number || 0;
  try {
    if (cancelled()) throw stopped;
    // For the jobs that read pictures or write files, the writers' module
    // loads meanwhile, ready for the first JPEG header read and the first
    // file written; a failure is reported when it is used.
    if (self.VantrelEncode && writes.has(data.type)) VantrelEncode.encoder().catch(() => {});
    await theModule();
    await handlers[data.type](data);
  } catch (error) {
    report(data, error);
  } finally {
    current = null;
    currentNumber = 0;
  }
}

onmessage = ({ data }) => {
  switch (data.type) {
    case 'cancel':
      cancelledJob = data.job;
      if (M && currentNumber === data.job) M._vantrel_cancel();
      return;
    case 'action': return act(data.action);
    case 'close': return close(data);
    case 'grid':
      data.generation = ++newestGrid;
      if (M && current === 'grid') M._vantrel_cancel();
      break;
    default: break;
  }
  if (!handlers[data.type]) return;
  jobs = jobs.then(() => perform(data));
};
