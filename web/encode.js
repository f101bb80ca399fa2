// The page's file writers, for its workers (loaded by importScripts): PNG
// and JPEG made in pieces on helper workers, one per core
// (web/encode_worker.js), and joined here in order. The module encoder.js
// filters a PNG piece's rows as the tool does and makes the piece's stream,
// deflated by the browser's own zlib, go on from the one before it; it
// encodes a JPEG's strips as the tool's writer does (see web/encoders.cpp).
// WebP by the browser's own encoder, with the colour profile and Exif data
// put in.
'use strict';

// A block of its own: its names stay out of the worker's other scripts.
{
  // About this many bytes of rows a piece: enough that the restarts (and a
  // PNG piece's deflate starting without the data before it) cost little,
  // few enough pieces for the cores to share them out evenly.
  const kPieceBytes = 1 << 20;
  // A WebP file's quality when none is asked for: libvips' default, with
  // which the tool writes WebP files.
  const kWebpQuality = 75;

  // ---------------------------------------------------------------------
  // The encoder module of this thread.

  let made = null;
  function encoder() {
    if (!made) {
      made = createVantrelEncoder({});
      made.catch(() => { made = null; });
    }
    return made;
  }

  function problemOf(E) {
    return E.UTF8ToString(E._vantrel_encode_problem());
  }

  // Copies `bytes` into the module's memory; answers the address (0 for
  // none), to be freed.
  function place(E, bytes) {
    if (!bytes || !bytes.length) return 0;
    const at = E._malloc(bytes.length);
    if (!at) throw new Error('the browser cannot give the writer the memory it needs');
    E.HEAPU8.set(bytes, at);
    return at;
  }

  // Makes one piece (see pieces()) from `job.rows`, the rows it needs; answers
  // {bytes, adler}. A module that stops (out of memory, say) is made afresh
  // for the next piece, and this one fails with the reason.
  async function makePiece(E, job) {
    try {
      if (job.kind === 'jpeg') return { bytes: inModule(E, [job.rows, job.exif, job.profile], (rows, exif, profile) =>
        E._vantrel_jpeg_strip(rows, job.width, job.height, job.quality, job.subsampled, job.stripRows, job.index,
                              job.count, exif, job.exif ? job.exif.length : 0, profile, job.profile ? job.profile.length : 0)) };
      const filtered = inModule(E, [job.rows], (rows) =>
        E._vantrel_png_filter(rows, job.width, job.planes, job.top, job.first, job.count));
      const adler = E._vantrel_png_adler() >>> 0;
      const stream = await deflate(filtered);
      const bytes = inModule(E, [stream], (at) => E._vantrel_png_join(at, stream.length, job.first === 0, job.last));
      return { bytes, adler };
    } catch (error) {
      if (!(error instanceof WebAssembly.RuntimeError)) throw error;
      made = null;
      throw Object.assign(new Error(`the writer stopped (${error.message})`), { moduleStopped: true });
    }
  }

  // Calls `make` with the addresses of `inputs` placed in the module (0 for
  // none); answers a copy of what it made. `make` answers the size made, or
  // -1 when it failed.
  function inModule(E, inputs, make) {
    const held = [];
    try {
      for (const bytes of inputs) held.push(place(E, bytes));
      const size = make(...held);
      if (size < 0) throw new Error(problemOf(E));
      const at = E._vantrel_encoded();
      const bytes = E.HEAPU8.slice(at, at + size);
      E._vantrel_encoded_drop();
      return bytes;
    } finally {
      for (const at of held) if (at) E._free(at);
    }
  }

  // `bytes` deflated by the browser's zlib as a zlib stream.
  async function deflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // ---------------------------------------------------------------------
  // Helper workers, one per core, kept from one file to the next.

  class Helper {
    constructor() {
      this.pending = new Map();
      this.broken = null;
      this.worker = new Worker('encode_worker.js');
      this.worker.onmessage = ({ data }) => {
        const waiting = this.pending.get(data.id);
        this.pending.delete(data.id);
        if (data.helper) this.broken = data.error;  // its module could not load, or stopped
        if (!waiting) return;
        if (data.error) waiting.reject(Object.assign(new Error(data.error), { helper: Boolean(data.helper) }));
        else waiting.resolve(data);
      };
      // A helper that cannot run (its script or module not loading) is given
      // up: its pieces are made by this thread instead.
      this.worker.onerror = (event) => {
        event.preventDefault?.();
        this.broken = event.message || 'the helper stopped';
        for (const waiting of this.pending.values()) waiting.reject(Object.assign(new Error(this.broken), { helper: true }));
        this.pending.clear();
      };
    }

    make(job) {
      if (this.broken) return Promise.reject(Object.assign(new Error(this.broken), { helper: true }));
      const id = Helper.next++;
      return new Promise((resolve, reject) => {
        this.pending.set(id, { resolve, reject });
        this.worker.postMessage({ ...job, id }, [job.rows.buffer]);
      });
    }
  }
  Helper.next = 1;

  const helpers = [];
  // Up to `count` helpers that still run; none where this scope has no
  // workers of its own to start (Node, some browsers' workers).
  function helpersFor(count) {
    if (typeof Worker !== 'function') return [];
    for (let i = helpers.length - 1; i >= 0; --i) if (helpers[i].broken) helpers.splice(i, 1);
    try {
      while (helpers.length < count) helpers.push(new Helper());
    } catch {
      // Workers cannot be started here: this thread makes every piece.
    }
    return helpers.slice(0, count);
  }

  function cores() {
    return Math.max(1, Math.min(16, (self.navigator && navigator.hardwareConcurrency) || 1));
  }

  // Starts the helpers ahead of a save, so that their module is ready.
  function warm(threads = cores()) {
    if (threads > 1) helpersFor(threads);
  }

  // ---------------------------------------------------------------------
  // Pieces made on every core and joined in order.

  // Makes `count` pieces, `describe(i)` answering piece i's job (its rows a
  // copy of their own, handed over to the helper); on `threads` lanes, each
  // a helper, or this thread where there are none. `options`: progress(done,
  // total) in pieces, pause() awaited between this thread's pieces, stop()
  // answering true to end the work. Answers the pieces in order, or null when
  // stopped.
  async function pieces(count, describe, threads, { progress, pause, stop } = {}) {
    const made = new Array(count);
    let next = 0, done = 0, stopped = false;
    const E = await encoder();
    let failure = null;
    const lane = async (helper) => {
      while (!stopped && !failure && next < count) {
        if (stop && stop()) {
          stopped = true;
          break;
        }
        const index = next++;
        try {
          if (helper && !helper.broken) {
            try {
              made[index] = await helper.make(describe(index));
            } catch (error) {
              if (!error.helper) throw error;
              made[index] = await makePiece(E, describe(index));  // the helper stopped: made here
            }
          } else {
            made[index] = await makePiece(E, describe(index));
            if (pause) await pause();
          }
        } catch (error) {
          failure = failure || error;  // the other lanes stop at their next piece
          return;
        }
        ++done;
        if (progress) progress(done, count);
      }
    };
    const lanes = threads > 1 ? helpersFor(threads) : [];
    await Promise.all(lanes.length ? lanes.map(lane) : [lane(null)]);
    if (failure) throw failure;
    return stopped || (stop && stop()) ? null : made;
  }

  // Adler-32 of two runs of bytes joined, from theirs and the second's
  // length (zlib's adler32_combine).
  function adlerCombine(first, second, length) {
    const base = 65521;
    const rem = length % base;
    let sum1 = first & 0xffff;
    let sum2 = (rem * sum1) % base;
    sum1 += (second & 0xffff) + base - 1;
    sum2 += ((first >>> 16) & 0xffff) + ((second >>> 16) & 0xffff) + base - rem;
    if (sum1 >= base) sum1 -= base;
    if (sum1 >= base) sum1 -= base;
    if (sum2 >= 2 * base) sum2 -= 2 * base;
    if (sum2 >= base) sum2 -= base;
    return ((sum2 << 16) | sum1) >>> 0;
  }

  // A copy of rows `from` to `to` of the picture that `pixels()` answers.
  function rowsOf(pixels, rowBytes, from, to) {
    return pixels().slice(from * rowBytes, to * rowBytes);
  }

  // A PNG file of the picture: `picture` is {width, height, planes (3 or 4),
  // pixels()}, pixels() answering the 8-bit samples afresh each time (a view
  // into a module's memory may go when it grows); `chunks` the whole chunks
  // that go before the pixels. Answers a Blob, or null when stopped.
  async function png(picture, chunks, threads, options) {
    const { width, height, planes, pixels } = picture;
    const rowBytes = width * planes;
    const rows = Math.max(1, Math.floor(kPieceBytes / (rowBytes + 1)));
    const count = Math.ceil(height / rows);
    const describe = (i) => {
      const first = i * rows, end = Math.min(height, first + rows), top = Math.max(0, first - 1);
      return { kind: 'png', rows: rowsOf(pixels, rowBytes, top, end), width, planes, top, first, count: end - first,
               last: end === height };
    };
    const made = await pieces(count, describe, threads, options);
    if (!made) return null;
    let adler = 1;
    made.forEach((piece, i) => {
      adler = adlerCombine(adler, piece.adler, (Math.min(height, (i + 1) * rows) - i * rows) * (rowBytes + 1));
    });
    const sum = new Uint8Array(4);
    new DataView(sum.buffer).setUint32(0, adler);
    return VantrelPng.assemble(width, height, planes, chunks, [...made.map((p) => p.bytes), VantrelPng.chunk('IDAT', sum)]);
  }

  // What a JPEG file is written with by the tool's rule: the quality asked
  // for, else a JPEG input's own (read by the tool's reading of its tables),
  // else 90; the input's own chroma subsampling (4:2:2 taken as 4:2:0, which
  // the writer makes), else halved below quality 90.
  function jpegSettings(quality, input) {
    const q = quality || (input && input.quality) || 90;
    const own = input && input.subsampling;
    return { quality: q, subsampled: own ? own !== '4:4:4' : q < 90 };
  }

  // A JPEG file of the RGB picture, with the Exif data (a TIFF structure) and
  // colour profile of `meta` when given. Answers a Blob, or null when stopped.
  async function jpeg(picture, meta, settings, threads, options) {
    const { width, height, planes, pixels } = picture;
    if (planes !== 3) throw new Error('JPEG files hold no transparency');
    const E = await encoder();
    const { quality, subsampled } = settings;
    const stripRows = E._vantrel_jpeg_strip_rows(width, height, quality, subsampled, kPieceBytes);
    if (!stripRows) throw new Error(problemOf(E));
    const rowBytes = width * 3;
    const count = Math.ceil(height / stripRows);
    const describe = (i) => {
      const first = i * stripRows, end = Math.min(height, first + stripRows);
      return { kind: 'jpeg', rows: rowsOf(pixels, rowBytes, first, end), width, height, quality, subsampled, stripRows,
               index: i, count: end - first, exif: i === 0 ? meta.exif : null, profile: i === 0 ? meta.profile : null };
    };
    const made = await pieces(count, describe, threads, options);
    if (!made) return null;
    return new Blob([...made.map((p) => p.bytes), new Uint8Array([0xff, 0xd9])], { type: 'image/jpeg' });
  }

  // What of `meta` a JPEG file would be written without, in words; '' when
  // nothing.
  async function jpegLeftOut(meta) {
    const E = await encoder();
    return meta.exif ? E.UTF8ToString(E._vantrel_jpeg_left_out(meta.exif.length)) : '';
  }

  // ---------------------------------------------------------------------
  // WebP, by the browser's encoder.

  let webpAnswer = null;
  // Whether this browser writes WebP files (from a canvas): some answer PNG
  // instead.
  function canWriteWebp() {
    if (!webpAnswer) {
      webpAnswer = (async () => {
        try {
          if (typeof OffscreenCanvas !== 'function') return false;
          const canvas = new OffscreenCanvas(1, 1);
          canvas.getContext('2d');
          return (await canvas.convertToBlob({ type: 'image/webp' })).type === 'image/webp';
        } catch {
          return false;
        }
      })();
    }
    return webpAnswer;
  }

  const fourcc = (bytes, at) => String.fromCharCode(bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]);

  function riffChunk(type, data) {
    const out = new Uint8Array(8 + data.length + (data.length & 1));
    for (let i = 0; i < 4; ++i) out[i] = type.charCodeAt(i);
    new DataView(out.buffer).setUint32(4, data.length, true);
    out.set(data, 8);
    return out;
  }

  // The WebP file `bytes` with the colour profile and Exif data of `meta`
  // in place of what the browser's encoder put beside the image (its canvas's
  // profile), as the PNG save keeps them: the extended layout (VP8X, ICCP,
  // the image's chunks, EXIF) when there are any, else the image's chunks
  // alone. A file not laid out as a still picture is left as it is.
  function webpWithMeta(bytes, width, height, meta) {
    if (bytes.length < 20 || fourcc(bytes, 0) !== 'RIFF' || fourcc(bytes, 8) !== 'WEBP') return bytes;
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const image = [];
    let flags = 0;
    for (let at = 12; at + 8 <= bytes.length;) {
      const type = fourcc(bytes, at), size = view.getUint32(at + 4, true);
      const end = at + 8 + size + (size & 1);
      if (end > bytes.length) return bytes;
      if (type === 'ALPH' || type === 'VP8 ') image.push(bytes.subarray(at, end));
      else if (type === 'VP8L') {
        image.push(bytes.subarray(at, end));
        if (size >= 5 && (bytes[at + 12] >> 4) & 1) flags |= 0x10;  // the image uses its alpha
      } else if (type === 'ANIM' || type === 'ANMF') {
        return bytes;
      }  // VP8X, ICCP, EXIF, XMP and the rest: made afresh below, or left out
      if (type === 'ALPH') flags |= 0x10;
      at = end;
    }
    if (!image.length) return bytes;
    // An image with an ALPH chunk needs the extended layout too.
    if (!meta.profile && !meta.exif && image.length === 1) return riff(image);
    if (meta.profile) flags |= 0x20;
    if (meta.exif) flags |= 0x08;
    const header = new Uint8Array(10);
    header[0] = flags;
    for (let k = 0; k < 3; ++k) {
      header[4 + k] = ((width - 1) >> (8 * k)) & 0xff;
      header[7 + k] = ((height - 1) >> (8 * k)) & 0xff;
    }
    const parts = [riffChunk('VP8X', header)];
    if (meta.profile) parts.push(riffChunk('ICCP', meta.profile));
    parts.push(...image);
    if (meta.exif) parts.push(riffChunk('EXIF', meta.exif));
    return riff(parts);
  }

  // A WebP file of the chunks `parts`.
  function riff(parts) {
    const size = parts.reduce((sum, part) => sum + part.length, 4);
    const out = new Uint8Array(8 + size);
    out.set([0x52, 0x49, 0x46, 0x46]);
    new DataView(out.buffer).setUint32(4, size, true);
    out.set([0x57, 0x45, 0x42, 0x50], 8);
    let at = 12;
    for (const part of parts) {
      out.set(part, at);
      at += part.length;
    }
    return out;
  }

  // A WebP file of the picture by the browser's encoder at `quality` (1 to
  // 100; 100 is lossless in Chromium), with the profile and Exif data of
  // `meta`. Through a canvas, which premultiplies alpha: semi-transparent
  // pixels come out rounded. Answers a Blob.
  async function webp(picture, meta, quality) {
    if (!(await canWriteWebp())) throw new Error('this browser cannot write WebP files; save as PNG or JPEG');
    const { width, height, planes, pixels } = picture;
    const canvas = new OffscreenCanvas(width, height);
    const context = canvas.getContext('2d');
    const image = context.createImageData(width, height);
    const rgba = image.data, from = pixels();
    if (planes === 4) {
      rgba.set(from);
    } else {
      for (let i = 0, o = 0; o < rgba.length; i += 3, o += 4) {
        rgba[o] = from[i];
        rgba[o + 1] = from[i + 1];
        rgba[o + 2] = from[i + 2];
        rgba[o + 3] = 255;
      }
    }
    context.putImageData(image, 0, 0);
    const blob = await canvas.convertToBlob({ type: 'image/webp', quality: (quality || kWebpQuality) / 100 });
    if (blob.type !== 'image/webp') throw new Error('this browser cannot write WebP files; save as PNG or JPEG');
    const bytes = webpWithMeta(new Uint8Array(await blob.arrayBuffer()), width, height, meta);
    return new Blob([bytes], { type: 'image/webp' });
  }

  self.VantrelEncode = { encoder, warm, cores, png, jpeg, jpegSettings, jpegLeftOut, webp, canWriteWebp, makePiece,
                         webpWithMeta, adlerCombine };
}
