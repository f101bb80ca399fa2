// PNG files for the page's worker: what a file's header says (its size,
// depth, colour type, whether it carries transparency, and the chunks that
// say how its values are meant), and a writer that stores 8-bit RGB or RGBA
// pixels exactly, deflated by the browser's own zlib (CompressionStream).
'use strict';

self.VantrelPng = (() => {
  const signature = [137, 80, 78, 71, 13, 10, 26, 10];
  // Chunks that tell how the values are meant (colour profile, gamma,
  // primaries, resolution, Exif with its orientation): copied from the file opened into the file saved.
  const kept = new Set(['iCCP', 'sRGB', 'gAMA', 'cHRM', 'cICP', 'pHYs', 'eXIf']);

  const crcTable = new Uint32Array(256).map((_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c;
  });
  function crc32(bytes, crc = 0xffffffff) {
    for (let i = 0; i < bytes.length; ++i) crc = crcTable[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
    return crc;
  }

  function isPng(bytes) {
    return bytes.length >= 8 && signature.every((b, i) => bytes[i] === b);
  }

  // The header of the PNG file `bytes`, or null when it has none.
  function header(bytes) {
    if (!isPng(bytes) || bytes.length < 33) return null;
    const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    const info = {
      width: view.getUint32(16),
      height: view.getUint32(20),
      depth: bytes[24],
      colourType: bytes[25],
      transparency: false,
      chunks: [],
    };
    for (let at = 8; at + 12 <= bytes.length;) {
      const length = view.getUint32(at);
      const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
      if (type === 'IDAT' || type === 'IEND' || at + 12 + length > bytes.length) break;
      if (type === 'tRNS') info.transparency = true;
      if (kept.has(type)) info.chunks.push(bytes.slice(at, at + 12 + length));
      at += 12 + length;
    }
    return info;
  }

  function chunk(type, data) {
    const out = new Uint8Array(12 + data.length);
    const view = new DataView(out.buffer);
    view.setUint32(0, data.length);
    for (let i = 0; i < 4; ++i) out[4 + i] = type.charCodeAt(i);
    out.set(data, 8);
    view.setUint32(8 + data.length, (crc32(out.subarray(4, 8 + data.length)) ^ 0xffffffff) >>> 0);
    return out;
  }

  // `rows` rows of `pixels` from row `first` on, each behind the filter byte
  // that makes it smallest by the usual measure (the sum of the filtered
  // bytes taken as signed), as libpng's adaptive filtering chooses.
  function filtered(pixels, width, planes, first, rows) {
    const rowBytes = width * planes;
    const out = new Uint8Array(rows * (rowBytes + 1));
    const tries = [0, 1, 2, 3, 4].map(() => new Uint8Array(rowBytes));
    const zero = new Uint8Array(rowBytes);
    for (let y = first; y < first + rows; ++y) {
      const row = pixels.subarray(y * rowBytes, (y + 1) * rowBytes);
      const up = y > 0 ? pixels.subarray((y - 1) * rowBytes, y * rowBytes) : zero;
      const [none, sub, above, average, paeth] = tries;
      for (let i = 0; i < rowBytes; ++i) {
        const a = i >= planes ? row[i - planes] : 0;
        const b = up[i];
        const c = i >= planes ? up[i - planes] : 0;
        const x = row[i];
        none[i] = x;
        sub[i] = x - a;
        above[i] = x - b;
        average[i] = x - ((a + b) >> 1);
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        paeth[i] = x - (pa <= pb && pa <= pc ? a : pb <= pc ? b : c);
      }
      let best = 0, bestSum = Infinity;
      for (let f = 0; f < 5; ++f) {
        let sum = 0;
        const t = tries[f];
        for (let i = 0; i < rowBytes; ++i) sum += t[i] < 128 ? t[i] : 256 - t[i];
        if (sum < bestSum) [best, bestSum] = [f, sum];
      }
      const at = (y - first) * (rowBytes + 1);
      out[at] = best;
      out.set(tries[best], at + 1);
    }
    return out;
  }

  async function deflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // The rows filtered and deflated by slices of about `sliceBytes`, with
  // `pause` awaited after each, which gives the caller's other work (its
  // Cancel among it) a turn; answers null, having made nothing, as soon as
  // `stop` answers true.
  async function deflatedRows(pixels, width, height, planes, { progress, pause, stop, sliceBytes = 1 << 20 }) {
    const compressor = new CompressionStream('deflate');
    const writer = compressor.writable.getWriter();
    const packed = new Response(compressor.readable).arrayBuffer();
    packed.catch(() => {});  // a stopped file is dropped unread
    const rows = Math.max(1, Math.floor(sliceBytes / (width * planes + 1)));
    for (let y = 0; y < height; y += rows) {
      const view = typeof pixels === 'function' ? pixels() : pixels;
      await writer.write(filtered(view, width, planes, y, Math.min(rows, height - y)));
      if (progress) progress(Math.min(y + rows, height), height);
      if (pause) await pause();
      if (stop && stop()) {
        await writer.abort().catch(() => {});
        return null;
      }
    }
    await writer.close();
    return new Uint8Array(await packed);
  }

  // A PNG file of `width` x `height` 8-bit pixels of `planes` samples (3: RGB,
  // 4: RGBA, not premultiplied) taken as they are, with `chunks` (whole
  // chunks from header()) before the pixels. `pixels` is the pixels, or a
  // function answering them afresh for every slice. `options` may give
  // `progress(done, total)` in rows, a `pause()` awaited between slices and
  // `stop()`, which answering true stops the work. Answers a Blob, or null
  // when stopped.
  async function encode(pixels, width, height, planes, chunks = [], options = {}) {
    const head = new Uint8Array(13);
    const view = new DataView(head.buffer);
    view.setUint32(0, width);
    view.setUint32(4, height);
    head[8] = 8;
    head[9] = planes === 4 ? 6 : 2;
    const data = await deflatedRows(pixels, width, height, planes, options);
    if (!data) return null;
    return new Blob([new Uint8Array(signature), chunk('IHDR', head), ...chunks, chunk('IDAT', data),
                     chunk('IEND', new Uint8Array(0))], { type: 'image/png' });
  }

  // An eXIf chunk holding the Exif data `exif` (a TIFF structure).
  function exifChunk(exif) {
    return chunk('eXIf', exif);
  }

  // An iCCP chunk holding the colour profile `profile`.
  async function profileChunk(profile) {
    const name = new TextEncoder().encode('ICC Profile');
    const packed = await deflate(profile);
    const data = new Uint8Array(name.length + 2 + packed.length);
    data.set(name);
    data.set(packed, name.length + 2);  // a 0 ends the name; method 0 is deflate
    return chunk('iCCP', data);
  }

  return { isPng, header, encode, profileChunk, exifChunk };
})();
