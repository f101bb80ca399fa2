// The page: opens a picture (file chooser, drop, paste), shows the filter's
// output under every channel order of its thumbnail, shows the filter's
// dialog over the whole picture (its controller runs in a worker; this is its
// view), keeps the settings in the address, and saves the whole picture
// filtered as PNG. All filtering happens in the two workers (worker.js).
import { ids, japanese } from './dialog_resources.js';

const $ = (selector) => document.querySelector(selector);
const grid = $('#grid');
const dialogSection = $('#dialog');
const preview = $('#preview');
const previewContext = preview.getContext('2d');
const orderList = $('#order');
const saveButton = $('#save');
const cancelButton = $('#cancel');
const message = $('#message');

// ---------------------------------------------------------------------------
// Labels: English, or the dialog's own Japanese texts where the browser's
// preferred language is Japanese.

const inJapanese = (navigator.languages?.[0] || navigator.language || '').toLowerCase().startsWith('ja');
document.documentElement.lang = inJapanese ? 'ja' : 'en';
for (const element of document.querySelectorAll('[data-label]')) {
  const name = element.dataset.label;
  if (!inJapanese) continue;
  if (name === 'method') element.textContent = japanese.method;
  else if (japanese.labels[name]) element.textContent = japanese.labels[name].text;
}
// The dialog's mnemonics, as access keys of the same letters.
const controlOf = (name) => document.querySelector(`[data-id="${name}"]`);
for (const [name, { key }] of Object.entries(japanese.labels)) {
  const control = controlOf(name);
  if (control && key) control.accessKey = key;
}

// ---------------------------------------------------------------------------
// Messages and progress.

function say(text, isError = false) {
  message.textContent = text;
  message.className = isError ? 'error' : '';
  message.setAttribute('role', isError ? 'alert' : 'status');
}

function busy(label) {
  $('#busy').hidden = !label;
  if (label) {
    $('#busy-label').textContent = label;
    $('#progress').value = 0;
  }
}

// ---------------------------------------------------------------------------
// The settings: what the tool's options of the same names mean, kept in the
// address (?order=B%20R%20G&blend=cross&exclude=2).

const orderNames = [];
const blendNames = ['none', 'cross', 'mix', 'both'];
const compact = (name) => name.replace(/\s+/g, '').toUpperCase();

function settingsFromAddress() {
  const query = new URLSearchParams(location.search);
  const settings = { order: 0, blend: 0, exclude: 0 };
  const problems = [];
  const order = query.get('order');
  if (order !== null) {
    const index = /^\d+$/.test(order.trim()) ? Number(order) : orderNames.findIndex((n) => compact(n) === compact(order));
    if (index >= 0 && index < orderNames.length) settings.order = index;
    else problems.push(`order "${order}" is not one of the ${orderNames.length} RGB orders (0 to ${orderNames.length - 1}, or a name like "B R G")`);
  }
  const blend = query.get('blend');
  if (blend !== null) {
    const index = blendNames.indexOf(blend.toLowerCase());
    if (index >= 0) settings.blend = index;
    else problems.push(`blend "${blend}" is not one of ${blendNames.join(', ')}`);
  }
  const exclude = query.get('exclude');
  if (exclude !== null) {
    if (/^[0-3]$/.test(exclude)) settings.exclude = Number(exclude);
    else problems.push(`exclude "${exclude}" is not a channel of an RGB picture (1 to 3, or 0 for none)`);
  }
  if (problems.length) say(`The address asks for what the page cannot do: ${problems.join('; ')}. Those settings keep their defaults.`, true);
  return settings;
}

function writeAddress(settings) {
  let query = `?order=${encodeURIComponent(orderNames[settings.order])}`;
  if (settings.blend) query += `&blend=${blendNames[settings.blend]}`;
  if (settings.exclude) query += `&exclude=${settings.exclude}`;
  if (query !== location.search) history.replaceState(null, '', query + location.hash);
}

// ---------------------------------------------------------------------------
// The workers.

const runs = new Worker('worker.js');
const dialogWorker = new Worker('worker.js');
const page = {
  settings: { order: 0, blend: 0, exclude: 0 },
  name: '',
  picture: null,    // {width, height, planes} of the picture held
  dialogOpen: false,
  job: null,        // 'open', 'grid' or 'save' while the runs worker works
  jobOf: null,      // {job, number, name, settings} of that job, as they were when it began
  waitingFile: null,  // a file chosen while a picture opened or was saved: it opens next
  lastOpen: null,   // {number, name, outcome: 'opened', 'failed' or 'cancelled'}, for automation
  cells: [],        // the grid's filtered thumbnails, for automation
  thumbnail: null,
  openedAt: 0,
};
window.vantrelPage = page;

function post(worker, message, transfer = []) {
  worker.postMessage(message, transfer);
}

// Jobs of the runs worker are numbered, so that Cancel reaches the one it
// was pressed for even before the worker has begun it. Each keeps the name
// and settings it began with: what it answers is about those.
let jobNumber = 0;
function startJob(job, label, message, transfer) {
  page.job = job;
  page.jobOf = { job, number: ++jobNumber, name: message.name || page.name, settings: { ...page.settings } };
  busy(label);
  saveButton.disabled = true;
  post(runs, { ...message, number: jobNumber }, transfer);
}

function cancelJob() {
  if (page.job) post(runs, { type: 'cancel', job: jobNumber });
}

// After a job: a file chosen meanwhile opens, else a grid asked for meanwhile
// is made.
function endJob() {
  page.job = null;
  busy(null);
  saveButton.disabled = !page.picture;
  const file = page.waitingFile;
  page.waitingFile = null;
  if (file) openFile(file);
  else if (page.gridWanted) requestGrid();
}

function openEnded(outcome) {
  page.lastOpen = { number: page.jobOf.number, name: page.jobOf.name, outcome };
  // The picture open before stays; a grid the opening stopped is made again.
  if (outcome !== 'opened' && grid.dataset.state === 'running') page.gridWanted = true;
}

runs.onmessage = ({ data }) => {
  // What a job replaced since (a grid by a newer one, any job by an opening)
  // answers is not shown.
  if (data.number && data.number !== jobNumber) return;
  switch (data.type) {
    case 'names':
      orderNames.push(...data.names);
      page.settings = settingsFromAddress();
      document.body.dataset.ready = 'true';
      break;
    case 'progress':
      $('#progress').value = data.value;
      break;
    case 'writing':
      $('#busy-label').textContent = `Writing ${savedName(page.jobOf)}`;
      break;
    case 'opened':
      opened(data);
      break;
    case 'cell':
      drawCell(data.row, data.cell);
      break;
    case 'grid-done':
      grid.dataset.state = 'done';
      performance.mark('grid-done');
      if (page.openedAt) {
        page.openToGrid = performance.now() - page.openedAt;
        page.openedAt = 0;
      }
      endJob();
      break;
    case 'saved':
      download(data.file, page.jobOf);
      endJob();
      break;
    case 'cancelled':
      if (data.job === 'save') say('Cancelled: nothing was saved.');
      else if (data.job === 'open') say(`Cancelled: ${page.jobOf.name} was not opened.`);
      else say('Cancelled.');
      if (data.job === 'grid') grid.dataset.state = 'cancelled';
      if (data.job === 'open') openEnded('cancelled');
      endJob();
      break;
    case 'failed':
      say(data.message, true);
      if (data.job === 'names') break;  // not a job: the one under way goes on
      if (data.job === 'grid') grid.dataset.state = 'failed';
      if (data.lost) page.picture = null;
      if (data.job === 'open') openEnded('failed');
      endJob();
      break;
  }
};
runs.onerror = (event) => {
  say(`The page's worker stopped: ${event.message}. Reload the page to go on.`, true);
  endJob();
};

// ---------------------------------------------------------------------------
// Opening a picture.

const fileName = (file) => file.name || 'pasted picture';

// A file opens at once, stopping a grid under way (made again for it); while
// a picture opens or is saved it waits for that to end, the newest file
// chosen in place of one waiting before.
function openFile(file) {
  if (!file) return;
  const name = fileName(file);
  if (page.job === 'open' || page.job === 'save') {
    const before = page.waitingFile;
    page.waitingFile = file;
    const doing = page.job === 'save' ? 'is saved' : 'is open';
    say(`${name} opens once ${page.jobOf.name} ${doing}${before ? ` (in place of ${fileName(before)})` : ''}.`);
    return;
  }
  cancelJob();
  say('');
  page.openedAt = performance.now();
  startJob('open', `Opening ${name}`, { type: 'open', file, name, order: page.settings.order });
}

function opened({ picture, thumbnail }) {
  page.name = page.jobOf.name;
  page.picture = { width: picture.width, height: picture.height, planes: picture.planes };
  page.thumbnail = thumbnail;
  say(`${page.name}: ${picture.width} x ${picture.height} pixels, RGB${picture.planes === 4 ? ' with transparency' : ''}.`);
  makeCells(thumbnail);
  openDialog(picture);
  openEnded('opened');
  page.gridWanted = true;
  endJob();
}

function makeCells(thumbnail) {
  grid.replaceChildren();
  page.cells = [];
  orderNames.forEach((name, row) => {
    const cell = document.createElement('button');
    cell.type = 'button';
    cell.className = 'cell';
    cell.dataset.row = row;
    cell.setAttribute('aria-pressed', String(row === page.settings.order));
    const canvas = document.createElement('canvas');
    canvas.width = thumbnail.width;
    canvas.height = thumbnail.height;
    const label = document.createElement('span');
    label.className = 'label';
    label.textContent = `${row}  ${name}`;
    cell.append(canvas, label);
    cell.addEventListener('click', () => pickOrder(row));
    grid.append(cell);
  });
  grid.dataset.state = 'running';
}

// RGB or RGBA pixels as ImageData (not premultiplied: drawn as they are).
function imageData({ width, height, planes, pixels }) {
  if (planes === 4) return new ImageData(new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.length), width, height);
  const rgba = new Uint8ClampedArray(width * height * 4);
  for (let i = 0, o = 0; i < pixels.length; i += planes, o += 4) {
    rgba[o] = pixels[i];
    rgba[o + 1] = pixels[i + 1];
    rgba[o + 2] = pixels[i + 2];
    rgba[o + 3] = 255;
  }
  return new ImageData(rgba, width, height);
}

function drawCell(row, cell) {
  page.cells[row] = cell;
  const canvas = grid.children[row]?.querySelector('canvas');
  if (canvas) canvas.getContext('2d').putImageData(imageData(cell), 0, 0);
}

// A new grid replaces one under way; an opening or a save finishes first.
function requestGrid() {
  page.gridWanted = page.job === 'open' || page.job === 'save';
  if (!page.picture || page.gridWanted) return;
  grid.dataset.state = 'running';
  const { blend, exclude } = page.settings;
  startJob('grid', 'Filtering the thumbnail in every order', { type: 'grid', settings: { blend, exclude } });
}

$('#file').addEventListener('change', (event) => openFile(event.target.files[0]));
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dropping');
  openFile(event.dataTransfer.files[0]);
});
document.addEventListener('paste', (event) => {
  const file = [...event.clipboardData.files].find((f) => f.type.startsWith('image/'));
  if (file) openFile(file);
});

// ---------------------------------------------------------------------------
// The dialog: the filter's own, its controller in the dialog worker. This is
// its view: the worker's batches set the controls, the controls' actions go
// back as the controller's calls.

const kPress = 3, kToggle = 4, kPickRow = 5, kDown = 6, kMove = 7, kUp = 8, kDoubleClick = 9;
const byId = new Map();
for (const element of document.querySelectorAll('[data-id]')) byId.set(ids[element.dataset.id], element);

// Actions are numbered; each batch says the newest one the dialog took.
let actionsSent = 0, actionsDone = 0;
page.dialogIdle = () => actionsDone === actionsSent;

function act(kind, id = 0, x = 0, y = 0) {
  if (!page.dialogOpen) return;
  post(dialogWorker, { type: 'action', action: { kind, id, x, y, number: ++actionsSent, session: page.session } });
}

// Each picture gets a dialog of its own, numbered; the ones before are
// closed first, shown or still waiting to be. Batches of a dialog closed
// since are not shown.
function openDialog(picture) {
  page.session = (page.session || 0) + 1;
  post(dialogWorker, { type: 'close', before: page.session });
  orderList.replaceChildren();
  previewContext.clearRect(0, 0, preview.width, preview.height);
  page.dialogOpen = true;
  dialogSection.dataset.state = 'opening';
  post(dialogWorker, { type: 'dialog', session: page.session, picture, settings: page.settings,
                       anchor: { width: preview.width, height: preview.height } }, [picture.pixels.buffer]);
}

function applyOp([op, id, a, , text]) {
  const control = byId.get(id);
  switch (op) {
    case 1:
      if (control) control.checked = !!a;
      if (control) control.dataset.checked = String(!!a);
      break;
    case 2: if (control) control.disabled = !a; break;
    case 3: {
      const option = new Option(text, String(a));
      orderList.add(option, orderList.options[a] || null);
      break;
    }
    case 4: orderList.selectedIndex = a; break;
    case 5: if (control) control.textContent = text; break;
    case 6: if (control && dialogSection.contains(document.activeElement)) control.focus(); break;
    case 7: preview.style.cursor = a ? 'grabbing' : 'grab'; break;
    default: break;
  }
}

function settingsFromBlock([order, blendOn, cross, mix, excludeOn, channel]) {
  return {
    order,
    blend: blendOn ? (cross ? 1 : 0) + (mix ? 2 : 0) : 0,
    exclude: excludeOn ? channel : 0,
  };
}

function showPreview(shown) {
  if (!shown) return;
  const { pixels, width, height, left, top, frame } = shown;
  previewContext.clearRect(0, 0, preview.width, preview.height);
  previewContext.putImageData(imageData({ width, height, planes: 3, pixels }), left, top);
  previewContext.strokeStyle = '#000';
  previewContext.lineWidth = 1;
  const [l, t, r, b] = frame;
  previewContext.strokeRect(l + 0.5, t + 0.5, r - l - 1, b - t - 1);
}

dialogWorker.onmessage = ({ data }) => {
  if (data.type === 'view') actionsDone = data.done;
  if (data.session !== undefined && data.session !== page.session) return;
  switch (data.type) {
    case 'view': {
      data.ops.forEach(applyOp);
      showPreview(data.preview);
      dialogSection.dataset.state = 'open';
      const settings = settingsFromBlock(data.settings);
      $('#zoom-factor').textContent = data.settings[6] > 1 ? `1:${data.settings[6]}` : '1:1';
      markCell(settings.order);
      const gridChanged = settings.blend !== page.settings.blend || settings.exclude !== page.settings.exclude;
      page.settings = settings;
      writeAddress(settings);
      if (gridChanged) requestGrid();
      break;
    }
    case 'dialog-ended':
      page.dialogOpen = false;
      dialogSection.dataset.state = 'closed';
      break;
    case 'failed':
      say(data.message, true);
      page.dialogOpen = false;
      dialogSection.dataset.state = 'closed';
      break;
  }
};
dialogWorker.onerror = (event) => {
  say(`The dialog's worker stopped: ${event.message}. Reload the page to go on.`, true);
  page.dialogOpen = false;
};

function markCell(row) {
  for (const cell of grid.children) cell.setAttribute('aria-pressed', String(Number(cell.dataset.row) === row));
}

// A cell picks its row of the order list, as a click in the list would.
function pickOrder(row) {
  if (page.dialogOpen) {
    orderList.selectedIndex = row;
    return act(kPickRow, 0, row);
  }
  page.settings.order = row;
  markCell(row);
  writeAddress(page.settings);
}

orderList.addEventListener('change', () => act(kPickRow, 0, orderList.selectedIndex));
for (const [id, control] of byId) {
  if (control.type === 'checkbox') control.addEventListener('click', () => act(kToggle, id, control.checked ? 1 : 0));
  else if (control.tagName === 'BUTTON' || control.type === 'radio') control.addEventListener('click', () => act(kPress, id));
}
// A radio button shows what the controller decides, not the click: as the
// dialog's radio buttons, it does not check itself.
for (const radio of document.querySelectorAll('#dialog input[type=radio]')) {
  radio.addEventListener('click', () => { radio.checked = radio.dataset.checked === 'true'; });
}

// The preview, in its own pixels whatever size it is shown at.
function at(event) {
  const box = preview.getBoundingClientRect();
  return [Math.floor((event.clientX - box.left) * preview.width / box.width),
          Math.floor((event.clientY - box.top) * preview.height / box.height)];
}
preview.addEventListener('pointerdown', (event) => {
  if (event.button !== 0) return;
  preview.setPointerCapture(event.pointerId);
  act(kDown, 0, ...at(event));
});
preview.addEventListener('pointermove', (event) => act(kMove, 0, ...at(event)));
preview.addEventListener('pointerup', (event) => {
  if (event.button === 0) act(kUp, 0, ...at(event));
});
preview.addEventListener('dblclick', (event) => act(kDoubleClick, 0, ...at(event)));
// The keyboard moves and zooms the preview as the nudge and zoom buttons do.
const keys = {
  ArrowLeft: 'IDC_NUDGE_LEFT', ArrowRight: 'IDC_NUDGE_RIGHT', ArrowUp: 'IDC_NUDGE_UP', ArrowDown: 'IDC_NUDGE_DOWN',
  '+': 'IDC_ZOOM_IN', '=': 'IDC_ZOOM_IN', '-': 'IDC_ZOOM_OUT',
};
preview.addEventListener('keydown', (event) => {
  if (!keys[event.key]) return;
  event.preventDefault();
  if (!controlOf(keys[event.key]).disabled) act(kPress, ids[keys[event.key]]);
});

// ---------------------------------------------------------------------------
// Saving.

// A save's file is named after the picture and the order it began with.
function savedName({ name, settings }) {
  return `${name.replace(/\.[^.]*$/, '') || 'picture'}_${compact(orderNames[settings.order])}.png`;
}

function download(file, job) {
  const name = savedName(job);
  const link = document.createElement('a');
  link.href = URL.createObjectURL(file);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
  say(`Saved ${name}.`);
}

saveButton.addEventListener('click', () => {
  if (!page.picture || page.job) return;
  say('');
  startJob('save', `Filtering ${page.name} as a whole`, { type: 'save', settings: page.settings });
});
// Cancel stops the job under way and forgets a file waiting to open.
cancelButton.addEventListener('click', () => {
  if (page.waitingFile) say(`${fileName(page.waitingFile)} will not open.`);
  page.waitingFile = null;
  cancelJob();
});

// ---------------------------------------------------------------------------
// Start: the order names come from the module, as the filter has them.

post(runs, { type: 'names' });
