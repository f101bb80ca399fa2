// What picture files say of themselves before they are decoded, for the
// page's worker (loaded by importScripts) and for the tests under Node
// (require): a JPEG file's frame, colour profile and orientation, and what a
// TIFF file's first image is. Every walk reads only within the bytes it is
// given and always moves forward, so a damaged or hostile file ends it with
// null, never with an exception or an endless loop.
'use strict';

// A block of its own: its names stay out of the worker's other scripts.
{
  // self.VantrelHeaders in the page's workers; the module's exports under Node.
  const exports = typeof module === 'object' && module.exports ? module.exports : (self.VantrelHeaders = {});
  // ---------------------------------------------------------------------
  // JPEG: the segments before the first scan.

  // Markers that stand alone, without a length and data: the start of the
  // image, TEM and the restart markers.
  const standalone = (marker) => marker === 0xd8 || marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7);

  // Where the marker at or after `at` begins, skipping what libjpeg skips
  // before a marker (stray bytes, fill bytes, 0xff 0x00); -1 when none is.
  function nextMarker(bytes, at) {
    for (;;) {
      while (at < bytes.length && bytes[at] !== 0xff) ++at;
      while (at + 1 < bytes.length && bytes[at + 1] === 0xff) ++at;
      if (at + 1 >= bytes.length) return -1;
      if (bytes[at + 1] !== 0x00) return at;
      at += 2;
    }
  }

  // The segments of the JPEG file `bytes` up to and including the first
  // scan's header, each as {marker, at, length}: its data at `at`, `length`
  // bytes of it, all within `bytes`. Ends early where the file is cut short.
  function* jpegSegments(bytes) {
    if (bytes.length < 4 || bytes[0] !== 0xff || bytes[1] !== 0xd8) return;
    for (let at = nextMarker(bytes, 2); at >= 0 && at + 4 <= bytes.length;) {
      const marker = bytes[at + 1];
      if (standalone(marker)) {
        at = nextMarker(bytes, at + 2);
        continue;
      }
      if (marker === 0xd9) return;  // the end of the image
      // A length below 2 gives no data: libjpeg reads on after it.
      const length = Math.max(2, (bytes[at + 2] << 8) | bytes[at + 3]);
      if (at + 2 + length > bytes.length) return;
      yield { marker, at: at + 4, length: length - 2 };
      if (marker === 0xda) return;  // the coded data of the scan follows
      at = nextMarker(bytes, at + 2 + length);
    }
  }

  // Start of frame: every SOFn but DHT (c4), JPG (c8) and DAC (cc).
  const isFrame = (marker) => marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc;

  // The frame header of a JPEG file: its size (a height of 0 is given later
  // in the file), bits per sample and number of colour components (1 grey,
  // 3 colour, 4 CMYK); null when the file has none before its first scan,
  // or an empty one.
  function jpegFrame(bytes) {
    for (const { marker, at, length } of jpegSegments(bytes)) {
      if (!isFrame(marker)) continue;
      // No width or no components: libjpeg refuses the file as empty.
      if (length < 6 || !bytes[at + 5] || !(bytes[at + 3] | bytes[at + 4])) return null;
      return { precision: bytes[at], height: (bytes[at + 1] << 8) | bytes[at + 2],
               width: (bytes[at + 3] << 8) | bytes[at + 4], components: bytes[at + 5] };
    }
    return null;
  }

  const startsWith = (bytes, at, text) => [...text].every((c, i) => bytes[at + i] === c.charCodeAt(0));

  // The colour profile a JPEG file carries: its APP2 "ICC_PROFILE" segments
  // joined by their sequence numbers from 1 up to the first missing one, a
  // later segment taking the place of an earlier one of the same number, as
  // libvips reads it (so the tool keeps the same profile); or null.
  function jpegProfile(bytes) {
    const parts = [];
    for (const { marker, at, length } of jpegSegments(bytes)) {
      if (marker === 0xe2 && length > 14 && startsWith(bytes, at, 'ICC_PROFILE\0') && bytes[at + 12] > 0) {
        parts[bytes[at + 12] - 1] = bytes.subarray(at + 14, at + length);
      }
    }
    let count = 0;
    while (parts[count]) ++count;
    if (!count) return null;
    const profile = new Uint8Array(parts.slice(0, count).reduce((sum, p) => sum + p.length, 0));
    parts.slice(0, count).reduce((at, p) => (profile.set(p, at), at + p.length), 0);
    return profile;
  }

  // The Exif data of a JPEG file (the TIFF structure of its first APP1
  // "Exif" segment, as PNG's eXIf chunk holds it), or null.
  function jpegExif(bytes) {
    for (const { marker, at, length } of jpegSegments(bytes)) {
      if (marker === 0xe1 && length > 14 && startsWith(bytes, at, 'Exif\0\0')) return bytes.subarray(at + 6, at + length);
    }
    return null;
  }

  // The orientation the Exif data of a JPEG file gives (1 to 8), and where
  // its value lies in the file; null when it gives none.
  function jpegOrientation(bytes) {
    const exif = jpegExif(bytes);
    const entry = exif && tiffDirectory(exif)?.entries.get(0x0112);
    if (!entry || entry.type !== 3 || entry.count !== 1) return null;
    const value = entry.read(0);
    // Other values mean nothing: libvips takes the picture as upright.
    if (value < 1 || value > 8) return null;
    return { value, at: exif.byteOffset - bytes.byteOffset + entry.at };
  }

  // ---------------------------------------------------------------------
  // WebP: the chunks of its RIFF container.

  // The data of the first chunk `fourcc` ('ICCP': the colour profile,
  // 'EXIF': Exif data) of the WebP file `bytes`, or null.
  function webpChunk(bytes, fourcc) {
    if (bytes.length < 12 || !startsWith(bytes, 0, 'RIFF') || !startsWith(bytes, 8, 'WEBP')) return null;
    for (let at = 12; at + 8 <= bytes.length;) {
      const size = bytes[at + 4] | (bytes[at + 5] << 8) | (bytes[at + 6] << 16) | (bytes[at + 7] * 2 ** 24);
      if (at + 8 + size > bytes.length) return null;
      if (startsWith(bytes, at, fourcc)) return bytes.subarray(at + 8, at + 8 + size);
      at += 8 + size + (size & 1);
    }
    return null;
  }

  // ---------------------------------------------------------------------
  // BMP: a version 5 header's embedded colour profile.

  // The colour profile embedded in a BMP file ('MBED' colour space of a
  // version 5 header, the profile's place counted from the header's start),
  // or null.
  function bmpProfile(bytes) {
    const u32 = (at) => bytes[at] + bytes[at + 1] * 256 + bytes[at + 2] * 65536 + bytes[at + 3] * 2 ** 24;
    if (bytes.length < 138 || !startsWith(bytes, 0, 'BM') || u32(14) < 124 || !startsWith(bytes, 70, 'DEBM')) return null;
    const at = 14 + u32(126), size = u32(130);
    return size > 0 && at + size <= bytes.length ? bytes.subarray(at, at + size) : null;
  }

  // ---------------------------------------------------------------------
  // TIFF: the first directory.

  // Whether `bytes` begin as a TIFF file (or a BigTIFF one) does.
  function isTiff(bytes) {
    return bytes.length >= 4 && ((bytes[0] === 0x49 && bytes[1] === 0x49 && (bytes[2] === 42 || bytes[2] === 43) && bytes[3] === 0) ||
                                 (bytes[0] === 0x4d && bytes[1] === 0x4d && bytes[2] === 0 && (bytes[3] === 42 || bytes[3] === 43)));
  }

  // Bytes of a value of each TIFF type (BigTIFF's 8-byte ones among them).
  const typeSizes = { 1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8, 13: 4, 16: 8, 17: 8, 18: 8 };

  // The first image directory of the TIFF data `bytes` (classic or BigTIFF),
  // its entries by tag, each with its type, count, the offset of its values
  // and a reader of its n-th value (integers only); null when `bytes` is not
  // TIFF data or the directory lies outside it.
  function tiffDirectory(bytes) {
    if (bytes.length < 8) return null;
    const little = bytes[0] === 0x49 && bytes[1] === 0x49;
    if (!little && !(bytes[0] === 0x4d && bytes[1] === 0x4d)) return null;
    const u16 = (at) => (little ? bytes[at] | (bytes[at + 1] << 8) : (bytes[at] << 8) | bytes[at + 1]);
    const u32 = (at) => (little ? u16(at) + u16(at + 2) * 65536 : u16(at) * 65536 + u16(at + 2));
    const u64 = (at) => (little ? u32(at) + u32(at + 4) * 2 ** 32 : u32(at) * 2 ** 32 + u32(at + 4));
    const big = u16(2) === 43;
    if (!big && u16(2) !== 42) return null;
    if (big && (bytes.length < 16 || u16(4) !== 8)) return null;
    // Classic: 2-byte count, 12-byte entries, 4-byte values or offsets;
    // BigTIFF: 8, 20 and 8.
    const [countBytes, entryBytes, slot] = big ? [8, 20, 8] : [2, 12, 4];
    const offset = big ? u64 : u32;
    const first = offset(big ? 8 : 4);
    if (first < 8 || first + countBytes > bytes.length) return null;
    const count = big ? u64(first) : u16(first);
    if (first + countBytes + count * entryBytes > bytes.length) return null;
    const entries = new Map();
    for (let i = 0; i < count; ++i) {
      const at = first + countBytes + i * entryBytes;
      const tag = u16(at), type = u16(at + 2), number = offset(at + 4);
      const size = (typeSizes[type] || 0) * number;
      const values = size <= slot ? at + 4 + slot : offset(at + 4 + slot);
      if (!typeSizes[type] || values + size > bytes.length) continue;
      const read = (n) => (n >= number ? undefined : type === 3 || type === 8 ? u16(values + 2 * n)
                           : type === 4 || type === 9 || type === 13 ? u32(values + 4 * n)
                           : type === 16 || type === 17 || type === 18 ? u64(values + 8 * n)
                           : typeSizes[type] === 1 ? bytes[values + n] : undefined);
      if (!entries.has(tag)) entries.set(tag, { type, count: number, at: values, read });
    }
    return { entries };
  }

  // What the first image of a TIFF file is, as its directory says: size,
  // samples a pixel, bits of each, their format (1 unsigned, 2 signed, 3
  // floating point), photometric interpretation (0, 1 grey; 2 RGB; 3
  // palette; 5 separated; 6 YCbCr; 8 and up CIE and others), inks (1 CMYK),
  // compression (7 JPEG), planar configuration (2: a plane at a time),
  // whether it is in tiles, and for a palette, whether its every colour is
  // a grey; null when it is no TIFF file.
  function tiffImage(bytes) {
    const directory = tiffDirectory(bytes);
    if (!directory) return null;
    const entry = (tag) => directory.entries.get(tag);
    const value = (tag, fallback, n = 0) => entry(tag)?.read(n) ?? fallback;
    const samples = value(277, 1);
    const bits = [];
    for (let n = 0; n < Math.min(samples, 16); ++n) bits.push(value(258, n === 0 ? 1 : bits[0], n));
    const image = { width: value(256, 0), height: value(257, 0), samples, bits, format: value(339, 1),
                    photometric: value(262, -1), inks: value(332, 1), compression: value(259, 1),
                    planar: value(284, 1), tiled: directory.entries.has(322), greyPalette: null };
    const map = entry(320);
    const colours = bits[0] <= 16 ? 2 ** bits[0] : 0;
    if (image.photometric === 3 && map && map.count >= 3 * colours) {
      image.greyPalette = true;
      for (let i = 0; i < colours && image.greyPalette; ++i) {
        const red = map.read(i);
        image.greyPalette = red === map.read(colours + i) && red === map.read(2 * colours + i);
      }
    }
    return image;
  }

  Object.assign(exports, { jpegSegments, jpegFrame, jpegProfile, jpegExif, jpegOrientation, webpChunk, bmpProfile, isTiff, tiffImage });
}
