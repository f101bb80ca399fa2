// Draws the page's icon as PNG files of the sizes asked for: three bands of
// red, green and blue above the same bands in another order, the filter's
// idea in a square, filling it edge to edge (so that it may also be masked).
//   node icons.mjs FOLDER SIZE...
import { writeFileSync } from 'node:fs';
import { join } from 'node:path';
import { createRequire } from 'node:module';

const { pngOf } = createRequire(import.meta.url)('./png_file.cjs');

const [folder, ...sizes] = process.argv.slice(2);

const red = [214, 48, 49], green = [39, 174, 96], blue = [36, 86, 200], paper = [250, 250, 250];
for (const size of sizes.map(Number)) {
  const pixels = new Uint8Array(size * size * 3);
  // The bands sit in the middle 70 % of the square: a mask keeps them whole.
  const inner = Math.round(size * 0.7), edge = Math.round((size - inner) / 2), gap = Math.max(1, Math.round(size / 48));
  for (let y = 0; y < size; ++y) {
    for (let x = 0; x < size; ++x) {
      let colour = paper;
      const u = x - edge, v = y - edge;
      if (u >= 0 && u < inner && v >= 0 && v < inner && Math.abs(v - inner / 2) >= gap) {
        const band = Math.min(2, Math.floor((u * 3) / inner));
        colour = (v < inner / 2 ? [red, green, blue] : [blue, red, green])[band];
      }
      pixels.set(colour, (y * size + x) * 3);
    }
  }
  writeFileSync(join(folder, `icon-${size}.png`), pngOf({ width: size, height: size, planes: 3, pixels }));
}
