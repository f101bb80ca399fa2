#!/usr/bin/python3
"""The page over pictures from the wild: every file of the public corpus
(scripts/corpus.sh) opened in the page in headless Chromium, as a person
would, each under an order of its own. Each file opens to its grid and
dialog or to a message (class "error", naming the file and the reason)
within a time limit, and the page opens the next file after it. What the page
opens it saves, and the saved PNG is compared with what `vantrel FILE -o
out.png --order ORDER` writes for the same file; a file the page refuses is
checked against the tool the same way, and a command line the page suggests
is run as written. Every file falls in one of the outcomes of OUTCOMES below
or fails the test; one line of counts per outcome, and the files of each
outcome that the page and the tool do not agree on, with their reasons.

  page_corpus.py --zip PAGE.zip --vantrel VANTREL --corpus build/corpus
                 [--sample N] [--match PATTERN] [--out DIR]

--sample N takes N files, the same ones every time, spread over the kinds of
file the corpus holds (its extensions); --match the files whose paths the
pattern finds; without either, every file. --out keeps what came of each
file in DIR/corpus.jsonl.
"""
import argparse
import collections
import hashlib
import json
import os
import re
import shlex
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import traceback
import xml.etree.ElementTree as ElementTree
import zipfile
from concurrent.futures import ThreadPoolExecutor

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

import browser

OPEN_LIMIT = 30   # seconds a file may take to open to its grid and dialog, or to its message
SAVE_LIMIT = 30   # seconds a save may take
TOOL_LIMIT = 120  # seconds a run of the tool may take


# ---------------------------------------------------------------------------
# Pixels, through libvips' own format: one process a file.

def read_picture(path, work):
    """{width, height, bands, format, pixels, orientation, profile} of a
    picture as libvips reads it."""
    copy = os.path.join(work, 'picture.v')
    subprocess.check_call(['vips', 'copy', path, copy], stderr=subprocess.DEVNULL)
    data = open(copy, 'rb').read()
    os.remove(copy)
    width, height, bands, _, band_format = struct.unpack('<5i', data[4:24])
    size = width * height * bands * {0: 1, 1: 1, 2: 2, 3: 2}.get(band_format, 4)
    meta = {}
    tail = data[64 + size:]
    if tail.strip():
        for field in ElementTree.fromstring(tail.decode('utf-8', 'replace')).iter():
            if field.tag.endswith('}field') or field.tag == 'field':
                meta[field.get('name')] = field.text or ''
    return {'width': width, 'height': height, 'bands': bands, 'format': band_format,
            'pixels': data[64:64 + size], 'orientation': int(meta.get('orientation', '1') or 1),
            'profile': meta.get('icc-profile-data', '')}


def compare(page, tool):
    """'same', 'same where opaque' (the pixels differ only where the tool's
    are not opaque, or the tool's have a transparency plane that is opaque
    throughout and the page's none), 'differ' with (samples that differ,
    largest difference), or 'other shape'."""
    shape = lambda p: (p['width'], p['height'], p['format'])
    if shape(page) != shape(tool) or page['format'] != 0:
        return 'other shape', None
    if page['bands'] == tool['bands'] and page['pixels'] == tool['pixels']:
        return 'same', None
    a, b = page['pixels'], tool['pixels']
    if (page['bands'], tool['bands']) == (3, 4) and all(v == 255 for v in b[3::4]):
        rgb = bytearray(len(a))
        for k in range(3):
            rgb[k::3] = b[k::4]
        return ('same where opaque', None) if bytes(rgb) == a else ('differ', None)
    if page['bands'] != tool['bands']:
        return 'other shape', None
    count = largest = 0
    opaque_only = page['bands'] == 4
    for i, (x, y) in enumerate(zip(a, b)):
        if x != y:
            count += 1
            largest = max(largest, abs(x - y))
            opaque_only = opaque_only and i % 4 != 3 and b[i - i % 4 + 3] != 255
    return ('same where opaque' if opaque_only else 'differ'), (count, largest)


# ---------------------------------------------------------------------------
# The corpus.

def corpus_files(root):
    files = []
    for folder, _, names in os.walk(root):
        files += [os.path.relpath(os.path.join(folder, n), root) for n in names if n != '.complete']
    return sorted(files)


def kind(path):
    extension = os.path.splitext(path)[1].lower().lstrip('.')
    return {'jpeg': 'jpg', 'tiff': 'tif'}.get(extension, extension or 'none')


def digest(text):
    return hashlib.sha1(text.encode()).hexdigest()


def sample(files, count):
    """`count` files spread over the kinds of file (kinds of fewer than five
    files taken as one): one of each kind, the rest shared out by the kinds'
    sizes; each kind's files taken in an order fixed by their names' digests."""
    if count >= len(files):
        return files
    groups = collections.defaultdict(list)
    for f in files:
        groups[kind(f)].append(f)
    for k in [k for k in groups if len(groups[k]) < 5]:
        groups[' others'].extend(groups.pop(k))
    names = sorted(groups, key=lambda k: (-len(groups[k]), k))
    share = {k: 1 if n < count else 0 for n, k in enumerate(names)}
    rest = count - sum(share.values())
    spare = sum(len(groups[k]) - share[k] for k in names)
    quota = {k: rest * (len(groups[k]) - share[k]) / spare for k in names}
    for k in names:
        share[k] += int(quota[k])
    for k in sorted(names, key=lambda k: int(quota[k]) - quota[k])[:count - sum(share.values())]:
        share[k] += 1
    return sorted(f for k in names for f in sorted(groups[k], key=digest)[:share[k]])


# ---------------------------------------------------------------------------
# The tool.

def run_tool(tool, *arguments, cwd=None):
    """(exit status, what it said) of the tool run with `arguments`; no
    status when it gave no answer within the limit."""
    try:
        done = subprocess.run([tool, *arguments], cwd=cwd, capture_output=True, text=True, errors='replace',
                              timeout=TOOL_LIMIT)
    except subprocess.TimeoutExpired:
        return None, 'no answer within %d s' % TOOL_LIMIT
    return done.returncode, (done.stderr + done.stdout).strip()


# ---------------------------------------------------------------------------
# The page.

class Page(browser.Page):
    def until(self, script, seconds, *args):
        """The script's first true answer within `seconds`, or None."""
        try:
            return WebDriverWait(self.driver, seconds, 0.03).until(lambda d: d.execute_script(script, *args))
        except Exception:
            return None

    def load(self, order):
        self.driver.get(self.base + '?order=%d' % order)
        if not self.until('return document.body.dataset.ready === "true"', OPEN_LIMIT):
            raise AssertionError('the page did not become ready: ' + self.message()[0])

    def message(self):
        return self.js('const m = document.querySelector("#message"); return [m.textContent, m.className]')

    def choose_order(self, order):
        """The order for what follows, by a click on its cell as a person
        would choose it (a fresh page when there is no grid to click)."""
        if self.js('return window.vantrelPage.settings.order') == order:
            return
        if self.js('return !window.vantrelPage.job && document.querySelectorAll("#grid .cell").length === 24 '
                   '&& document.querySelector("#dialog").dataset.state === "open"'):
            self.js('document.querySelector("#grid .cell:nth-child(%d)").click()' % (order + 1))
            if self.until('return window.vantrelPage.settings.order === arguments[0] && '
                          'window.vantrelPage.dialogIdle() && !window.vantrelPage.job', OPEN_LIMIT, order):
                return
        self.load(order)

    def open(self, path):
        """'opened', 'failed', 'cancelled' or None (no end within the limit)."""
        before = self.js('return window.vantrelPage.lastOpen?.number || 0')
        self.js('const m = document.querySelector("#message"); m.textContent = ""; m.className = "";')
        self.driver.find_element(By.ID, 'file').send_keys(path)
        return self.until('''
            const p = window.vantrelPage, last = p.lastOpen;
            if (!last || last.number <= arguments[0] || p.job) return null;
            if (last.outcome !== 'opened') return last.outcome;
            const dialog = document.querySelector("#dialog").dataset.state;
            if (document.querySelector("#grid").dataset.state === "done" && dialog === "open") return 'opened';
            return dialog === 'closed' ? 'opened without its dialog' : null;''', OPEN_LIMIT, before)

    def save(self, name):
        """The path of the file saved through #save, or None with the page's message."""
        path = os.path.join(self.downloads, name)
        for f in os.listdir(self.downloads):
            os.remove(os.path.join(self.downloads, f))
        self.js('const m = document.querySelector("#message"); m.textContent = ""; m.className = "";')
        self.driver.find_element(By.ID, 'save').click()
        deadline = time.time() + SAVE_LIMIT
        while time.time() < deadline:
            if os.path.exists(path) and not os.path.exists(path + '.crdownload'):
                return path
            text, cls = self.message()
            if cls == 'error' or text.startswith('Cancelled'):
                return None
            time.sleep(0.03)
        return None


# ---------------------------------------------------------------------------
# One file.

def order_for(path):
    """An order other than the identity, fixed by the file's name."""
    return 1 + int(digest(path), 16) % 23


def compact(name):
    return name.replace(' ', '')


HINT = re.compile(r'vantrel, the command-line tool, filters [^:]*: (vantrel .*)$')


def check_file(page, suite, rel, tool_result):
    """The record of one file: what the page and the tool made of it."""
    path = os.path.join(suite.corpus, rel)
    base = os.path.basename(path)
    order = order_for(rel)
    order_name = suite.orders[order]
    with open(path, 'rb') as f:
        is_png = f.read(8) == b'\x89PNG\r\n\x1a\n'
    record = {'file': rel, 'kind': kind(rel), 'order': order_name, 'decoder': 'stb_image' if is_png else 'browser'}
    page.choose_order(order)
    started = time.time()
    outcome = page.open(path)
    record['open_seconds'] = round(time.time() - started, 2)
    text, cls = page.message()
    record['page'] = outcome or 'no end'
    record['message'] = text
    status, said, output = tool_result.result()
    record['tool'] = 'wrote' if status == 0 else 'refused' if status is not None else 'no end'
    record['tool_message'] = said
    if outcome is None:
        page.load(order)  # the page is judged stuck; a fresh one goes on
        return record
    if outcome == 'failed':
        record['message_ok'] = cls == 'error' and base in text and len(text) > len(base) + 10
        hint = HINT.search(text)
        if hint:
            record['hint'] = hint.group(1)
            words = shlex.split(hint.group(1))
            # A CMYK file is pointed to the order chosen taken to its inks.
            inks = ' '.join({'R': 'C', 'G': 'M', 'B': 'Y'}[c] for c in order_name.split()) + ' K'
            record['hint_ok'] = words[1] == base and words[words.index('--order') + 1] == (
                inks if 'CMYK' in text else order_name)
            with tempfile.TemporaryDirectory(dir=suite.work) as folder:
                os.symlink(path, os.path.join(folder, base))
                record['hint_status'], record['hint_said'] = run_tool(suite.tool, *words[1:], cwd=folder)
        # The page goes on: the next picture opens.
        record['next_opens'] = page.open(suite.probe) == 'opened'
        return record
    if outcome != 'opened':
        return record
    record['message_ok'] = text.startswith(base + ':')
    saved = page.save('%s_%s.png' % (os.path.splitext(base)[0] or 'picture', compact(order_name)))
    if saved is None:
        record['save'] = 'no file: ' + page.message()[0]
        return record
    record['save'] = 'saved'
    page_picture = read_picture(saved, suite.work)
    record['saved'] = [page_picture['width'], page_picture['height'], page_picture['bands']]
    if status != 0:
        return record
    want = read_picture(output, suite.work)
    record['tool_wrote'] = [want['width'], want['height'], want['bands']] + ([16] if want['format'] == 2 else [])
    record['pixels'], record['differ'] = compare(page_picture, want)
    if record['pixels'] != 'same':
        record['tool_loader'] = subprocess.run(['vipsheader', '-f', 'vips-loader', path], capture_output=True,
                                               text=True).stdout.strip()
    record['orientation'] = [page_picture['orientation'], want['orientation']]
    record['profile'] = [page_picture['profile'] == want['profile'], bool(want['profile'])]
    return record


# ---------------------------------------------------------------------------
# Outcomes: every file must fall in one, the first that fits. Each says what
# the page and the tool did; where they disagree, the files are listed.

def refused_well(r):
    """Refused with a message of class "error" naming the file and the
    reason, any command line in it naming the order chosen, and the next
    picture opened after it."""
    return r['page'] == 'failed' and r.get('message_ok') and r.get('next_opens') and r.get('hint_ok', True)


def opened_well(r):
    """Opened to its grid and dialog, said so by name, and saved; where the
    tool wrote the file too, with its orientation and colour profile."""
    if not (r['page'] == 'opened' and r.get('message_ok') and r.get('save') == 'saved'):
        return False
    return r['tool'] != 'wrote' or (r['orientation'][0] == r['orientation'][1] and r['profile'][0])


def tool_said(r, *phrases):
    return any(p in r['tool_message'] for p in phrases)


def page_said(r, *phrases):
    return any(p in r['message'] for p in phrases)


# (name, whether its files are listed, test)
OUTCOMES = [
    ('same pixels as the tool', False,
     lambda r: opened_well(r) and r['tool'] == 'wrote' and r['pixels'] == 'same'),
    # A browser's canvas keeps premultiplied colour, so a transparent
    # pixel's colour is lost; where every pixel is opaque the page keeps no
    # transparency plane, and libvips may.
    ('same pixels where opaque (decoded by the browser: a canvas loses the colour of transparent pixels)', True,
     lambda r: opened_well(r) and r['tool'] == 'wrote' and r['pixels'] == 'same where opaque'
     and r['decoder'] == 'browser'),
    ('other pixels: the browser and ImageMagick decode this file differently', True,
     lambda r: opened_well(r) and r['tool'] == 'wrote' and r['decoder'] == 'browser'
     and r.get('tool_loader') == 'magickload'),
    ('page only: the tool reads the file but cannot write it as PNG', True,
     lambda r: opened_well(r) and r['tool'] == 'refused' and re.match(r'\S*/tool/\d+\.png: ', r['tool_message'])),
    ('page only: the tool finds the file damaged', True,
     lambda r: opened_well(r) and r['tool'] == 'refused' and tool_said(r, 'damaged or cut short')),
    ('page only: ImageMagick does not read what the browser decodes', True,
     lambda r: opened_well(r) and r['tool'] == 'refused' and r['decoder'] == 'browser'
     and tool_said(r, 'libMagick error')),
    ('page only: the tool reads as greyscale what the browser hands over as RGB', True,
     lambda r: opened_well(r) and r['tool'] == 'refused' and r['decoder'] == 'browser'
     and tool_said(r, 'a greyscale image')),
    ('both refuse', False,
     lambda r: refused_well(r) and r['tool'] == 'refused' and 'hint' not in r),
    ('tool only: the page refuses and its message names the command, which works', True,
     lambda r: refused_well(r) and 'hint' in r and r['hint_status'] == 0),
    ('the page names the command, and the tool finds the file damaged', True,
     lambda r: refused_well(r) and 'hint' in r and r['hint_status'] != 0
     and any(p in r['hint_said'] for p in ('damaged or cut short', 'not an image libvips can read'))),
    ('tool only: a format this browser does not decode', True,
     lambda r: refused_well(r) and 'hint' not in r and r['tool'] == 'wrote'
     and page_said(r, 'this browser can decode', 'this browser cannot decode', 'this browser does not decode')),
    ('tool only: beyond the page\'s size limits', True,
     lambda r: refused_well(r) and 'hint' not in r and r['tool'] == 'wrote' and page_said(r, 'the page takes at most')),
]


def classify(r):
    if 'error' in r or r['page'] in ('no end', 'cancelled') or r['tool'] == 'no end':
        return None
    for name, _, test in OUTCOMES:
        if test(r):
            return name
    return None


def reasons(r):
    """What the page and the tool said of a file, shortly."""
    page = r['message'] if r['page'] == 'failed' else 'opened' + (
        ', %s' % r['pixels'] + (' (%d samples, up to %d apart)' % tuple(r['differ']) if r.get('differ') else '')
        if r.get('pixels') else '')
    tool = re.sub(r'^\S+?: ', '', r['tool_message']) if r['tool'] == 'refused' else 'wrote it'
    if 'hint' in r and r['hint_status']:
        tool += '; the suggested command: ' + r['hint_said']
    return 'page: %s | tool: %s' % (page[:200], re.sub(r'\s+', ' ', tool)[:200])


# ---------------------------------------------------------------------------

class Suite:
    pass


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--zip', required=True)
    parser.add_argument('--vantrel', required=True)
    parser.add_argument('--corpus', required=True)
    parser.add_argument('--sample', type=int, default=0)
    parser.add_argument('--match', default='', help='only the files whose paths this pattern finds')
    parser.add_argument('--out', default='')
    args = parser.parse_args()
    files = [f for f in corpus_files(args.corpus) if re.search(args.match, f)]
    if not files:
        print('page corpus: no files in %s (bash scripts/corpus.sh fetches them)' % args.corpus)
        return 1
    if args.sample:
        files = sample(files, args.sample)
    suite = Suite()
    suite.corpus, suite.tool = os.path.abspath(args.corpus), os.path.abspath(args.vantrel)
    suite.work = tempfile.mkdtemp(prefix='vantrel-page-corpus-')
    started = time.time()
    server = driver = None
    records = []
    try:
        with zipfile.ZipFile(args.zip) as z:
            z.extractall(suite.work)
            root = os.path.join(suite.work, z.namelist()[0].split('/')[0])
        suite.probe = os.path.join(suite.work, 'probe.png')
        subprocess.check_call(['vips', 'black', suite.probe, '16', '12', '--bands', '3'])
        server = browser.serve(root)
        driver = browser.chromium()
        downloads = os.path.join(suite.work, 'downloads')
        os.makedirs(downloads)
        driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
        page = Page(driver, 'http://127.0.0.1:%d/index.html' % server.server_address[1], downloads)
        page.load(0)
        listed = subprocess.check_output([suite.tool, '--list-orders', 'rgb'], text=True)
        # Each row: its index, its name, and a * where it takes each channel once.
        suite.orders = [line.split(None, 1)[1].rstrip(' *') for line in listed.splitlines() if re.match(r'^\s*\d+\s', line)]
        # The tool runs ahead of the browser, one file at a time.
        outputs = os.path.join(suite.work, 'tool')
        os.makedirs(outputs)
        with ThreadPoolExecutor(1) as pool:
            def tool_job(rel, n):
                output = os.path.join(outputs, '%d.png' % n)
                status, said = run_tool(suite.tool, '-q', os.path.join(suite.corpus, rel), '-o', output,
                                        '--order', suite.orders[order_for(rel)])
                return status, said, output
            results = [pool.submit(tool_job, rel, n) for n, rel in enumerate(files)]
            for n, rel in enumerate(files):
                try:
                    record = check_file(page, suite, rel, results[n])
                except Exception:
                    record = {'file': rel, 'kind': kind(rel), 'error': traceback.format_exc()}
                    try:
                        page.load(0)
                    except Exception:
                        pass
                records.append(record)
                if len(records) % 50 == 0:
                    print('  %d of %d files, %.0f s' % (len(records), len(files), time.time() - started), flush=True)
    finally:
        browser.stop(server, driver)
        shutil.rmtree(suite.work, ignore_errors=True)
    failures = []
    for r in records:
        r['outcome'] = classify(r)
        if r['outcome'] is None:
            failures.append(r)
    if args.out:
        os.makedirs(args.out, exist_ok=True)
        with open(os.path.join(args.out, 'corpus.jsonl'), 'w') as f:
            for r in records:
                f.write(json.dumps(r) + '\n')
    print('Outcomes (files):')
    for name, listed, _ in OUTCOMES:
        count = sum(r['outcome'] == name for r in records)
        print('  %5d  %s' % (count, name))
    print('  %5d  no known outcome' % len(failures))
    for name, listed, _ in OUTCOMES:
        files = [r for r in records if r['outcome'] == name]
        if listed and files:
            print('%s:' % name)
            for r in files:
                print('    %s  %s' % (r['file'], reasons(r)))
    for r in failures:
        print('  FAIL  %s  %s' % (r['file'], json.dumps(r)[:800]))
    print('page corpus: %d files in %.0f s, %d in no known outcome' % (len(records), time.time() - started, len(failures)))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
