// PNG files for the page's worker: what a file's header says (its size,
// depth, colour type, whether it carries transparency, and the chunks that
// say how its values are meant), the colour profile and Exif data those
// chunks hold, and a file put together from its image data chunks (made by
// web/encode.js) and those chunks.
'use strict';

// A block of its own: its names stay out of the worker's other scripts.
{
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

  async function deflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  async function inflate(bytes) {
    const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
    return new Uint8Array(await new Response(stream).arrayBuffer());
  }

  // A PNG file of `width` x `height` 8-bit pixels of `planes` samples (3:
  // RGB, 4: RGBA), with `chunks` (whole chunks from header()) before the
  // image data chunks `data` (whole IDAT chunks). Answers a Blob.
  function assemble(width, height, planes, chunks, data) {
    const head = new Uint8Array(13);
    const view = new DataView(head.buffer);
    view.setUint32(0, width);
    view.setUint32(4, height);
    head[8] = 8;
    head[9] = planes === 4 ? 6 : 2;
    return new Blob([new Uint8Array(signature), chunk('IHDR', head), ...chunks, ...data, chunk('IEND', new Uint8Array(0))],
                    { type: 'image/png' });
  }

  const typeOf = (c) => String.fromCharCode(...c.subarray(4, 8));
  const dataOf = (c) => c.subarray(8, c.length - 4);

  // The colour profile an iCCP chunk among `chunks` holds (its name, a 0,
  // the method, then the deflated profile), or null; null too when it cannot
  // be inflated.
  async function profileOf(chunks) {
    const found = chunks.find((c) => typeOf(c) === 'iCCP');
    if (!found) return null;
    const data = dataOf(found);
    const end = data.indexOf(0);
    if (end < 1 || end + 2 > data.length || data[end + 1] !== 0) return null;
    try {
      return await inflate(data.subarray(end + 2));
    } catch {
      return null;
    }
  }

  // The Exif data (a TIFF structure) an eXIf chunk among `chunks` holds, or
  // null.
  function exifOf(chunks) {
    const found = chunks.find((c) => typeOf(c) === 'eXIf');
    return found ? dataOf(found).slice() : null;
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

  self.VantrelPng = { isPng, header, chunk, assemble, profileChunk, exifChunk, profileOf, exifOf };
}
