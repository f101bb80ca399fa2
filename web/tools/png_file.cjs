// PNG files of plain 8-bit RGB or RGBA pixels, unfiltered rows, for the
// build's icons and the page's tests: a few lines of Node over zlib.
'use strict';
const { deflateSync } = require('node:zlib');

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});

// One chunk: length, kind, data and the CRC of kind and data.
function pngChunk(kind, data) {
  const body = Buffer.concat([Buffer.from(kind, 'latin1'), Buffer.from(data)]);
  let crc = 0xffffffff;
  for (const byte of body) crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
  const out = Buffer.alloc(body.length + 8);
  out.writeUInt32BE(data.length, 0);
  body.copy(out, 4);
  out.writeUInt32BE((crc ^ 0xffffffff) >>> 0, body.length + 4);
  return out;
}

// A PNG file of the picture (pixels row after row, 3 or 4 planes), with
// `chunks` between its header and its data.
function pngOf({ width, height, planes, pixels }, chunks = []) {
  const head = Buffer.alloc(13);
  head.writeUInt32BE(width, 0);
  head.writeUInt32BE(height, 4);
  head.set([8, planes === 4 ? 6 : 2, 0, 0, 0], 8);
  const stride = width * planes;
  const rows = Buffer.alloc(height * (stride + 1));
  for (let y = 0; y < height; ++y) rows.set(pixels.subarray(y * stride, (y + 1) * stride), y * (stride + 1) + 1);
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), pngChunk('IHDR', head), ...chunks,
                        pngChunk('IDAT', deflateSync(rows)), pngChunk('IEND', Buffer.alloc(0))]);
}

module.exports = { pngChunk, pngOf };
