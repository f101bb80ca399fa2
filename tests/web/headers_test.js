// The page's header walks (web/headers.js, loaded as the page's worker loads
// it: a script that sets self.VantrelHeaders) over every file of the public
// corpus, and over each JPEG, TIFF and WebP file of it cut short and with
// bytes of its headers changed: no walk throws or runs past a second, a
// frame is null or sane, and for the files libvips reads, a JPEG file's
// frame, colour profile and orientation, a TIFF file's size and the profile
// of a WebP file or of a BMP file that embeds one are what libvips finds.
// Further folders are walked the same way: the JPEG reader's fuzzing corpus
// gives the page's walk the inputs that reach the tool's JPEG reader's
// corners.
//   node tests/web/headers_test.js web/headers.js build/corpus [FOLDER...]
'use strict';
const fs = require('node:fs');
const path = require('node:path');
const vm = require('node:vm');
const { execFileSync } = require('node:child_process');

const [script, ...folders] = process.argv.slice(2);
const context = vm.createContext({ self: {} });
vm.runInContext(fs.readFileSync(script, 'utf8'), context, { filename: script });
const problems = [];
// Every walk over `bytes`, in the worker's own context, all given a second.
const walks = new vm.Script(`((H) => ({ jpegFrame: H.jpegFrame(bytes), jpegProfile: H.jpegProfile(bytes), jpegExif: H.jpegExif(bytes),
     jpegOrientation: H.jpegOrientation(bytes), tiffImage: H.tiffImage(bytes), webpProfile: H.webpChunk(bytes, 'ICCP'),
     bmpProfile: H.bmpProfile(bytes) }))(self.VantrelHeaders)`);
function walk(bytes, what) {
  context.bytes = bytes;
  let answers = {};
  try {
    answers = walks.runInContext(context, { timeout: 1000 });
  } catch (error) {
    problems.push(`${what}: ${/timed out/.test(error.message) ? 'a walk did not end' : `a walk threw ${error.message}`}`);
  }
  const frame = answers.jpegFrame;
  if (frame !== null && frame !== undefined) {
    const fields = [frame.precision, frame.width, frame.height, frame.components];
    if (!fields.every((v) => Number.isInteger(v) && v >= 0 && v <= 65535) || frame.components < 1) {
      problems.push(`${what}: jpegFrame answered ${JSON.stringify(frame)}`);
    }
  }
  return answers;
}

// What libvips says of a file: its header fields, the profile as bytes.
function vipsHeader(file) {
  let text;
  try {
    text = execFileSync('vipsheader', ['-a', file], { encoding: 'latin1', stdio: ['ignore', 'pipe', 'ignore'] });
  } catch {
    return null;
  }
  const field = (name) => (text.match(new RegExp(`^${name}: (.*)$`, 'm')) || [])[1];
  const header = { width: Number(field('width')), height: Number(field('height')), bands: Number(field('bands')),
                   orientation: field('orientation') === undefined ? null : Number(field('orientation')),
                   loader: field('vips-loader'), profile: null };
  if (field('icc-profile-data') !== undefined) {
    const encoded = execFileSync('vipsheader', ['-f', 'icc-profile-data', file], { encoding: 'latin1' });
    header.profile = Buffer.from(encoded.trim(), 'base64');
  }
  return header;
}

const files = [];
function list(folder) {
  for (const entry of fs.readdirSync(folder, { withFileTypes: true })) {
    const full = path.join(folder, entry.name);
    if (entry.isDirectory()) list(full);
    else if (entry.name !== '.complete') files.push(full);
  }
}
folders.forEach(list);
files.sort();

let jpegs = 0, checked = 0, variants = 0;
const same = (a, b) => Boolean(a) === Boolean(b) && (!a || Buffer.compare(Buffer.from(a), b) === 0);
for (const file of files) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const answers = walk(bytes, file);
  const isJpeg = bytes[0] === 0xff && bytes[1] === 0xd8;
  const isTiff = context.self.VantrelHeaders.isTiff(bytes);
  const isWebp = Buffer.from(bytes.subarray(8, 12)).toString('latin1') === 'WEBP';
  if (!isJpeg && answers.jpegFrame !== null) problems.push(`${file}: no JPEG file, yet a frame ${JSON.stringify(answers.jpegFrame)}`);
  if (answers.bmpProfile) {
    ++checked;
    const vips = vipsHeader(file);
    if (!vips || !same(answers.bmpProfile, vips.profile)) problems.push(`${file}: BMP profile differs from what libvips finds`);
  }
  if (!isJpeg && !isTiff && !isWebp) continue;
  jpegs += isJpeg;
  // The file cut short at 32 points, and with one byte of its first 4 KB
  // changed at 32 places (to 0x00, 0xff, or its complement).
  for (let k = 1; k <= 32; ++k, ++variants) walk(bytes.subarray(0, Math.floor(bytes.length * k / 33)), `${file} cut`);
  for (let k = 0; k < 32; ++k, ++variants) {
    const changed = bytes.slice();
    const at = 2 + ((k * 2654435761) >>> 0) % Math.max(1, Math.min(4096, bytes.length) - 2);
    changed[at] = [0x00, 0xff, changed[at] ^ 0xff][k % 3];
    walk(changed, `${file} changed at ${at}`);
  }
  const vips = vipsHeader(file);
  if (vips && vips.loader === 'tiffload' && bytes[2] + bytes[3] === 42) {
    ++checked;
    const image = answers.tiffImage;
    if (!image || image.width !== vips.width || image.height !== vips.height) {
      problems.push(`${file}: TIFF image ${JSON.stringify(image)}, libvips reads ${vips.width} x ${vips.height}`);
    }
  }
  if (vips && vips.loader === 'webpload') {
    ++checked;
    if (!same(answers.webpProfile, vips.profile)) problems.push(`${file}: WebP profile differs from what libvips finds`);
  }
  if (!vips || vips.loader !== 'jpegload') continue;
  ++checked;
  const frame = answers.jpegFrame;
  if (!frame || frame.width !== vips.width || frame.height !== vips.height || frame.components !== vips.bands) {
    problems.push(`${file}: frame ${JSON.stringify(frame)}, libvips reads ${vips.width} x ${vips.height}, ${vips.bands} bands`);
  }
  const profile = answers.jpegProfile;
  if (!same(profile, vips.profile)) {
    problems.push(`${file}: profile of ${profile ? profile.length : 0} bytes, libvips finds ${vips.profile ? vips.profile.length : 0}`);
  }
  const orientation = answers.jpegOrientation ? answers.jpegOrientation.value : 1;
  if (vips.orientation !== null && orientation !== vips.orientation) {
    problems.push(`${file}: orientation ${orientation}, libvips reads ${vips.orientation}`);
  }
}

for (const problem of problems.slice(0, 40)) console.log(`  FAIL  ${problem}`);
console.log(`header walks: ${files.length} files, ${jpegs} of them JPEG; ${checked} checked against libvips, ` +
            `${variants} JPEG, TIFF and WebP files cut or changed; ${problems.length} problems`);
process.exit(problems.length || !jpegs ? 1 : 0);
