// The page's worker (worker.js of the built page, with the modules and
// scripts beside it) under Node, in a context of its own that stands in for
// a Web Worker's global scope, for what a browser cannot be made to show on
// demand: the module's loading held back or failing, a file that cannot be
// read, the module's run calls out of turn, helpers that stop; and the
// files it saves and converts against the tool's (vantrel, beside the page's
// build or given), both read by libvips. Each case's table says what is sent
// and what must be answered.
//   node tests/web/worker_test.js build/web/page [VANTREL]
'use strict';
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const vm = require('node:vm');
const zlib = require('node:zlib');
const { execFileSync } = require('node:child_process');
const { pngChunk, pngOf } = require('../../web/tools/png_file.cjs');

const folder = process.argv[2];
const tool = process.argv[3] || path.join(folder, '..', '..', 'native', 'bin', 'vantrel');
const binaries = { 'vantrel.js': ['createVantrel', fs.readFileSync(path.join(folder, 'vantrel.wasm'))],
                   'encoder.js': ['createVantrelEncoder', fs.readFileSync(path.join(folder, 'encoder.wasm'))] };
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'vantrel-worker-test-'));
process.on('exit', () => fs.rmSync(work, { recursive: true, force: true }));

// A scope like a worker's running `script`: its scripts loaded from the
// page's folder, its modules made from their binaries (the filter's first
// waiting for the promise `loads` answers, and failing when that fails).
// `browser` adds stand-ins for what a browser gives a worker: picture
// decoding by libvips (JPEG files as the tool decodes them), a canvas that
// writes WebP by libvips (lossless at quality 1, as Chromium's) unless
// `webp` is false, helper workers (each a scope of its own; `helperFails`
// makes the scripts of every other one fail to load) and two cores.
function scope(script, post, { loads = () => Promise.resolve(), browser = false, helperFails = false, scriptsFail = false,
                               webp = true } = {}) {
  const context = vm.createContext({
    console, performance, MessageChannel, Blob, Response, CompressionStream, DecompressionStream, TextEncoder,
    TextDecoder, WebAssembly, setTimeout, clearTimeout, URL, ReadableStream, structuredClone,
    location: { href: `file://${folder}/${script}` }, postMessage: post, close: () => {},
  });
  context.self = context;
  context.importScripts = (...names) => {
    if (scriptsFail) throw new Error('the scripts did not load');
    for (const name of names) {
      vm.runInContext(fs.readFileSync(path.join(folder, name), 'utf8'), context, { filename: name });
      if (!binaries[name]) continue;
      const [factory, wasmBinary] = binaries[name];
      const create = context[factory];
      const wait = factory === 'createVantrel' ? loads : () => Promise.resolve();
      context[factory] = (options) => wait().then(() => create({ ...options, wasmBinary }));
    }
  };
  if (browser) Object.assign(context, browserStandIns(helperFails, webp));
  vm.runInContext(fs.readFileSync(path.join(folder, script), 'utf8'), context, { filename: script });
  return context;
}

function browserStandIns(helperFails, webp) {
  let started = 0;
  const piecesMade = [];  // by each helper
  class Worker {
    constructor(script) {
      const index = piecesMade.push(0) - 1;
      this.inner = scope(script, (message, transfer) => {
        const copy = structuredClone(message, { transfer });
        if (copy.bytes) ++piecesMade[index];
        setImmediate(() => this.onmessage?.({ data: copy }));
      }, { scriptsFail: helperFails && started++ % 2 === 0 });
    }
    postMessage(message, transfer) {
      const copy = structuredClone(message, { transfer });
      setImmediate(() => this.inner.onmessage({ data: copy }));
    }
  }
  class OffscreenCanvas {
    constructor(width, height) {
      Object.assign(this, { width, height });
    }
    getContext() {
      return { drawImage: (bitmap) => { this.drawn = bitmap; }, getImageData: () => ({ data: this.drawn.rgba }),
               createImageData: (w, h) => ({ data: new Uint8ClampedArray(w * h * 4) }),
               putImageData: (image) => { this.drawn = { rgba: image.data }; } };
    }
    async convertToBlob({ type, quality = 0.8 }) {
      if (!webp || type !== 'image/webp') return new Blob([], { type: 'image/png' });
      const raw = path.join(work, `canvas-${process.hrtime.bigint()}`);
      fs.writeFileSync(raw, this.drawn ? this.drawn.rgba : new Uint8Array(this.width * this.height * 4));
      execFileSync('vips', ['rawload', raw, `${raw}.v`, String(this.width), String(this.height), '4']);
      execFileSync('vips', ['webpsave', `${raw}.v`, `${raw}.webp`, ...(quality >= 1 ? ['--lossless'] : ['--Q', String(Math.round(quality * 100))])]);
      return new Blob([fs.readFileSync(`${raw}.webp`)], { type: 'image/webp' });
    }
  }
  const createImageBitmap = async (blob) => {
    const file = path.join(work, `decoded-${process.hrtime.bigint()}`);
    fs.writeFileSync(file, Buffer.from(await blob.arrayBuffer()));
    const { width, height, bands, pixels } = readPicture(file);
    const rgba = new Uint8ClampedArray(width * height * 4);
    for (let i = 0, o = 0; o < rgba.length; i += bands, o += 4) {
      rgba.set(pixels.subarray(i, i + 3), o);
      rgba[o + 3] = bands === 4 ? pixels[i + 3] : 255;
    }
    return { width, height, rgba, close() {} };
  };
  return { Worker, OffscreenCanvas, createImageBitmap, navigator: { hardwareConcurrency: 2 }, piecesMade };
}

// A worker of the page, started as scope() starts it. Answers {send,
// answers, next(test)}.
function startWorker(options = {}) {
  const answers = [];
  const context = scope('worker.js', (message) => answers.push(message), options);
  let seen = 0;
  return {
    context,
    answers,
    send: (data) => context.onmessage({ data }),
    // The first answer after those taken before that passes `test`, within 5 s.
    async next(test, what, seconds = 5) {
      for (const deadline = Date.now() + seconds * 1000; Date.now() < deadline;) {
        const index = answers.findIndex((a, i) => i >= seen && test(a));
        if (index >= 0) {
          seen = index + 1;
          return answers[index];
        }
        await new Promise((resolve) => setTimeout(resolve, 5));
      }
      throw new Error(`no answer ${what}; answers: ${JSON.stringify(answers.map((a) => a.type + ':' + (a.message || a.session || '')))}`);
    },
  };
}


// A small picture: RGB pixels, and the same as a PNG file of our own writer.
const picture = { width: 8, height: 6, planes: 3, pixels: new Uint8Array(8 * 6 * 3).map((_, i) => (i * 37) & 255) };
const dialogOf = (session) => ({ type: 'dialog', session, picture: { ...picture, pixels: picture.pixels.slice() },
                                 anchor: { width: 64, height: 48 }, settings: { order: 1, blend: 0, exclude: 0 } });

// ---------------------------------------------------------------------------
// Pictures in files, made here and read by libvips.

// A picture like a photograph's: smooth light with grain, tall enough to be
// written in several pieces; with transparency of every degree on 4 planes.
function photo(width, height, planes) {
  const pixels = new Uint8Array(width * height * planes);
  let seed = 0x2545f491;
  for (let y = 0, i = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x, i += planes) {
      seed = (Math.imul(seed, 1664525) + 1013904223) >>> 0;
      const grain = (seed >>> 28) - 8;
      pixels[i] = Math.max(0, Math.min(255, (x * 255) / width + grain));
      pixels[i + 1] = Math.max(0, Math.min(255, 128 + 100 * Math.sin(y / 37) + grain));
      pixels[i + 2] = Math.max(0, Math.min(255, ((x + y) % 256) + grain));
      if (planes === 4) pixels[i + 3] = (x * 7 + y) & 255;
    }
  }
  return { width, height, planes, pixels };
}

// {width, height, bands, pixels} of a picture file as libvips reads it.
function readPicture(file) {
  const field = (name) => Number(execFileSync('vipsheader', ['-f', name, file]).toString().trim());
  const raw = `${file}.raw`;
  execFileSync('vips', ['rawsave', file, raw]);
  return { width: field('width'), height: field('height'), bands: field('bands'), pixels: fs.readFileSync(raw) };
}

// What libvips says of a file beside its pixels: field: value lines.
function headerOf(file) {
  return Object.fromEntries(execFileSync('vipsheader', ['-a', file]).toString().split('\n')
    .map((line) => line.split(/: (.*)/s)).filter((pair) => pair.length > 1));
}

// Why a PNG file is not whole, or '': a chunk's checksum wrong, or image
// data that zlib does not inflate to the rows (its Adler-32 checked), which
// libvips' reader lets pass.
function pngProblem(bytes) {
  const data = [];
  for (let at = 8; at + 12 <= bytes.length;) {
    const length = bytes.readUInt32BE(at), type = bytes.toString('latin1', at + 4, at + 8);
    const whole = pngChunk(type, bytes.subarray(at + 8, at + 8 + length));
    if (!whole.equals(bytes.subarray(at, at + 12 + length))) return `the ${type} chunk's checksum is wrong`;
    if (type === 'IDAT') data.push(whole.subarray(8, 8 + length));
    at += 12 + length;
  }
  try {
    zlib.inflateSync(Buffer.concat(data));
  } catch (error) {
    return `its image data do not inflate (${error.message})`;
  }
  return '';
}

// Why two picture files hold other pixels, or '' when they hold the same.
function differs(file, want) {
  if (file.endsWith('.png')) {
    const why = pngProblem(fs.readFileSync(file));
    if (why) return why;
  }
  const a = readPicture(file), b = readPicture(want);
  if (a.width !== b.width || a.height !== b.height || a.bands !== b.bands) {
    return `${a.width} x ${a.height} x ${a.bands}, not ${b.width} x ${b.height} x ${b.bands}`;
  }
  let count = 0, most = 0;
  for (let i = 0; i < a.pixels.length; ++i) {
    const d = Math.abs(a.pixels[i] - b.pixels[i]);
    if (d) ++count;
    most = Math.max(most, d);
  }
  return count ? `${count} samples differ, by up to ${most}` : '';
}

const blends = ['none', 'cross', 'mix', 'both'];
// The tool's file of `input` with the settings, as `extension`.
function toolFile(input, { order, blend }, extension, quality) {
  const out = path.join(work, `tool-${path.basename(input)}-${order}-${blend}-${quality}${extension}`);
  execFileSync(tool, ['-q', input, '-o', out, '--order-index', String(order), '--blend', blends[blend],
                      ...(quality ? ['--quality', String(quality)] : [])]);
  return out;
}

async function saveFile(blob, name) {
  const file = path.join(work, name);
  fs.writeFileSync(file, Buffer.from(await blob.arrayBuffer()));
  return file;
}

// Exif data (a TIFF structure, little-endian) saying the picture is turned
// a quarter right (orientation 6).
const exif = Buffer.from([0x49, 0x49, 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0]);

// libvips' own sRGB profile, taken from the iCCP chunk of a file it writes.
function srgbProfile() {
  const tiny = path.join(work, 'tiny.png');
  execFileSync('vips', ['black', `${tiny}.v`, '2', '2', '--bands', '3']);
  execFileSync('vips', ['icc_transform', `${tiny}.v`, tiny, 'srgb']);
  const bytes = fs.readFileSync(tiny);
  const at = bytes.indexOf('iCCP') + 4, length = bytes.readUInt32BE(at - 8);
  const data = bytes.subarray(at, at + length);
  return zlib.inflateSync(data.subarray(data.indexOf(0) + 2));
}
let profile = null;

// The inputs, made once: a photograph as PNG with a profile and Exif data,
// the same with transparency, and as JPEG files at a quality and chroma
// subsampling of their own (4:2:0 and 4:4:4 by libvips, 4:2:2 by ImageMagick).
let inputs = null;
function makeInputs() {
  if (inputs) return inputs;
  const file = (name) => path.join(work, name);
  profile = srgbProfile();
  const meta = [pngChunk('iCCP', Buffer.concat([Buffer.from('test\0\0', 'latin1'), zlib.deflateSync(profile)])),
                pngChunk('eXIf', exif)];
  fs.writeFileSync(file('photo.png'), pngOf(photo(300, 2500, 3), meta));
  fs.writeFileSync(file('alpha.png'), pngOf(photo(200, 1500, 4)));
  execFileSync('vips', ['copy', file('photo.png'), `${file('q83.jpg')}[Q=83,strip]`]);
  execFileSync('vips', ['copy', file('photo.png'), `${file('q95.jpg')}[Q=95,strip]`]);
  execFileSync('convert', [file('photo.png'), '-strip', '-quality', '70', '-sampling-factor', '2x1', file('s422.jpg')]);
  inputs = file;
  return file;
}

const cases = [
  ['a dialog closed while the module loads is never shown; the next one is', async () => {
    let open;
    const gate = new Promise((resolve) => { open = resolve; });
    const w = startWorker({ loads: () => gate });
    for (const session of [1, 2]) {
      w.send({ type: 'close', before: session });
      w.send(dialogOf(session));
    }
    open();
    await w.next((a) => a.type === 'view' && a.session === 2, 'of the second dialog');
    w.send({ type: 'close', before: 3 });
    await w.next((a) => a.type === 'dialog-ended' && a.session === 2, 'ending the second dialog');
  }],
  ['a module that fails to load answers each job, and loads at the next', async () => {
    let attempts = 0;
    const w = startWorker({ loads: () => (++attempts === 1 ? Promise.reject(new Error('no memory')) : Promise.resolve()) });
    w.send({ type: 'formats', number: 1 });
    const failed = await w.next((a) => a.type === 'failed', 'to the first job');
    if (!/could not be loaded/.test(failed.message)) throw new Error(failed.message);
    w.send({ type: 'formats' });
    await w.next((a) => a.type === 'formats', 'from the module loaded again');
  }],
  ['a file that cannot be read is refused by name and the picture held stays', async () => {
    const w = startWorker();
    w.send({ type: 'open', number: 1, name: 'held.png', order: 1, file: new Blob([pngOf(picture)]) });
    await w.next((a) => a.type === 'opened', 'opening held.png');
    const unreadable = { size: 100, stream: () => new ReadableStream({ pull: (c) => c.error(new Error('the disk went away')) }) };
    w.send({ type: 'open', number: 2, name: 'gone.png', order: 1, file: unreadable });
    const failed = await w.next((a) => a.type === 'failed' || a.type === 'opened', 'for gone.png');
    if (failed.lost || !/gone\.png/.test(failed.message || '')) throw new Error(JSON.stringify(failed));
    w.send({ type: 'grid', number: 3, settings: { blend: 0, exclude: 0 } });
    await w.next((a) => a.type === 'grid-done', 'for the grid of the picture held');
  }],
];

// Saves of each format against the tool's file of the same input and
// settings: [input, settings, format, quality, what the opening says of how
// a JPEG input was written, what must come of it ('same' pixels as the
// tool's; 'kept': the same, and the input's profile and orientation kept;
// or a failure saying so), and the tool's format where it is not the same
// (Chromium writes a lossless WebP file at quality 100)].
const saves = [
  ['photo.png', { order: 1, blend: 0 }, 'png', null, null, 'kept'],
  ['photo.png', { order: 5, blend: 1 }, 'jpeg', null, null, 'kept'],
  ['photo.png', { order: 2, blend: 3 }, 'jpeg', 75, null, 'same'],
  ['alpha.png', { order: 1, blend: 2 }, 'png', null, null, 'same'],
  ['alpha.png', { order: 1, blend: 0 }, 'jpeg', null, null, /transparent pixels.*PNG or WebP/],
  ['q83.jpg', { order: 3, blend: 0 }, 'jpeg', null, { quality: 83, subsampling: '4:2:0' }, 'same'],
  ['q95.jpg', { order: 4, blend: 1 }, 'jpeg', 80, { quality: 95, subsampling: '4:4:4' }, 'same'],
  ['s422.jpg', { order: 1, blend: 0 }, 'jpeg', null, { quality: 70, subsampling: '4:2:2' }, 'same'],
  ['photo.png', { order: 6, blend: 2 }, 'webp', 100, null, 'kept', '.png'],
  ['q83.jpg', { order: 1, blend: 0 }, 'gif', null, { quality: 83, subsampling: '4:2:0' }, /PNG, JPEG or WebP/],
];
const extensions = { png: '.png', jpeg: '.jpg', webp: '.webp' };

// Opens `name` of the inputs in `w` as job `number`; answers 'opened'.
async function openInput(w, name, number) {
  w.send({ type: 'open', number, name, order: 0, file: new Blob([fs.readFileSync(makeInputs()(name))]) });
  const opened = await w.next((a) => a.number === number && a.type !== 'progress', `opening ${name}`, 30);
  if (opened.type !== 'opened') throw new Error(`${name}: ${opened.message}`);
  return opened;
}

cases.push(['each format saved as the tool writes it, the JPEG settings by its rule', async () => {
  const w = startWorker({ browser: true });
  const problems = [];
  let number = 0;
  for (const [input, settings, format, quality, jpeg, want, toolExtension] of saves) {
    const row = `${input} as ${format}${quality ? ` at ${quality}` : ''}`;
    const opened = await openInput(w, input, ++number);
    if (JSON.stringify(opened.jpeg) !== JSON.stringify(jpeg)) problems.push(`${row}: opened with ${JSON.stringify(opened.jpeg)}`);
    w.send({ type: 'save', number: ++number, settings: { ...settings, exclude: 0 }, format, quality });
    const saved = await w.next((a) => a.number === number && /saved|failed|cancelled/.test(a.type), `saving ${row}`, 60);
    if (want instanceof RegExp) {
      if (saved.type !== 'failed' || !want.test(saved.message)) problems.push(`${row}: ${saved.type} ${saved.message || ''}`);
      continue;
    }
    if (saved.type !== 'saved') {
      problems.push(`${row}: ${saved.type} ${saved.message || ''}`);
      continue;
    }
    const file = await saveFile(saved.file, `page-${number}${extensions[format]}`);
    const toolOut = toolFile(makeInputs()(input), settings, toolExtension || extensions[format], toolExtension ? null : quality);
    const why = differs(file, toolOut);
    if (why) problems.push(`${row}: ${why}`);
    if (saved.file.type !== `image/${format}`) problems.push(`${row}: a file of type ${saved.file.type}`);
    if (want === 'kept') {
      const header = headerOf(file);
      if (header.orientation !== '6' || header['icc-profile-data'] !== `${profile.length} bytes of binary data`) {
        problems.push(`${row}: orientation ${header.orientation}, profile ${header['icc-profile-data']}`);
      }
    }
  }
  if (problems.length) throw new Error(problems.join('; '));
}]);

cases.push(['a browser that cannot write WebP files says so', async () => {
  const w = startWorker({ browser: true, webp: false });
  await openInput(w, 'q83.jpg', 1);
  w.send({ type: 'save', number: 2, settings: { order: 1, blend: 0, exclude: 0 }, format: 'webp', quality: null });
  const got = await w.next((a) => a.number === 2 && /saved|failed/.test(a.type), 'saving as WebP');
  if (got.type !== 'failed' || !/cannot write WebP files; save as PNG or JPEG/.test(got.message)) throw new Error(JSON.stringify(got));
}]);

cases.push(['a helper that cannot start leaves its pieces to the worker', async () => {
  const w = startWorker({ browser: true, helperFails: true });
  await openInput(w, 'photo.png', 1);
  const settings = { order: 7, blend: 0, exclude: 0 };
  for (const [number, format] of [[2, 'png'], [3, 'jpeg']]) {
    w.send({ type: 'save', number, settings, format, quality: null });
    const saved = await w.next((a) => a.number === number && /saved|failed/.test(a.type), `saving as ${format}`, 60);
    if (saved.type !== 'saved') throw new Error(saved.message);
    const why = differs(await saveFile(saved.file, `helpers${extensions[format]}`),
                        toolFile(makeInputs()('photo.png'), settings, extensions[format]));
    if (why) throw new Error(`${format}: ${why}`);
  }
  // Every other helper started cannot load its scripts; a broken one is
  // replaced at the next save.
  const made = w.context.piecesMade;
  if (made.some((n, i) => (i % 2 === 0) !== (n === 0))) throw new Error(`pieces made by the helpers: ${made}`);
}]);

cases.push(['a batch converts without touching the picture held; a file it cannot read fails by name', async () => {
  const w = startWorker({ browser: true });
  await openInput(w, 'q83.jpg', 1);
  const settings = { order: 2, blend: 1, exclude: 0 };
  const read = (name) => new Blob([fs.readFileSync(makeInputs()(name))]);
  const cut = new Blob([fs.readFileSync(makeInputs()('photo.png')).subarray(0, 5000)]);
  const jobs = [[2, 'q95.jpg', read('q95.jpg'), 'jpeg', 'converted'], [3, 'cut.png', cut, 'png', 'failed'],
                [4, 'photo.png', read('photo.png'), 'png', 'converted']];
  for (const [number, name, file, format, want] of jobs) {
    w.send({ type: 'convert', number, name, file, settings, format, quality: null, threads: 1 });
    const got = await w.next((a) => a.number === number && /converted|failed|cancelled/.test(a.type), `converting ${name}`, 60);
    if (got.type !== want || (want === 'failed' && !got.message.includes(name))) throw new Error(`${name}: ${got.type} ${got.message || ''}`);
    if (want !== 'converted') continue;
    const why = differs(await saveFile(got.file, `batch-${name}`), toolFile(makeInputs()(name), settings, extensions[format]));
    if (why) throw new Error(`${name}: ${why}`);
  }
  w.send({ type: 'save', number: 5, settings, format: 'jpeg', quality: null });
  const saved = await w.next((a) => a.number === 5 && /saved|failed/.test(a.type), 'saving the picture held', 60);
  const why = saved.type === 'saved' ? differs(await saveFile(saved.file, 'held.jpg'), toolFile(makeInputs()('q83.jpg'), settings, '.jpg'))
                                     : saved.message;
  if (why) throw new Error(`the picture held: ${why}`);
}]);

cases.push(['Cancel while the file is written stops it; the next save is whole', async () => {
  const w = startWorker();
  await openInput(w, 'photo.png', 1);
  const settings = { order: 1, blend: 0, exclude: 0 };
  w.send({ type: 'save', number: 2, settings, format: 'png' });
  await w.next((a) => a.number === 2 && a.type === 'writing', 'writing', 30);
  w.send({ type: 'cancel', job: 2 });
  const ended = await w.next((a) => a.number === 2 && /saved|failed|cancelled/.test(a.type), 'to the Cancel', 30);
  if (ended.type !== 'cancelled') throw new Error(`answered ${ended.type}`);
  w.send({ type: 'save', number: 3, settings, format: 'png' });
  const saved = await w.next((a) => a.number === 3 && /saved|failed|cancelled/.test(a.type), 'saving again', 30);
  const why = saved.type === 'saved' ? differs(await saveFile(saved.file, 'again.png'), toolFile(makeInputs()('photo.png'), settings, '.png'))
                                     : saved.message;
  if (why) throw new Error(why);
}]);

// The module's run calls out of turn: each row a sequence of calls and the
// answers they must give ('ok' is 0 or true; 'refused' anything else).
const runCalls = [
  ['nothing held: step and end', [['step', false], ['end', 'refused']]],
  ['no such picture', [['start 7', 'refused'], ['end', 'refused']]],
  ['a run under way', [['hold', true], ['start 0', 0], ['start 1', 'refused'], ['hold', false],
                       ['step*', false], ['end', 0], ['end', 'refused'], ['step', false]]],
];

async function runCallsOutOfTurn() {
  const w = startWorker();
  const m = await w.context.createVantrel({});
  const problems = [];
  for (const [name, calls] of runCalls) {
    for (const [call, want] of calls) {
      let got;
      if (call === 'hold') {
        const at = m._vantrel_picture(8, 6, 3);
        got = at !== 0 && m._vantrel_hold(4) === 1;
        if (!got) m._vantrel_drop();
      } else if (call.startsWith('start')) got = m._vantrel_run_start(Number(call.split(' ')[1]), 1, 0, 0);
      else if (call === 'step*') while ((got = Boolean(m._vantrel_run_step())));
      else if (call === 'step') got = Boolean(m._vantrel_run_step());
      else got = m._vantrel_run_end();
      const ok = want === 'refused' ? got !== 0 && got !== true : got === want;
      if (!ok) problems.push(`${name}: ${call} answered ${got}, not ${want}`);
    }
  }
  if (problems.length) throw new Error(problems.join('; '));
}
cases.push(['run calls out of turn are refused, never answered as a run', runCallsOutOfTurn]);

// A rejection nobody handles is a job left unanswered: it fails the case
// under way rather than ending the run.
let unhandled = null;
process.on('unhandledRejection', (error) => { unhandled = error; });

(async () => {
  let failures = 0;
  for (const [name, test] of cases) {
    try {
      unhandled = null;
      await test();
      if (unhandled) throw new Error(`unhandled: ${unhandled.message || unhandled}`);
      console.log(`  ok    ${name}`);
    } catch (error) {
      ++failures;
      console.log(`  FAIL  ${name}\n        ${error.message}`);
    }
  }
  console.log(`worker tests: ${cases.length - failures} of ${cases.length} passed`);
  process.exit(failures ? 1 : 0);
})();
