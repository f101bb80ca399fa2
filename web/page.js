// The page: opens pictures (file chooser, drop, paste; one or several),
// shows the filter's output under every channel order of a thumbnail, the
// whole picture filtered beside its original, and the filter's dialog over
// the whole picture (its controller runs in a worker; this is its view),
// keeps the settings in the address, and saves the whole picture filtered as
// PNG, JPEG or WebP, or several pictures as one zip. All filtering happens in
// workers: worker.js for the grid, saving and batches, view_worker.js for the
// whole-picture view.
import { ids, japanese } from './dialog_resources.js';
import { texts } from './texts.js';
import { WholeView } from './view.js';
import { zip } from './zip.js';

const $ = (selector) => document.querySelector(selector);
// Written from the filter's settings model when the page is built.
const model = self.VantrelModel;
const orderNames = model.orders.map((order) => order.name);
const blendNames = model.blendMethods;
const grid = $('#grid');
const dialogSection = $('#dialog');
const preview = $('#preview');
const previewContext = preview.getContext('2d');
const orderList = $('#order');
const saveButton = $('#save');
const cancelButton = $('#cancel');
const message = $('#message');
const formatChoice = $('#format');
const qualityField = $('#quality');

// ---------------------------------------------------------------------------
// Texts: English, or Japanese where the browser's preferred language is
// Japanese: the page's own texts translated (texts.js), the dialog's from its
// resources.

const inJapanese = (navigator.languages?.[0] || navigator.language || '').toLowerCase().startsWith('ja');
const t = texts(inJapanese ? 'ja' : 'en');
document.documentElement.lang = inJapanese ? 'ja' : 'en';
if (inJapanese) {
  document.title = t('title');
  for (const element of document.querySelectorAll('[data-text]')) element.innerHTML = t.html(element.dataset.text);
  for (const element of document.querySelectorAll('[data-text-label]')) {
    element.setAttribute('aria-label', t(element.dataset.textLabel));
  }
  for (const element of document.querySelectorAll('[data-text-title]')) element.title = t(element.dataset.textTitle);
  for (const element of document.querySelectorAll('[data-label]')) {
    const name = element.dataset.label;
    if (name === 'method') element.textContent = japanese.method;
    else if (japanese.labels[name]) element.textContent = japanese.labels[name].text;
  }
}
// The texts that say what the filter's model holds.
grid.dataset.empty = t('grid-empty', orderNames.length);
$('#footer').innerHTML = t('footer', model.limits);
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
// address (?order=B%20R%20G&blend=cross&exclude=2&format=jpeg&quality=85).
// The format and quality say how Save writes the file.

const formats = ['png', 'jpeg', 'webp'];
const extensions = { png: 'png', jpeg: 'jpg', webp: 'webp' };
const compact = (name) => name.replace(/\s+/g, '').toUpperCase();
const defaults = () => ({ order: 0, blend: 0, exclude: 0, format: 'png', quality: null });

// Whether this browser writes WebP files, as the worker finds (before it
// answers: whether a canvas asked for WebP answers WebP).
let writesWebp = document.createElement('canvas').toDataURL('image/webp').startsWith('data:image/webp');

function settingsFromAddress() {
  const query = new URLSearchParams(location.search);
  const settings = defaults();
  const problems = [];
  const order = query.get('order');
  if (order !== null) {
    const index = /^\d+$/.test(order.trim()) ? Number(order) : orderNames.findIndex((n) => compact(n) === compact(order));
    if (index >= 0 && index < orderNames.length) settings.order = index;
    else problems.push(t('bad-order', order, orderNames.length, orderNames[0]));
  }
  const blend = query.get('blend');
  if (blend !== null) {
    const index = blendNames.indexOf(blend.toLowerCase());
    if (index >= 0) settings.blend = index;
    else problems.push(t('bad-blend', blend, blendNames.join(', ')));
  }
  const exclude = query.get('exclude');
  if (exclude !== null) {
    if (/^\d$/.test(exclude) && Number(exclude) <= model.channels) settings.exclude = Number(exclude);
    else problems.push(t('bad-exclude', exclude, model.channels));
  }
  const format = query.get('format');
  if (format !== null) {
    const name = format.toLowerCase() === 'jpg' ? 'jpeg' : format.toLowerCase();
    if (name === 'webp' && !writesWebp) problems.push(t('no-webp-link'));
    else if (formats.includes(name)) settings.format = name;
    else problems.push(t('bad-format', format));
  }
  const quality = query.get('quality');
  if (quality !== null) {
    if (/^\d+$/.test(quality.trim()) && Number(quality) >= 1 && Number(quality) <= 100) settings.quality = Number(quality);
    else problems.push(t('bad-quality', quality));
  }
  if (problems.length) {
    // The warning stays until dismissed, and the address shows at once the
    // settings used instead.
    $('#link-warning-text').textContent = t('link-warning', problems);
    $('#link-warning').hidden = false;
    writeAddress(settings, true);
  }
  return settings;
}

function writeAddress(settings, always = false) {
  let query = `?order=${encodeURIComponent(orderNames[settings.order])}`;
  if (settings.blend) query += `&blend=${blendNames[settings.blend]}`;
  if (settings.exclude) query += `&exclude=${settings.exclude}`;
  if (settings.format !== 'png') query += `&format=${settings.format}`;
  if (settings.quality !== null) query += `&quality=${settings.quality}`;
  if (always || query !== location.search) history.replaceState(null, '', query + location.hash);
}

const sameFilter = (a, b) => a.order === b.order && a.blend === b.blend && a.exclude === b.exclude;
const filterOf = ({ order, blend, exclude }) => ({ order, blend, exclude });

// The settings in words, for the notes that say where they came from.
function settingsInWords(s) {
  const parts = [orderNames[s.order]];
  if (s.blend) parts.push(t('blend-words', blendNames[s.blend]));
  if (s.exclude) parts.push(t('exclude-words', s.exclude));
  if (s.format !== 'png') parts.push(s.quality !== null ? t('format-quality-words', s.format, s.quality) : t('format-words', s.format));
  return parts.join(t('list-separator'));
}
const isDefault = (s) => JSON.stringify(s) === JSON.stringify(defaults());

// ---------------------------------------------------------------------------
// The workers: `runs` opens pictures, makes the grid and saves; `dialogWorker`
// shows the filter's dialog; `viewWorker` makes the whole-picture view; a
// batch's save runs in workers of its own.

const runs = new Worker('worker.js');
const dialogWorker = new Worker('worker.js');
const viewWorker = new Worker('view_worker.js');
const page = {
  settings: defaults(),
  name: '',
  picture: null,    // {width, height, planes} of the picture held
  jpeg: null,       // {quality, subsampling} of the picture held, when it is a JPEG file
  dialogOpen: false,
  job: null,        // 'open', 'grid', 'save' while the runs worker works; 'batch' while a batch is saved
  jobOf: null,      // {job, number, name, settings} of that job, as they were when it began
  waiting: null,    // {files, keepBatch} chosen while a picture opened or was saved: they open next
  lastOpen: null,   // {number, name, outcome: 'opened', 'failed' or 'cancelled'}, for automation
  cells: [],        // the grid's filtered thumbnails, for automation
  thumbnail: null,
  openedAt: 0,
  batch: null,      // {files, items: [{name, state, message}]} while several pictures are open
  lastBatch: null,  // {saved, failed: [{name, message}], cancelled} of the last batch saved, for automation
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
  if (page.job === 'batch') batchRun?.cancel();
  else if (page.job) post(runs, { type: 'cancel', job: jobNumber });
}

// After a job: files chosen meanwhile open, else a grid asked for meanwhile
// is made.
function endJob() {
  page.job = null;
  busy(null);
  updateSave();
  const waiting = page.waiting;
  page.waiting = null;
  if (waiting) openFiles(waiting.files, waiting);
  else if (page.gridWanted) requestGrid();
  else sendPictureToView();
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
    case 'formats':
      if (data.formats) writesWebp = data.formats.includes('webp');
      page.settings = settingsFromAddress();
      showSettings();
      if (!isDefault(page.settings)) carried(t('from-link', settingsInWords(page.settings)), page.settings);
      document.body.dataset.ready = 'true';
      break;
    case 'progress':
      $('#progress').value = data.value;
      break;
    case 'writing':
      $('#busy-label').textContent = t('writing', savedName(page.jobOf));
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
      download(data.file, savedName(page.jobOf));
      say(`${t('saved', savedName(page.jobOf))}${data.note ? ` ${data.note}` : ''}`);
      endJob();
      break;
    case 'cancelled':
      if (data.job === 'save') say(t('save-cancelled'));
      else if (data.job === 'open') say(t('open-cancelled', page.jobOf.name));
      else say(t('cancelled'));
      if (data.job === 'grid') grid.dataset.state = 'cancelled';
      if (data.job === 'open') openEnded('cancelled');
      endJob();
      break;
    case 'failed':
      say(data.message, true);
      if (data.job === 'formats') break;  // not a job: the one under way goes on
      if (data.job === 'grid') grid.dataset.state = 'failed';
      if (data.lost) page.picture = null;
      if (data.job === 'open') openEnded('failed');
      endJob();
      break;
  }
};
runs.onerror = (event) => {
  say(t('worker-stopped', event.message), true);
  endJob();
};

// ---------------------------------------------------------------------------
// Opening pictures.

const fileName = (file) => file.name || t('pasted');
const filesInWords = (files) => (files.length > 1 ? t('pictures-count', files.length) : fileName(files[0]));

// One file opens at once, stopping a grid under way (made again for it);
// several are opened as a batch, the first of them shown. While a picture
// opens or is saved they wait for that to end, the newest chosen in place of
// those waiting before.
function openFiles(files, { keepBatch = false } = {}) {
  files = [...files].filter(Boolean);
  if (!files.length) return;
  if (page.job === 'open' || page.job === 'save' || page.job === 'batch') {
    const before = page.waiting;
    page.waiting = { files, keepBatch };
    const doing = page.job === 'open' ? 'open' : 'saved';
    say(t('opens-once', filesInWords(files), files.length > 1, page.jobOf.name, doing, before && filesInWords(before.files)));
    return;
  }
  if (!keepBatch) {
    page.batch = files.length > 1 ? { files, items: files.map((f) => ({ name: fileName(f), state: 'open' })) } : null;
    showBatch();
  }
  const file = files[0];
  const name = fileName(file);
  cancelJob();
  say('');
  page.openedAt = performance.now();
  page.viewPicture = null;
  startJob('open', t('opening', name), { type: 'open', file, name, order: page.settings.order });
}

function opened({ picture, thumbnail, jpeg }) {
  const before = page.name;
  page.name = page.jobOf.name;
  page.picture = { width: picture.width, height: picture.height, planes: picture.planes };
  page.jpeg = jpeg || null;
  page.thumbnail = thumbnail;
  say(t('opened', page.name, picture.width, picture.height, picture.planes === 4));
  if (before && !page.batch && !isDefault(page.settings)) carried(t('carried', before, settingsInWords(page.settings)), page.settings);
  makeCells(thumbnail);
  // The whole-picture view gets its copy once the grid is made, so that the
  // grid comes first; meanwhile the thumbnails stand in.
  page.session = (page.session || 0) + 1;
  view.picture(picture.width, picture.height);
  page.view.shown = null;
  viewState('loading');
  try {
    page.viewPicture = { session: page.session, picture: { ...picture, pixels: picture.pixels.slice() } };
  } catch (error) {
    page.viewPicture = null;
    page.view.lost = page.session;
    viewState('failed', t('view-failed', error.message));
  }
  view.show('beforeStandIn', canvasOf(thumbnail));
  openDialog(picture);
  openEnded('opened');
  showSettings();
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
    // The orders that take each channel once are marked beside their label,
    // on its line, and alone shown when the page is asked for swaps only.
    const caption = document.createElement('span');
    caption.append(label);
    if (model.orders[row].takesEachOnce) {
      const mark = document.createElement('span');
      mark.className = 'swap';
      mark.textContent = '\u00a0\u21c4';
      mark.title = t('swap-mark');
      mark.setAttribute('aria-label', t('swap-mark'));
      caption.append(mark);
    }
    cell.append(canvas, caption);
    cell.hidden = swapsOnly.checked && !model.orders[row].takesEachOnce;
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

function canvasOf(picture) {
  const canvas = document.createElement('canvas');
  canvas.width = picture.width;
  canvas.height = picture.height;
  canvas.getContext('2d').putImageData(imageData(picture), 0, 0);
  return canvas;
}

function drawCell(row, cell) {
  page.cells[row] = cell;
  const canvas = grid.children[row]?.querySelector('canvas');
  if (canvas) canvas.getContext('2d').putImageData(imageData(cell), 0, 0);
  if (row === page.settings.order && page.view.state !== 'done') view.show('afterStandIn', canvas);
}

// A new grid replaces one under way; an opening, a save or a batch finishes
// first.
function requestGrid() {
  page.gridWanted = page.job === 'open' || page.job === 'save' || page.job === 'batch';
  if (!page.picture || page.gridWanted) return;
  grid.dataset.state = 'running';
  const { blend, exclude } = page.settings;
  startJob('grid', t('filtering-grid'), { type: 'grid', settings: { blend, exclude } });
}

$('#file').addEventListener('change', (event) => {
  openFiles(event.target.files);
  event.target.value = '';
});
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dropping');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dropping'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dropping');
  openFiles(event.dataTransfer.files);
});
document.addEventListener('paste', (event) => {
  const file = [...event.clipboardData.files].find((f) => f.type.startsWith('image/'));
  if (file) openFiles([file]);
});

// ---------------------------------------------------------------------------
// Several pictures: listed, each shown on request; Save filters them all.

function showBatch() {
  const section = $('#pictures');
  section.hidden = !page.batch;
  updateSave();
  if (!page.batch) return;
  $('#pictures-title').textContent = t('pictures-title', page.batch.files.length);
  const list = $('#picture-list');
  list.replaceChildren(...page.batch.items.map((item, index) => {
    const entry = document.createElement('li');
    entry.dataset.state = item.state;
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = item.name;
    const state = document.createElement('span');
    state.className = 'state';
    state.textContent = t(`item-${item.state}`, item.message);
    const show = document.createElement('button');
    show.type = 'button';
    show.textContent = t('show');
    show.setAttribute('aria-label', t('show-named', item.name));
    show.addEventListener('click', () => openFiles([page.batch.files[index]], { keepBatch: true }));
    entry.append(name, state, show);
    return entry;
  }));
}

// ---------------------------------------------------------------------------
// The whole-picture view.

const view = new WholeView({
  frame: $('.view-frame'), canvas: $('#view-canvas'), split: $('#split'),
  beforeTag: $('#tag-before'), afterTag: $('#tag-after'), scaleLabel: $('#view-scale'),
  fitLabel: (percent) => t('fit-scale', percent),
  reducedLabel: (reduction) => t('view-reduced', reduction),
});
// `most`: the pixels beyond which the view shows a picture from smaller
// bitmaps (view_worker.js).
page.view = { state: 'empty', order: null, placement: () => view.placement(), image: (key) => view.images[key],
              shown: null, most: 48e6 };
let viewNumber = 0;

function viewState(state, text = '') {
  page.view.state = state;
  $('#view').dataset.state = state;
  const status = $('#view-status');
  status.hidden = !text;
  status.textContent = text;
  status.className = state === 'failed' ? 'error' : '';
}

// The picture goes to the view's worker once the grid is done.
function sendPictureToView() {
  const pending = page.viewPicture;
  if (!pending) return;
  page.viewPicture = null;
  post(viewWorker, { type: 'picture', ...pending, most: page.view.most }, [pending.picture.pixels.buffer]);
  requestView(true);
}

function requestView(always = false) {
  if (!page.picture || page.view.lost === page.session) return;
  const settings = filterOf(page.settings);
  if (!always && page.view.shown && sameFilter(page.view.shown, settings) && page.view.state !== 'failed') return;
  page.view.order = settings.order;
  page.view.shown = settings;
  $('#view').dataset.order = String(settings.order);
  // The grid's cell stands in until the whole picture is filtered.
  const cell = grid.children[settings.order]?.querySelector('canvas');
  view.replace('after', null);
  view.show('afterStandIn', page.cells[settings.order] ? cell : null);
  viewState('loading', page.viewPicture ? '' : t('view-filtering'));
  if (!page.viewPicture) post(viewWorker, { type: 'view', session: page.session, number: ++viewNumber, settings });
}

viewWorker.onmessage = ({ data }) => {
  if (data.session !== page.session) {
    data.bitmap?.close();
    return;
  }
  switch (data.type) {
    case 'before':
      view.show('before', data.bitmap);
      break;
    case 'progress':
      if (data.number === viewNumber) viewState('loading', t('view-filtering-part', Math.round(data.value * 100)));
      break;
    case 'after':
      if (data.number !== viewNumber) return data.bitmap.close();
      view.show('after', data.bitmap);
      viewState('done');
      break;
    case 'failed':
      if (data.number !== undefined && data.number !== viewNumber) return;
      viewState('failed', t('view-failed', data.message));
      break;
  }
};
viewWorker.onerror = (event) => viewState('failed', t('view-failed', event.message));

$('#view-fit').addEventListener('click', () => view.fitToFrame());
$('#view-actual').addEventListener('click', () => view.actualPixels());
$('#view-zoom-in').addEventListener('click', () => view.zoomStep(true));
$('#view-zoom-out').addEventListener('click', () => view.zoomStep(false));
$('#view-compare').addEventListener('click', (event) => {
  const on = event.currentTarget.getAttribute('aria-pressed') !== 'true';
  event.currentTarget.setAttribute('aria-pressed', String(on));
  view.setCompare(on);
});
// The original while the button is pressed: by a pointer, or Space or Enter
// held on it.
const holdButton = $('#view-original');
holdButton.addEventListener('pointerdown', (event) => {
  holdButton.setPointerCapture(event.pointerId);
  view.hold('button', true);
});
for (const end of ['pointerup', 'pointercancel', 'lostpointercapture']) {
  holdButton.addEventListener(end, () => view.hold('button', false));
}
holdButton.addEventListener('keydown', (event) => {
  if (event.key !== ' ' && event.key !== 'Enter') return;
  event.preventDefault();
  view.hold('button-key', true);
});
holdButton.addEventListener('keyup', () => view.hold('button-key', false));
holdButton.addEventListener('blur', () => view.hold('button-key', false));
holdButton.addEventListener('contextmenu', (event) => event.preventDefault());

// ---------------------------------------------------------------------------
// The dialog: the filter's own, its controller in the dialog worker. This is
// its view: the worker's batches set the controls, the controls' actions go
// back as the controller's calls.

const { press: kPress, toggle: kToggle, pickRow: kPickRow, down: kDown, move: kMove, up: kUp,
        doubleClick: kDoubleClick } = model.pageActions;
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
  post(dialogWorker, { type: 'close', before: page.session });
  orderList.replaceChildren();
  previewContext.clearRect(0, 0, preview.width, preview.height);
  page.dialogOpen = true;
  dialogSection.dataset.state = 'opening';
  post(dialogWorker, { type: 'dialog', session: page.session, picture, settings: filterOf(page.settings),
                       anchor: { width: preview.width, height: preview.height } }, [picture.pixels.buffer]);
}

const ops = model.viewOps;
function applyOp([op, id, a, , text]) {
  const control = byId.get(id);
  switch (op) {
    case ops.checked:
      if (control) control.checked = !!a;
      if (control) control.dataset.checked = String(!!a);
      break;
    case ops.enabled: if (control) control.disabled = !a; break;
    case ops.insertRow: {
      const option = new Option(text, String(a));
      orderList.add(option, orderList.options[a] || null);
      break;
    }
    case ops.selectRow: orderList.selectedIndex = a; break;
    case ops.text: if (control) control.textContent = text; break;
    case ops.focus: if (control && dialogSection.contains(document.activeElement)) control.focus(); break;
    case ops.hand: preview.style.cursor = a ? 'grabbing' : 'grab'; break;
    default: break;
  }
}

const fields = model.settingsFields;
const settingsFromBlock = (s) => ({ order: s[fields.order], blend: s[fields.blend], exclude: s[fields.cleared] });

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
      const zoom = data.settings[fields.zoom];
      $('#zoom-factor').textContent = zoom > 1 ? `1:${zoom}` : '1:1';
      markCell(settings.order);
      const gridChanged = settings.blend !== page.settings.blend || settings.exclude !== page.settings.exclude;
      const changed = !sameFilter(settings, page.settings);
      page.settings = { ...page.settings, ...settings };
      writeAddress(page.settings);
      if (gridChanged) requestGrid();
      if (changed) settingsChanged();
      else if (!page.view.shown) requestView();
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
  say(t('dialog-stopped', event.message), true);
  page.dialogOpen = false;
};

function markCell(row) {
  for (const cell of grid.children) cell.setAttribute('aria-pressed', String(Number(cell.dataset.row) === row));
}

// A cell picks its row of the order list, as a click in the list would; on
// a narrow screen the whole-picture view is brought into sight with it.
function pickOrder(row) {
  const viewBox = $('#view').getBoundingClientRect();
  if (narrow.matches && (viewBox.top < 0 || viewBox.bottom > window.innerHeight)) $('#view').scrollIntoView({ block: 'nearest' });
  if (page.dialogOpen) {
    orderList.selectedIndex = row;
    return act(kPickRow, 0, row);
  }
  page.settings.order = row;
  markCell(row);
  writeAddress(page.settings);
  settingsChanged();
}

// The arrow keys move between the cells (and pick them, as in a group of
// radio buttons), Home and End to the first and the last.
grid.addEventListener('keydown', (event) => {
  const cell = event.target.closest('.cell');
  if (!cell) return;
  const cells = [...grid.children].filter((c) => !c.hidden);
  const index = cells.indexOf(cell);
  const columns = Math.max(1, cells.filter((c) => c.offsetTop === cells[0].offsetTop).length);
  const moves = { ArrowLeft: -1, ArrowRight: 1, ArrowUp: -columns, ArrowDown: columns };
  let next;
  if (event.key === 'Home') next = 0;
  else if (event.key === 'End') next = cells.length - 1;
  else if (moves[event.key] !== undefined) next = index + moves[event.key];
  else return;
  event.preventDefault();
  if (next < 0 || next >= cells.length || next === index) return;
  cells[next].focus();
  pickOrder(Number(cells[next].dataset.row));
});

// "Swaps only": the grid shows just the orders that take each channel once.
const swapsOnly = document.createElement('input');
swapsOnly.type = 'checkbox';
swapsOnly.id = 'swaps-only';
{
  const label = document.createElement('label');
  label.append(swapsOnly, ` ${t('swaps-only')}`);
  const line = document.createElement('p');
  line.className = 'controls';
  line.append(label);
  $('#orders-title').after(line);
}
swapsOnly.addEventListener('change', () => {
  for (const cell of grid.children) cell.hidden = swapsOnly.checked && !model.orders[Number(cell.dataset.row)].takesEachOnce;
});

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
// Where the settings came from, and Reset.

let carriedFrom = null;
function carried(text, settings) {
  carriedFrom = { ...settings };
  $('#carried').textContent = text;
  $('#carried').hidden = false;
}

// Once the settings are changed here, they no longer are those carried over.
function settingsChanged() {
  if (carriedFrom && JSON.stringify(carriedFrom) !== JSON.stringify(page.settings)) {
    carriedFrom = null;
    $('#carried').hidden = true;
  }
  requestView();
  updateSave();
}

// Reset: the defaults, through the dialog's own controls where it is open,
// as a click on each would.
$('#reset').addEventListener('click', () => {
  const { format, quality } = defaults();
  page.settings.format = format;
  page.settings.quality = quality;
  if (page.dialogOpen) {
    if (page.settings.order !== 0) pickOrder(0);
    for (const box of [$('#blend'), $('#exclude')]) if (box.checked) box.click();
  } else {
    page.settings = defaults();
    markCell(0);
  }
  showSettings();
  writeAddress(page.settings);
  settingsChanged();
  say(t('reset-done'));
});

// ---------------------------------------------------------------------------
// Saving: the format and quality, one picture, or several as a zip.

// A file is named after the picture, the order and the format the save began
// with.
function savedName({ name, settings }) {
  return `${name.replace(/\.[^.]*$/, '') || 'picture'}_${compact(orderNames[settings.order])}.${extensions[settings.format]}`;
}

function download(file, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(file);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60_000);
}

// The controls as the settings have them, and what the format's rule gives.
function showSettings() {
  if (!writesWebp) formatChoice.querySelector('[value=webp]').disabled = true;
  formatChoice.value = page.settings.format;
  qualityField.value = page.settings.quality ?? '';
  const lossy = page.settings.format !== 'png';
  $('#quality-field').hidden = !lossy;
  const own = page.jpeg && !page.batch ? page.jpeg : null;
  qualityField.placeholder = own ? String(own.quality) : '90';
  let note;
  if (page.settings.format === 'png') note = t('note-png');
  else if (page.settings.format === 'jpeg') {
    if (page.settings.quality !== null) note = t('note-jpeg-set', page.settings.quality);
    else if (page.batch) note = t('note-jpeg-batch');
    else if (own) note = t('note-jpeg-own', page.name, own.quality, own.subsampling);
    else note = t('note-jpeg-default');
    if (!page.batch && page.picture?.planes === 4) note += ` ${t('note-jpeg-alpha', page.name)}`;
  } else {
    note = t('note-webp', page.settings.quality);
  }
  if (!writesWebp) note += ` ${t('no-webp')}`;
  $('#format-note').textContent = note;
  updateSave();
}

function updateSave() {
  const format = page.settings.format.toUpperCase().replace('WEBP', 'WebP');
  saveButton.textContent = page.batch ? t('save-several', page.batch.files.length, format) : t('save-one', format);
  saveButton.disabled = !!page.job || (!page.picture && !page.batch);
}

formatChoice.addEventListener('change', () => {
  page.settings.format = formatChoice.value;
  showSettings();
  writeAddress(page.settings);
  settingsChanged();
});
qualityField.addEventListener('change', () => {
  const value = Math.round(Number(qualityField.value));
  page.settings.quality = qualityField.value.trim() === '' || !(value >= 1) ? null : Math.min(100, value);
  showSettings();
  writeAddress(page.settings);
  settingsChanged();
});

saveButton.addEventListener('click', () => {
  if (page.job || !(page.picture || page.batch)) return;
  say('');
  if (page.batch) return saveBatch();
  const { format, quality } = page.settings;
  startJob('save', t('filtering-whole', page.name),
           { type: 'save', settings: filterOf(page.settings), format, quality });
});
// Cancel stops the job under way and forgets files waiting to open.
cancelButton.addEventListener('click', () => {
  if (page.waiting) say(t('will-not-open', filesInWords(page.waiting.files)));
  page.waiting = null;
  cancelJob();
});

// A batch: every picture converted by the filter's own run in workers of its
// own (one a core, four at most), one progress bar for them all, then one zip
// of those saved; the failures are listed, the others go on. Cancel stops
// every worker at once and nothing is saved.
let batchRun = null;
async function saveBatch() {
  const batch = page.batch;
  const settings = { ...page.settings };
  const files = batch.files.slice();
  page.job = 'batch';
  page.jobOf = { job: 'batch', number: ++jobNumber, name: t('pictures-count', files.length), settings };
  busy(t('saving-several', files.length));
  updateSave();
  batch.items.forEach((item) => { item.state = 'waiting'; item.message = ''; });
  showBatch();
  const { results, cancelled } = await convertAll(files, settings);
  const failed = results.map((r, i) => (r && !r.file ? { name: batch.items[i].name, message: r.message } : null)).filter(Boolean);
  if (cancelled) {
    batch.items.forEach((item) => { if (item.state !== 'failed') item.state = 'open'; });
    page.lastBatch = { saved: 0, failed, cancelled: true };
    say(t('batch-cancelled'));
  } else {
    await zipConverted(files, settings, results, failed);
  }
  showBatch();
  endJob();
}

// Converts each of `files` with `settings`, each on the first worker free,
// showing each picture's state and the progress of them all: answers each
// picture's result ({file, message}, or null where Cancel came first) and
// whether Cancel stopped them.
async function convertAll(files, settings) {
  const items = page.batch.items;
  const cores = navigator.hardwareConcurrency || 2;
  const count = Math.max(1, Math.min(files.length, cores, 4));
  const threads = Math.max(1, Math.floor(cores / count));
  const parts = new Array(files.length).fill(0);
  const results = new Array(files.length).fill(null);
  const showProgress = () => { $('#progress').value = parts.reduce((a, b) => a + b, 0) / files.length * 0.97; };
  const workers = [];
  let next = 0;
  let cancelled = false;
  await new Promise((resolve) => {
    batchRun = {
      cancel() {
        cancelled = true;
        for (const worker of workers) worker.terminate();
        resolve();
      },
    };
    let running = 0;
    const finish = (worker, index, result) => {
      if (cancelled || worker.index !== index) return;
      worker.index = null;
      results[index] = result;
      parts[index] = 1;
      items[index].state = result.file ? 'done' : 'failed';
      items[index].message = result.message;
      showBatch();
      showProgress();
      running -= 1;
      give(worker);
    };
    const give = (worker) => {
      if (next >= files.length) {
        if (running === 0) resolve();
        return;
      }
      const index = next++;
      running += 1;
      worker.index = index;
      items[index].state = 'working';
      showBatch();
      post(worker, { type: 'convert', number: index + 1, file: files[index], name: fileName(files[index]),
                     settings: filterOf(settings), format: settings.format, quality: settings.quality, threads });
    };
    const start = () => {
      const worker = new Worker('worker.js');
      worker.index = null;
      worker.onmessage = ({ data }) => {
        const index = (data.number || 0) - 1;
        if (index !== worker.index) return;
        if (data.type === 'progress') {
          parts[index] = data.value;
          showProgress();
        } else if (data.type === 'converted') {
          finish(worker, index, { file: data.file, message: data.note || '' });
        } else if (data.type === 'failed' || data.type === 'cancelled') {
          finish(worker, index, { message: data.message || t('cancelled') });
        }
      };
      // A worker that stops fails its picture; a new one takes its place.
      worker.onerror = (event) => {
        event.preventDefault();
        const index = worker.index;
        worker.terminate();
        workers.splice(workers.indexOf(worker), 1);
        const fresh = start();
        if (index !== null) {
          fresh.index = index;
          finish(fresh, index, { message: t('worker-stopped-picture', event.message) });
        } else {
          give(fresh);
        }
      };
      workers.push(worker);
      return worker;
    };
    for (let i = 0; i < count; ++i) give(start());
  });
  for (const worker of workers) worker.terminate();
  batchRun = null;
  return { results, cancelled };
}

// Downloads the pictures converted as one zip named after the order, each
// file named as a single save names it (the same name twice gets a number),
// and says what was saved and what failed.
async function zipConverted(files, settings, results, failed) {
  const used = new Set();
  const entries = [];
  results.forEach((result, index) => {
    if (!result?.file) return;
    let name = savedName({ name: fileName(files[index]), settings });
    for (let n = 2; used.has(name.toLowerCase()); ++n) name = name.replace(/(-\d+)?(\.\w+)$/, `-${n}$2`);
    used.add(name.toLowerCase());
    entries.push({ name, file: result.file });
  });
  const zipName = `pictures_${compact(orderNames[settings.order])}.zip`;
  if (entries.length) {
    $('#busy-label').textContent = t('writing', zipName);
    download(await zip(entries), zipName);
  }
  page.lastBatch = { saved: entries.length, failed, cancelled: false, name: entries.length ? zipName : null };
  const failures = failed.map((f) => `${f.name}: ${f.message}`).join(' ');
  if (!entries.length) say(t('batch-none', failures), true);
  else if (failed.length) say(t('batch-some', zipName, entries.length, failed.length, failures), true);
  else say(t('batch-saved', zipName, entries.length));
}

// ---------------------------------------------------------------------------
// Notices: a link's warning until dismissed; a new version of the page.

$('#link-warning-close').addEventListener('click', () => { $('#link-warning').hidden = true; });

// The page keeps its files for use without the network (service_worker.js);
// when they change, the new version is said and taken on request.
if ('serviceWorker' in navigator && location.protocol !== 'file:') {
  let reloading = false;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (reloading) location.reload();
  });
  navigator.serviceWorker.register('service_worker.js').then((registration) => {
    const offer = (worker) => {
      if (!worker || !navigator.serviceWorker.controller) return;
      $('#update').hidden = false;
      $('#update-reload').onclick = () => {
        reloading = true;
        worker.postMessage({ type: 'take-over' });
      };
    };
    offer(registration.waiting);
    registration.addEventListener('updatefound', () => {
      const worker = registration.installing;
      worker?.addEventListener('statechange', () => {
        if (worker.state === 'installed') offer(worker);
      });
    });
  }).catch((error) => { page.serviceWorkerProblem = String(error); });
}

// Installing: where the browser offers it, a button of the page's.
let installPrompt = null;
window.addEventListener('beforeinstallprompt', (event) => {
  event.preventDefault();
  installPrompt = event;
  $('#install').hidden = false;
});
$('#install').addEventListener('click', async () => {
  if (!installPrompt) return;
  installPrompt.prompt();
  await installPrompt.userChoice.catch(() => {});
  installPrompt = null;
  $('#install').hidden = true;
});

// On a narrow screen the order list is a drop-down, whose one row is as
// large as a finger.
const narrow = window.matchMedia('(max-width: 700px)');
const fitList = () => { orderList.size = narrow.matches ? 1 : 10; };
narrow.addEventListener('change', fitList);
fitList();

// ---------------------------------------------------------------------------
// Start: the order names come from the module, as the filter has them.

post(runs, { type: 'formats' });
