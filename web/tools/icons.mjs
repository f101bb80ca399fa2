// Draws the page's icon as PNG files of the sizes asked for: three bands of
// red, green and blue above the same bands in another order, the filter's
// idea in a square, filling it edge to edge (so that it may also be masked).
//   node icons.mjs FOLDER SIZE...
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { deflateSync } from 'node:zlib';

const [folder, ...sizes] = process.argv.slice(2);

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function chunk(kind, data) {
  const body = Buffer.concat([Buffer.from(kind, 'latin1'), data]);
  let crc = 0xffffffff;
  for (const byte of body) crc = crcTable[(crc ^ byte) & 0xff] ^ (crc >>> 8);
  const out = Buffer.alloc(body.length + 8);
  out.writeUInt32BE(data.length, 0);
  body.copy(out, 4);
  out.writeUInt32BE((crc ^ 0xffffffff) >>> 0, body.length + 4);
  return out;
}

const red = [214, 48, 49], green = [39, 174, 96], blue = [36, 86, 200], paper = [250, 250, 250];
for (const size of sizes.map(Number)) {
  const rows = [];
  // The bands sit in the middle 70 % of the square: a mask keeps them whole.
  const inner = Math.round(size * 0.7), edge = Math.round((size - inner) / 2), gap = Math.max(1, Math.round(size / 48));
  for (let y = 0; y < size; ++y) {
    const row = Buffer.alloc(1 + size * 3);
    for (let x = 0; x < size; ++x) {
      let colour = paper;
      const u = x - edge, v = y - edge;
      if (u >= 0 && u < inner && v >= 0 && v < inner && Math.abs(v - inner / 2) >= gap) {
        const band = Math.min(2, Math.floor((u * 3) / inner));
        colour = (v < inner / 2 ? [red, green, blue] : [blue, red, green])[band];
      }
      row.set(colour, 1 + x * 3);
    }
    rows.push(row);
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(size, 0);
  header.writeUInt32BE(size, 4);
  header.set([8, 2, 0, 0, 0], 8);
  writeFileSync(join(folder, `icon-${size}.png`), Buffer.concat([
    Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', header), chunk('IDAT', deflateSync(Buffer.concat(rows))), chunk('IEND', Buffer.alloc(0))]));
}
