// The whole-picture view's Web Worker: a module of its own holding the
// picture open, so that the grid and saving go on meanwhile. Each view is the
// filter's own run over the whole picture through ENTRYPOINT by the classic
// drive, as a save runs it, handed to the page as a bitmap.
//   {type: 'picture', session, picture: {width, height, planes, pixels}, most}:
//     holds it; answers 'before' with the original as a bitmap.
// A picture of more than `most` pixels (48 megapixels unless the page says
// otherwise) is shown from bitmaps smaller by a whole factor, each of their
// pixels the average of the picture's it covers, so that the page does not
// hold two bitmaps of hundreds of megabytes.
//   {type: 'view', session, number, settings: {order, blend, exclude}}:
//     answers 'after' with the output as a bitmap (or 'failed' with the
//     reason), and 'progress' on the way. A newer view or picture stops the
//     run under way: only the newest is answered.
'use strict';

// The reason the scripts did not load, or null.
const scriptProblem = (() => { try { importScripts('model.js', 'vantrel.js'); return null; } catch (e) { return e; } })();

const model = self.VantrelModel;
const kPicture = model.held.picture;
const kCancelled = model.results.userCanceledErr.code;
let M = null;
let moduleReady = null;
let session = 0;   // the picture held
let latest = 0;    // the newest picture sent: a run over an older one gives way
let newest = 0;    // the newest view asked for: an older one gives way
let running = false;
let jobs = Promise.resolve();
let reduction = 1;  // the picture's pixels a side of one of the bitmaps'

const reasonOf = (error) => String((error && error.message) || error).replace(/\.$/, '');

async function theModule() {
  if (M) return M;
  if (scriptProblem) throw new Error(`the page's files did not all load (${reasonOf(scriptProblem)})`);
  if (!moduleReady) {
    moduleReady = createVantrel({ onProgress: (done, total) => progress(done, total) });
  }
  try {
    M = await moduleReady;
  } catch (error) {
    moduleReady = null;
    throw error;
  }
  return M;
}

let current = null;
let lastProgress = 0;
function progress(done, total) {
  const now = performance.now();
  if (!current || (now - lastProgress < 100 && done < total)) return;
  lastProgress = now;
  postMessage({ type: 'progress', session, number: current.number, value: total > 0 ? Math.min(1, done / total) : 0 });
}

function yieldToPage() {
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = resolve;
    channel.port2.postMessage(0);
  });
}

// `width` x `height` pixels of `planes` bytes at `at` in the module's memory,
// as a bitmap for the page, `reduction` times smaller a side.
function bitmapOf(at, width, height, planes) {
  const pixels = M.HEAPU8.subarray(at, at + width * height * planes);
  const k = reduction;
  const w = Math.ceil(width / k), h = Math.ceil(height / k);
  const rgba = new Uint8ClampedArray(w * h * 4);
  if (k === 1 && planes === 4) {
    rgba.set(pixels);
  } else if (k === 1) {
    for (let i = 0, o = 0; o < rgba.length; i += 3, o += 4) {
      rgba[o] = pixels[i];
      rgba[o + 1] = pixels[i + 1];
      rgba[o + 2] = pixels[i + 2];
      rgba[o + 3] = 255;
    }
  } else {
    const sums = new Uint32Array(w * 4);
    const counts = new Uint32Array(w);
    for (let y = 0; y < height; ++y) {
      for (let x = 0, i = y * width * planes; x < width; ++x, i += planes) {
        const s = ((x / k) | 0) * 4;
        sums[s] += pixels[i];
        sums[s + 1] += pixels[i + 1];
        sums[s + 2] += pixels[i + 2];
        sums[s + 3] += planes === 4 ? pixels[i + 3] : 255;
        counts[s >> 2] += 1;
      }
      if ((y + 1) % k === 0 || y === height - 1) {
        const row = ((y / k) | 0) * w * 4;
        for (let x = 0; x < w * 4; ++x) rgba[row + x] = Math.round(sums[x] / counts[x >> 2]);
        sums.fill(0);
        counts.fill(0);
      }
    }
  }
  return createImageBitmap(new ImageData(rgba, w, h));
}

function dimensions() {
  return [M._vantrel_width(kPicture), M._vantrel_height(kPicture), M._vantrel_planes(kPicture)];
}

async function hold({ session: number, picture, most = 48e6 }) {
  if (number !== latest) return;
  await theModule();
  const at = M._vantrel_picture(picture.width, picture.height, picture.planes);
  if (!at) throw new Error(M.UTF8ToString(M._vantrel_error()));
  M.HEAPU8.set(picture.pixels, at);
  picture.pixels = null;
  if (!M._vantrel_hold(1)) throw new Error(M.UTF8ToString(M._vantrel_error()));
  session = number;
  const [width, height, planes] = dimensions();
  reduction = Math.max(1, Math.ceil(Math.sqrt((width * height) / most)));
  const bitmap = await bitmapOf(M._vantrel_source(kPicture), width, height, planes);
  postMessage({ type: 'before', session, bitmap }, [bitmap]);
}

const outdated = (data) => data.number !== newest || data.session !== latest;

async function view(data) {
  if (outdated(data) || data.session !== session) return;
  current = data;
  const { order, blend, exclude } = data.settings;
  running = true;
  let result;
  try {
    result = M._vantrel_run_start(kPicture, order, blend, exclude);
    if (result === 0) {
      do {
        await yieldToPage();
        if (outdated(data)) M._vantrel_cancel();
      } while (M._vantrel_run_step());
    }
    result = M._vantrel_run_end();
  } finally {
    running = false;
    current = null;
  }
  if (outdated(data) || result === kCancelled) return;
  if (result !== 0) throw new Error(`the filter failed: ${model.resultText(result)}`);
  const [width, height, planes] = dimensions();
  const bitmap = await bitmapOf(M._vantrel_output(kPicture), width, height, planes);
  if (outdated(data)) return bitmap.close();
  postMessage({ type: 'after', session, number: data.number, settings: data.settings, bitmap }, [bitmap]);
}

async function perform(data, handler) {
  try {
    await handler(data);
  } catch (error) {
    const stopped = error instanceof WebAssembly.RuntimeError;
    if (stopped) {
      // The module cannot be trusted after a trap (out of memory, say): a
      // new one takes its place for the next picture.
      M = null;
      moduleReady = null;
      session = 0;
    }
    postMessage({ type: 'failed', session: data.session, number: data.number, message: reasonOf(error) });
  }
}

onmessage = ({ data }) => {
  if (data.type === 'picture') {
    latest = data.session;
    if (M && running) M._vantrel_cancel();
    jobs = jobs.then(() => perform(data, hold));
  } else if (data.type === 'view') {
    newest = data.number;
    if (M && running) M._vantrel_cancel();
    jobs = jobs.then(() => perform(data, view));
  }
};
