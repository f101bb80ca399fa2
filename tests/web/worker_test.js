// The page's worker (worker.js of the built page, with the module and
// scripts beside it) under Node, in a context of its own that stands in for
// a Web Worker's global scope, for what a browser cannot be made to show on
// demand: the module's loading held back or failing, a file that cannot be
// read, the module's run calls out of turn. Each case's table says what is
// sent and what must be answered.
//   node tests/web/worker_test.js build/web/page
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');

const folder = process.argv[2];
const wasmBinary = fs.readFileSync(path.join(folder, 'vantrel.wasm'));

// A worker whose module, each time it is made, waits for the promise that
// `loads` answers (and fails when that fails). Answers {send, answers,
// next(test)}.
function startWorker(loads = () => Promise.resolve()) {
  const answers = [];
  const context = vm.createContext({
    console, performance, MessageChannel, Blob, Response, CompressionStream, TextEncoder, TextDecoder,
    WebAssembly, setTimeout, clearTimeout, URL, location: { href: `file://${folder}/worker.js` },
    postMessage: (message) => answers.push(message),
  });
  context.self = context;
  context.importScripts = (...names) => {
    for (const name of names) {
      vm.runInContext(fs.readFileSync(path.join(folder, name), 'utf8'), context, { filename: name });
      if (name !== 'vantrel.js') continue;
      const create = context.createVantrel;
      context.createVantrel = (options) => loads().then(() => create({ ...options, wasmBinary }));
    }
  };
  vm.runInContext(fs.readFileSync(path.join(folder, 'worker.js'), 'utf8'), context, { filename: 'worker.js' });
  let seen = 0;
  return {
    context,
    answers,
    send: (data) => context.onmessage({ data }),
    // The first answer after those taken before that passes `test`, within 5 s.
    async next(test, what) {
      for (const deadline = Date.now() + 5000; Date.now() < deadline;) {
        const index = answers.findIndex((a, i) => i >= seen && test(a));
        if (index >= 0) {
          seen = index + 1;
          return answers[index];
        }
        await new Promise((resolve) => setTimeout(resolve, 5));
      }
      throw new Error(`no answer ${what}; answers: ${JSON.stringify(answers.map((a) => a.type + ':' + (a.message || a.session || '')))}`);
    },
  };
}


// A small picture: RGB pixels, and the same as a PNG file of our own writer.
const picture = { width: 8, height: 6, planes: 3, pixels: new Uint8Array(8 * 6 * 3).map((_, i) => (i * 37) & 255) };
const dialogOf = (session) => ({ type: 'dialog', session, picture: { ...picture, pixels: picture.pixels.slice() },
                                 anchor: { width: 64, height: 48 }, settings: { order: 1, blend: 0, exclude: 0 } });

const cases = [
  ['a dialog closed while the module loads is never shown; the next one is', async () => {
    let open;
    const gate = new Promise((resolve) => { open = resolve; });
    const w = startWorker(() => gate);
    for (const session of [1, 2]) {
      w.send({ type: 'close', before: session });
      w.send(dialogOf(session));
    }
    open();
    await w.next((a) => a.type === 'view' && a.session === 2, 'of the second dialog');
    w.send({ type: 'close', before: 3 });
    await w.next((a) => a.type === 'dialog-ended' && a.session === 2, 'ending the second dialog');
  }],
  ['a module that fails to load answers each job, and loads at the next', async () => {
    let attempts = 0;
    const w = startWorker(() => (++attempts === 1 ? Promise.reject(new Error('no memory')) : Promise.resolve()));
    w.send({ type: 'names', number: 1 });
    const failed = await w.next((a) => a.type === 'failed', 'to the first job');
    if (!/could not be loaded/.test(failed.message)) throw new Error(failed.message);
    w.send({ type: 'names' });
    await w.next((a) => a.type === 'names', 'from the module loaded again');
  }],
  ['a file that cannot be read is refused by name and the picture held stays', async () => {
    const w = startWorker();
    const png = await w.context.VantrelPng.encode(picture.pixels, picture.width, picture.height, 3);
    w.send({ type: 'open', number: 1, name: 'held.png', order: 1, file: png });
    await w.next((a) => a.type === 'opened', 'opening held.png');
    const unreadable = { size: 100, stream: () => new ReadableStream({ pull: (c) => c.error(new Error('the disk went away')) }) };
    w.send({ type: 'open', number: 2, name: 'gone.png', order: 1, file: unreadable });
    const failed = await w.next((a) => a.type === 'failed' || a.type === 'opened', 'for gone.png');
    if (failed.lost || !/gone\.png/.test(failed.message || '')) throw new Error(JSON.stringify(failed));
    w.send({ type: 'grid', number: 3, settings: { blend: 0, exclude: 0 } });
    await w.next((a) => a.type === 'grid-done', 'for the grid of the picture held');
  }],
];

// The module's run calls out of turn: each row a sequence of calls and the
// answers they must give ('ok' is 0 or true; 'refused' anything else).
const runCalls = [
  ['nothing held: step and end', [['step', false], ['end', 'refused']]],
  ['no such picture', [['start 7', 'refused'], ['end', 'refused']]],
  ['a run under way', [['hold', true], ['start 0', 0], ['start 1', 'refused'], ['hold', false],
                       ['step*', false], ['end', 0], ['end', 'refused'], ['step', false]]],
];

async function runCallsOutOfTurn() {
  const w = startWorker();
  const m = await w.context.createVantrel({});
  const problems = [];
  for (const [name, calls] of runCalls) {
    for (const [call, want] of calls) {
      let got;
      if (call === 'hold') {
        const at = m._vantrel_picture(8, 6, 3);
        got = at !== 0 && m._vantrel_hold(4) === 1;
        if (!got) m._vantrel_drop();
      } else if (call.startsWith('start')) got = m._vantrel_run_start(Number(call.split(' ')[1]), 1, 0, 0, 0);
      else if (call === 'step*') while ((got = Boolean(m._vantrel_run_step())));
      else if (call === 'step') got = Boolean(m._vantrel_run_step());
      else got = m._vantrel_run_end();
      const ok = want === 'refused' ? got !== 0 && got !== true : got === want;
      if (!ok) problems.push(`${name}: ${call} answered ${got}, not ${want}`);
    }
  }
  if (problems.length) throw new Error(problems.join('; '));
}
cases.push(['run calls out of turn are refused, never answered as a run', runCallsOutOfTurn]);

// A rejection nobody handles is a job left unanswered: it fails the case
// under way rather than ending the run.
let unhandled = null;
process.on('unhandledRejection', (error) => { unhandled = error; });

(async () => {
  let failures = 0;
  for (const [name, test] of cases) {
    try {
      unhandled = null;
      await test();
      if (unhandled) throw new Error(`unhandled: ${unhandled.message || unhandled}`);
      console.log(`  ok    ${name}`);
    } catch (error) {
      ++failures;
      console.log(`  FAIL  ${name}\n        ${error.message}`);
    }
  }
  console.log(`worker tests: ${cases.length - failures} of ${cases.length} passed`);
  process.exit(failures ? 1 : 0);
})();
