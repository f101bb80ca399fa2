// Whole runs of the page's WebAssembly module under Node, for web_bench: the
// benchmark picture made byte for byte as web_bench.cpp makes it, then for
// every line read ("plain" or "cross_mix") one run through ENTRYPOINT by the
// classic drive, the page's way, answered with its processor time in ms.
//   node --no-experimental-fetch web_run.js vantrel.js
'use strict';
const createVantrel = require(process.argv[2]);
const readline = require('node:readline');

const kColumns = 4000, kRows = 3000, kOrder = 1;
const blends = { plain: 0, cross_mix: 3 };

createVantrel().then((m) => {
  const at = m._vantrel_picture(kColumns, kRows, 3);
  const pixels = m.HEAPU8.subarray(at, at + kColumns * kRows * 3);
  let x = 0x9e3779b9;
  for (let i = 0; i < pixels.length; ++i) {
    x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
    pixels[i] = x >>> 24;
  }
  if (!m._vantrel_hold(192)) throw new Error(m.UTF8ToString(m._vantrel_error()));
  const run = (blend) => {
    const before = process.cpuUsage();
    let result = m._vantrel_run_start(0, kOrder, blend, 0);
    if (result === 0) while (m._vantrel_run_step());
    result = m._vantrel_run_end();
    const used = process.cpuUsage(before);
    return result === 0 ? (used.user + used.system) / 1000 : -1;
  };
  // The first runs compile the module's hot code.
  for (let i = 0; i < 3; ++i) run(0), run(3);
  readline.createInterface({ input: process.stdin }).on('line', (line) => {
    const blend = blends[line.trim()];
    console.log(blend === undefined ? -1 : run(blend));
  });
});
