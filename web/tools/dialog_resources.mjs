// Writes the page's copy of the dialog's resources: the control ids of
// resources/resource_ids.h and, from the dialog template of
// resources/Vantrel.rc, each control's label without its mnemonic mark and
// the mnemonic itself (the page's access key).
//   node dialog_resources.mjs resource_ids.h Vantrel.rc out.js
import { readFileSync, writeFileSync } from 'node:fs';

const [idsFile, scriptFile, outFile] = process.argv.slice(2);
const ids = {};
for (const m of readFileSync(idsFile, 'utf8').matchAll(/^#define (IDC_\w+) \(?(-?\d+)\)?$/gm)) ids[m[1]] = Number(m[2]);

const script = readFileSync(scriptFile, 'utf8');
const template = script.slice(script.indexOf('TARNWICKPARAM DIALOGEX'));
const body = template.slice(template.indexOf('BEGIN'), template.indexOf('\nEND'));
const labels = {};
for (const m of body.matchAll(/CONTROL "([^"]*)", (IDC_\w+),/g)) {
  if (!m[1] || m[2] === 'IDC_UNNAMED') continue;
  const key = /&(.)/.exec(m[1]);
  // "元画像とブレンドする( &B )" and "Cross(&O)" lose their bracketed mark.
  const text = m[1].replace(/\s*\(\s*&.\s*\)\s*$/, '').replace(/&/g, '').trim();
  labels[m[2]] = { text, key: key ? key[1].toLowerCase() : '' };
}
const groups = [...body.matchAll(/CONTROL "([^"]+)", IDC_UNNAMED, "Button", BS_GROUPBOX/g)].map((m) => m[1]);
const caption = /CAPTION "([^"]*)"/.exec(template)[1];
if (!labels.IDC_BLEND || !labels.IDC_ZOOM_IN || groups.length !== 1) throw new Error(`${scriptFile}: the dialog template is not as expected`);

writeFileSync(outFile, `// Made from ${scriptFile.split('/').slice(-2).join('/')} and ${idsFile.split('/').slice(-2).join('/')} by web/tools/dialog_resources.mjs.
export const ids = ${JSON.stringify(ids)};
export const japanese = ${JSON.stringify({ caption, method: groups[0], labels })};
`);
