// A helper of the page's writers (web/encode.js): makes the PNG pieces and
// JPEG strips its worker hands it, with an encoder module of its own, and
// answers each with its bytes or the reason it could not. A helper whose
// module cannot load or stops says so and ends; its worker then makes the
// pieces itself.
'use strict';

// The reason the scripts did not load, or null.
const scriptsProblem = (() => { try { importScripts('encoder.js', 'encode.js'); return null; } catch (e) { return e; } })();

const reasonOf = (error) => String((error && error.message) || error);

onmessage = async ({ data }) => {
  let E;
  try {
    if (scriptsProblem) throw scriptsProblem;
    E = await VantrelEncode.encoder();
  } catch (error) {
    postMessage({ id: data.id, error: `the writer's module could not be loaded (${reasonOf(error)})`, helper: true });
    return close();
  }
  try {
    const { bytes, adler } = await VantrelEncode.makePiece(E, data);
    postMessage({ id: data.id, bytes, adler }, [bytes.buffer]);
  } catch (error) {
    const stopped = Boolean(error.moduleStopped);
    postMessage({ id: data.id, error: reasonOf(error), helper: stopped });
    if (stopped) close();
  }
};
