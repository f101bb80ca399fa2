// Writes the page's service worker into the built page's folder: the
// template web/service_worker.js with the list of the folder's files and a
// version made from their contents, so that any change to the page changes
// the service worker, which browsers then install afresh.
//   node service_worker.mjs service_worker.js PAGE_FOLDER
import { createHash } from 'node:crypto';
import { readdirSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

const [template, folder] = process.argv.slice(2);
const name = 'service_worker.js';
const files = readdirSync(folder).filter((file) => file !== name && statSync(join(folder, file)).isFile()).sort();
const hash = createHash('sha256');
for (const file of files) hash.update(`${file}\0`).update(readFileSync(join(folder, file)));
const source = readFileSync(template, 'utf8');
const line = "const build = { version: '', files: [] };";
if (!source.includes(line)) throw new Error(`${template}: the line to fill in is not there`);
const build = { version: hash.digest('hex').slice(0, 16), files };
writeFileSync(join(folder, name), source.replace(line, `const build = ${JSON.stringify(build)};`));
