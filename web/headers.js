// What picture files say of themselves before they are decoded, for the
// page's worker (loaded by importScripts) and for the tests under Node
// (require): a JPEG file's frame, colour profile and orientation, and what a
// TIFF file's first image is. Every walk reads only within the bytes it is
// given and always moves forward, so a damaged or hostile file ends it with
// null, never with an exception or an endless loop.
'use strict';

(function (exports) {
  // ---------------------------------------------------------------------
  // JPEG: the segments before the first scan.

  // Markers that stand alone, without a length and data: the start of the
  // image, TEM and the restart markers.
  const standalone = (marker) => marker === 0xd8 || marker === 0x01 || (marker >= 0xd0 && marker <= 0xd7);

  // The segments of the JPEG file `bytes` up to and including the first
  // scan's header, each as {marker, at, length}: its data at `at`, `length`
  // bytes of it, all within `bytes`. Ends early where the file does not
  // follow the format or is cut short.
  function* jpegSegments(bytes) {
    if (bytes.length < 4 || bytes[0] !== 0xff || bytes[1] !== 0xd8) return;
    let at = 2;
    while (at + 4 <= bytes.length) {
      if (bytes[at] !== 0xff) return;
      const marker = bytes[at + 1];
      if (marker === 0xff) {  // a fill byte before the marker
        at += 1;
        continue;
      }
      if (standalone(marker)) {
        at += 2;
        continue;
      }
      if (marker === 0xd9) return;  // the end of the image
      const length = (bytes[at + 2] << 8) | bytes[at + 3];
      if (length < 2 || at + 2 + length > bytes.length) return;
      yield { marker, at: at + 4, length: length - 2 };
      if (marker === 0xda) return;  // the coded data of the scan follows
      at += 2 + length;
    }
  }

  // Start of frame: every SOFn but DHT (c4), JPG (c8) and DAC (cc).
  const isFrame = (marker) => marker >= 0xc0 && marker <= 0xcf && marker !== 0xc4 && marker !== 0xc8 && marker !== 0xcc;

  // The frame header of a JPEG file: its size (a height of 0 is given later
  // in the file), bits per sample and number of colour components (1 grey,
  // 3 colour, 4 CMYK); null when the file has none before its first scan.
  function jpegFrame(bytes) {
    for (const { marker, at, length } of jpegSegments(bytes)) {
      if (!isFrame(marker)) continue;
      if (length < 6) return null;
      return { precision: bytes[at], height: (bytes[at + 1] << 8) | bytes[at + 2],
               width: (bytes[at + 3] << 8) | bytes[at + 4], components: bytes[at + 5] };
    }
    return null;
  }

  const startsWith = (bytes, at, text) => [...text].every((c, i) => bytes[at + i] === c.charCodeAt(0));

  // The colour profile a JPEG file carries (its APP2 "ICC_PROFILE" segments
  // joined in their sequence), or null.
  function jpegProfile(bytes) {
    const parts = [];
    for (const { marker, at, length } of jpegSegments(bytes)) {
      if (marker === 0xe2 && length > 14 && startsWith(bytes, at, 'ICC_PROFILE\0')) {
        parts.push({ sequence: bytes[at + 12], data: bytes.subarray(at + 14, at + length) });
      }
    }
    if (!parts.length) return null;
    parts.sort((a, b) => a.sequence - b.sequence);
    const profile = new Uint8Array(parts.reduce((sum, p) => sum + p.data.length, 0));
    parts.reduce((at, p) => (profile.set(p.data, at), at + p.data.length), 0);
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
    return { value: entry.read(0), at: exif.byteOffset - bytes.byteOffset + entry.at };
  }

  // ---------------------------------------------------------------------
  // TIFF: the first directory.

  // Whether `bytes` begin as a TIFF file (or a BigTIFF one) does.
  function isTiff(bytes) {
    return bytes.length >= 4 && ((bytes[0] === 0x49 && bytes[1] === 0x49 && (bytes[2] === 42 || bytes[2] === 43) && bytes[3] === 0) ||
                                 (bytes[0] === 0x4d && bytes[1] === 0x4d && bytes[2] === 0 && (bytes[3] === 42 || bytes[3] === 43)));
  }

  const typeSizes = { 1: 1, 2: 1, 3: 2, 4: 4, 6: 1, 7: 1, 8: 2, 9: 4, 16: 8 };

  // The first image directory of the TIFF data `bytes`, its entries by tag,
  // each with its type, count, the offset of its values and a reader of
  // its n-th value (integers only); null when `bytes` is not TIFF data or the
  // directory lies outside it.
  function tiffDirectory(bytes) {
    if (bytes.length < 8) return null;
    const little = bytes[0] === 0x49 && bytes[1] === 0x49;
    if (!little && !(bytes[0] === 0x4d && bytes[1] === 0x4d)) return null;
    const u16 = (at) => (little ? bytes[at] | (bytes[at + 1] << 8) : (bytes[at] << 8) | bytes[at + 1]);
    const u32 = (at) => (little ? u16(at) + u16(at + 2) * 65536 : u16(at) * 65536 + u16(at + 2));
    if (u16(2) !== 42) return null;  // BigTIFF (43) and anything else: not read here
    const first = u32(4);
    if (first < 8 || first + 2 > bytes.length) return null;
    const count = u16(first);
    if (first + 2 + count * 12 > bytes.length) return null;
    const entries = new Map();
    for (let i = 0; i < count; ++i) {
      const at = first + 2 + i * 12;
      const tag = u16(at), type = u16(at + 2), number = u32(at + 4);
      const size = (typeSizes[type] || 0) * number;
      const values = size <= 4 ? at + 8 : u32(at + 8);
      if (!typeSizes[type] || values + size > bytes.length) continue;
      const read = (n) => (n >= number ? undefined : type === 3 || type === 8 ? u16(values + 2 * n)
                           : type === 4 || type === 9 ? u32(values + 4 * n) : bytes[values + n]);
      entries.set(tag, { type, count: number, at: values, read });
    }
    return { entries };
  }

  // What the first image of a TIFF file is, as its directory says: size,
  // samples a pixel, bits of each, their format (1 unsigned, 2 signed, 3
  // floating point), photometric interpretation (0, 1 grey; 2 RGB; 3
  // palette; 5 separated, CMYK with 4 inks; 6 YCbCr; 8 and up CIE and
  // others) and compression; null when it is no TIFF file or says none of
  // it.
  function tiffImage(bytes) {
    const directory = tiffDirectory(bytes);
    if (!directory) return null;
    const value = (tag, fallback, n = 0) => directory.entries.get(tag)?.read(n) ?? fallback;
    const samples = value(277, 1);
    const bits = [];
    for (let n = 0; n < Math.min(samples, 16); ++n) bits.push(value(258, n === 0 ? 1 : bits[0], n));
    return { width: value(256, 0), height: value(257, 0), samples, bits,
             format: value(339, 1), photometric: value(262, -1), compression: value(259, 1) };
  }

  Object.assign(exports, { jpegSegments, jpegFrame, jpegProfile, jpegExif, jpegOrientation, isTiff, tiffImage });
})(typeof module === 'object' && module.exports ? module.exports : (self.VantrelHeaders = {}));
