#!/usr/bin/python3
"""The page in a real browser: headless Chromium driven through WebDriver,
the page served from its zip by a plain static server on 127.0.0.1, and every
picture it makes compared with what the command-line tool makes of the same
pixels. One table of cases, run in order on one page; the server and the
browser stop when the suite ends, however it ends. Keeps screenshots in the
output folder: the page with the chart loaded (page.png), the whole picture
beside its original (desktop.png), a phone-sized window (phone.png) and the
Japanese page on a small phone (phone_ja.png).

  page_test.py --zip PAGE.zip --vantrel VANTREL --sample-maker VANTREL_SAMPLE --out DIR
"""
import argparse
import base64
import io
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
import urllib.parse
import zipfile
import zlib
from concurrent.futures import ThreadPoolExecutor

from selenium.webdriver.common.by import By
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

import browser

WAIT = 30  # seconds for anything the page does


# ---------------------------------------------------------------------------
# Pixels: raw files of the tool (.vraw, version 1) and PNG files by libvips.

def write_raw(path, width, height, planes, pixels):
    with open(path, 'wb') as f:
        f.write(b'VANTREL-RAW 1\nRGB %d %d %d\n' % (width, height, planes) + bytes(pixels))


def read_raw(path):
    data = open(path, 'rb').read()
    head, shape, pixels = data.split(b'\n', 2)
    _, width, height, planes = shape.split()
    return int(width), int(height), int(planes), pixels


def read_png(path):
    """(width, height, planes, pixels) of a PNG file, as libvips reads it."""
    fields = {}
    for field in ('width', 'height', 'bands'):
        fields[field] = int(subprocess.check_output(['vipsheader', '-f', field, path]).strip())
    raw = path + '.raw'
    subprocess.check_call(['vips', 'rawsave', path, raw])
    return fields['width'], fields['height'], fields['bands'], open(raw, 'rb').read()


def png_header_only(path, width, height):
    """A PNG file that says it is `width` x `height` and holds one row."""
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    rows = zlib.compress(b'\0' + b'\0' * 3 * width)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
                chunk(b'IDAT', rows) + chunk(b'IEND', b''))


def view_differences(rgba, canvas_width, place, width, height, after, before):
    """The rows of the whole-picture view's canvas (RGBA) where the picture lies
    that differ from what it must show: `before` (RGB) while the original is
    held or left of the split, `after` elsewhere, at 1:1."""
    assert place['scale'] == 1, place
    left, top = place['left'], place['top']
    canvas_height = len(rgba) // (4 * canvas_width)
    x0, x1 = max(0, left), min(canvas_width, left + width)
    split = x1 if place['original'] else (place['splitX'] if place['splitX'] is not None else x0)
    split = min(max(split, x0), x1)
    wrong = []
    for y in range(max(0, top), min(canvas_height, top + height)):
        row = rgba[(y * canvas_width + x0) * 4:(y * canvas_width + x1) * 4]
        got = b''.join(bytes(row[k::4]) for k in range(3))
        at = ((y - top) * width + x0 - left) * 3
        parts = (before[at:at + (split - x0) * 3], after[at + (split - x0) * 3:at + (x1 - x0) * 3])
        wanted = b''.join(b''.join(bytes(part[k::3]) for part in parts) for k in range(3))
        if got != wanted:
            wrong.append(y)
    return wrong


# ---------------------------------------------------------------------------
# The page.

class Page(browser.Page):
    def wait(self, script, what, *args):
        try:
            return WebDriverWait(self.driver, WAIT, 0.05).until(lambda d: d.execute_script(script, *args))
        except Exception:
            raise AssertionError('the page did not come to ' + what + '; it says: ' + self.message())

    def load(self, query=''):
        self.driver.get(self.base + query)
        self.wait('return document.body.dataset.ready === "true"', 'be ready')

    def message(self):
        return self.js('return document.querySelector("#message").textContent')

    def open(self, path):
        self.js('document.querySelector("#grid").dataset.state = "opening"')
        self.driver.find_element(By.ID, 'file').send_keys(path)

    def open_and_wait(self, path):
        self.open(path)
        self.wait('return document.querySelector("#grid").dataset.state === "done" && '
                  'document.querySelector("#dialog").dataset.state === "open" && !window.vantrelPage.job',
                  'show the grid and the dialog of ' + os.path.basename(path))

    def view_shows(self, order):
        """Waits for the whole-picture view to show the whole picture filtered under row `order`."""
        self.wait('const v = document.querySelector("#view"); '
                  'return v.dataset.state === "done" && v.dataset.order === String(arguments[0])',
                  'show the whole picture under order %d' % order, order)

    def canvas(self, selector):
        """(width, height, RGBA bytes) of a canvas as drawn."""
        encoded = self.js('''
            const canvas = document.querySelector(arguments[0]);
            const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
            let text = '';
            for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
            return [canvas.width, canvas.height, btoa(text)];''', selector)
        return encoded[0], encoded[1], base64.b64decode(encoded[2])

    def thumbnail(self):
        t = self.js('''const t = window.vantrelPage.thumbnail;
                       let text = '';
                       for (let i = 0; i < t.pixels.length; i += 0x8000) text += String.fromCharCode(...t.pixels.subarray(i, i + 0x8000));
                       return [t.width, t.height, t.planes, btoa(text)];''')
        return t[0], t[1], t[2], base64.b64decode(t[3])

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()

    def checked(self, selector):
        return self.js('return document.querySelector(arguments[0]).checked', selector)

    def save(self, name):
        """Saves through #save and answers the path of the file downloaded."""
        path = os.path.join(self.downloads, name)
        if os.path.exists(path):
            os.remove(path)
        self.click('#save')
        return self.downloaded(name)

    def downloaded(self, name):
        """The path of the file `name` once it is downloaded whole."""
        path = os.path.join(self.downloads, name)
        deadline = time.time() + WAIT
        while time.time() < deadline:
            if os.path.exists(path) and not os.path.exists(path + '.crdownload'):
                return path
            time.sleep(0.05)
        raise AssertionError('no %s was downloaded; the page says: %s' % (name, self.message()))


# ---------------------------------------------------------------------------
# The cases, in order.

class Suite:
    def __init__(self, page, tool, work, out):
        self.page, self.tool, self.work, self.out = page, tool, work, out
        self.chart = os.path.join(work, 'chart.png')
        self.alpha = os.path.join(work, 'chart_alpha.png')

    def tool_output(self, source, out, *options):
        subprocess.check_call([self.tool, '-q', source, '-o', out, *options])
        return read_raw(out) if out.endswith('.vraw') else read_png(out)

    def chart_cells_are_the_tools_runs_on_the_thumbnail(self):
        p = self.page
        p.open_and_wait(self.chart)
        p.driver.save_screenshot(os.path.join(self.out, 'page.png'))
        width, height, planes, pixels = p.thumbnail()
        thumb = os.path.join(self.work, 'thumbnail.vraw')
        write_raw(thumb, width, height, planes, pixels)
        names = p.js('return [...document.querySelectorAll("#grid .label")].map((l) => l.textContent)')
        assert len(names) == 24 and names[5] == '5  B G R', names
        with ThreadPoolExecutor(2) as pool:
            expected = list(pool.map(
                lambda n: self.tool_output(thumb, os.path.join(self.work, 'cell%d.vraw' % n), '--order-index', str(n)),
                range(24)))
        for n in range(24):
            w, h, rgba = p.canvas('#grid .cell:nth-child(%d) canvas' % (n + 1))
            _, _, _, want = expected[n]
            assert (w, h) == (width, height), (n, w, h)
            got = bytes(b for i, b in enumerate(rgba) if i % 4 != 3)
            assert got == want, 'cell %d (%s) differs from vantrel --order-index %d' % (n, names[n], n)

    def cross_and_exclusion_saved_as_the_tool_writes_the_whole_picture(self):
        p = self.page
        p.click('#grid .cell:nth-child(2)')              # 1  B R G
        p.click('#blend')
        p.wait('return !document.querySelector("[data-id=IDC_BLEND_CROSS]").disabled', 'enable the methods')
        p.click('[data-id=IDC_BLEND_CROSS]')
        p.click('#exclude')
        p.wait('return !document.querySelector("[data-id=IDC_CHANNEL_3]").disabled', 'enable the channels')
        p.click('[data-id=IDC_CHANNEL_3]')
        p.wait('return location.search === "?order=B%20R%20G&blend=cross&exclude=3"', 'keep the settings in the address')
        p.wait('return !window.vantrelPage.job', 'finish the grid')
        saved = read_png(p.save('chart_BRG.png'))
        want = self.tool_output(self.chart, os.path.join(self.work, 'brg.png'), '--order', 'B R G', '--blend', 'cross',
                                '--exclude', '3')
        assert saved == want, 'the saved file is not what vantrel writes'

    def half_transparent_png_keeps_its_values_and_alpha(self):
        p = self.page
        p.open_and_wait(self.alpha)
        saved = read_png(p.save('chart_alpha_BRG.png'))
        want = self.tool_output(self.alpha, os.path.join(self.work, 'alpha.png'), '--order', 'B R G', '--blend',
                                'cross', '--exclude', '3')
        assert saved[2] == 4, 'the saved file has no transparency'
        assert saved == want, 'the saved file is not what vantrel writes'

    def cancel_mid_run_saves_nothing_and_the_page_goes_on(self):
        p = self.page  # the large picture of the drag is open: its run takes a few bands
        saved = 'big_%s.png' % p.js('return document.querySelector("#order").selectedOptions[0].text').replace(' ', '')
        name = os.path.join(p.downloads, saved)
        # Cancel as soon as the save has started: the filter's abort callback
        # answers it at the next band.
        p.js('document.querySelector("#save").click(); document.querySelector("#cancel").click()')
        p.wait('return document.querySelector("#message").textContent === "Cancelled: nothing was saved."',
               'say the save was cancelled')
        time.sleep(0.3)
        assert not os.path.exists(name), 'a cancelled save wrote a file'
        assert p.js('return document.querySelector("#busy").hidden'), 'the progress stayed'
        # Saved in bands of 200 rows: as one run over the whole picture, with
        # the settings the address holds as the tool's options of those names.
        query = urllib.parse.parse_qs(p.js('return location.search')[1:])
        assert query['blend'] == ['cross'], query
        options = [item for key, [value] in query.items() for item in ('--' + key, value)]
        want = self.tool_output(os.path.join(self.work, 'big.png'), os.path.join(self.work, 'big_out.png'), *options)
        assert read_png(p.save(saved)) == want, 'the saved file is not what vantrel writes'

    def during_a_save_the_settings_and_the_picture_it_began_with_are_saved(self):
        p = self.page  # the large picture is open
        big = os.path.join(self.work, 'big.png')
        # What happens while the save runs, and what must hold once it is done.
        rows = [
            ('another order is picked', lambda: p.click('#grid .cell:nth-child(6)'),
             'return location.search.startsWith("?order=B%20G%20R")'),
            ('another picture is opened', lambda: p.open(self.chart),
             'return window.vantrelPage.name === "chart.png" && document.querySelector("#grid").dataset.state === "done"'),
        ]
        for what, action, after in rows:
            if p.js('return window.vantrelPage.name') != 'big.png':
                p.open_and_wait(big)
            query = urllib.parse.parse_qs(p.js('return location.search')[1:])
            options = [item for key, [value] in query.items() for item in ('--' + key, value)]
            name = 'big_%s.png' % query['order'][0].replace(' ', '')
            if os.path.exists(os.path.join(p.downloads, name)):
                os.remove(os.path.join(p.downloads, name))
            p.js('document.querySelector("#save").click()')
            action()
            saved = p.downloaded(name)
            want = self.tool_output(big, os.path.join(self.work, 'big_out.png'), *options)
            assert read_png(saved) == want, '%s: the saved file is not what vantrel writes with %s' % (what, options)
            p.wait(after, what + ' once the save is done')

    def second_file_opens_after_the_one_opening(self):
        p = self.page
        # The largest picture, whose opening outlasts the choice of the next
        # however busy the machine is.
        p.open(self.huge())
        p.open(self.alpha)
        assert p.message() == 'chart_alpha.png opens once huge.png is open.', p.message()
        p.wait('return window.vantrelPage.name === "chart_alpha.png" && !window.vantrelPage.job && '
               'window.vantrelPage.lastOpen.outcome === "opened"', 'open the second file after the first')

    def huge(self):
        """A picture of 4096 x 4096 pixels, whose opening and saving take long enough to be cancelled."""
        path = os.path.join(self.work, 'huge.png')
        if not os.path.exists(path):
            subprocess.check_call([self.sample_maker, '--size', '4096x4096', path], stdout=subprocess.DEVNULL)
        return path

    def photo75(self):
        """A JPEG file of quality 75 and 4:2:0 chroma subsampling, with a colour profile."""
        path = os.path.join(self.work, 'photo75.jpg')
        if not os.path.exists(path):
            subprocess.check_call(['vips', 'jpegsave', self.chart, path, '--Q', '75', '--subsample-mode', 'on',
                                   '--profile', 'srgb'])
        return path

    def cancel_while_opening_keeps_the_picture_before(self):
        p = self.page  # chart_alpha.png is open
        p.open(self.huge())
        p.js('document.querySelector("#cancel").click()')
        p.wait('return document.querySelector("#message").textContent === "Cancelled: huge.png was not opened." && '
               '!window.vantrelPage.job', 'say the opening was cancelled')
        assert p.js('return window.vantrelPage.name') == 'chart_alpha.png', 'the picture open before went away'
        assert p.js('return document.querySelector("#busy").hidden'), 'the progress stayed'
        p.open_and_wait(self.chart)  # and the page goes on

    def refusals_point_to_the_tool_only_where_it_takes_the_file(self):
        p = self.page
        p.click('#grid .cell:nth-child(3)')  # 2  G B R
        p.wait('return window.vantrelPage.settings.order === 2', 'take the order')
        made = {
            'deep.png': ['copy', os.path.join(self.work, 'chart16_alpha.png')],
            'inks.jpg': ['copy', os.path.join(self.work, 'chart_cmyk.tif')],
            'rgb.tif': ['copy', self.chart],
            'grey.tif': ['colourspace', self.chart, 'b-w'],
        }
        # The file, the order of the tool's command line the message suggests
        # (none: no command; CMYK: the order chosen taken to the inks), which
        # then must take the file as suggested, and what else it says.
        rows = [
            ('deep.png', 'G B R', 'has 16 bits per sample'),
            ('inks.jpg', 'M Y C K', 'is a CMYK picture'),
            ('rgb.tif', 'G B R', 'is a TIFF file'),
            ('grey.tif', None, 'is a greyscale TIFF file'),
        ]
        for name, order, says in rows:
            path = os.path.join(self.work, name)
            operation, source, *rest = made[name]
            subprocess.check_call(['vips', operation, source, path, *rest])
            p.open(path)
            p.wait('return document.querySelector("#message").className === "error" && '
                   'document.querySelector("#message").textContent.startsWith(arguments[0])', 'refuse ' + name, name)
            text = p.message()
            assert says in text, text
            command = text[text.index(': vantrel ') + 2:] if ': vantrel ' in text else None
            assert bool(command) == bool(order), '%s: %s' % (name, text)
            if command:
                words = shlex.split(command)
                assert words[words.index('--order') + 1] == order, text
                output = os.path.join(self.work, words[words.index('-o') + 1])
                subprocess.check_call([os.path.abspath(self.tool), '-q', *words[1:]], cwd=self.work)
                assert os.path.exists(output), text

    def cancel_while_writing_the_file_stops_it(self):
        p = self.page
        p.open_and_wait(self.huge())
        name = 'huge_%s.png' % p.js('return document.querySelector("#order").selectedOptions[0].text').replace(' ', '')
        p.click('#save')
        p.wait('return document.querySelector("#busy-label").textContent.startsWith("Writing huge_")',
               'say the file is being written')
        begun = p.js('return document.querySelector("#progress").value')
        p.wait('return document.querySelector("#progress").value > arguments[0]', 'show the writing go on', begun)
        # The time from the click to the answer, as the page sees them.
        p.js('''const message = document.querySelector("#message");
            new MutationObserver(() => { window.answeredAt = window.answeredAt || performance.now(); })
                .observe(message, { childList: true, characterData: true, subtree: true });
            window.askedAt = performance.now();
            document.querySelector("#cancel").click();''')
        p.wait('return document.querySelector("#message").textContent === "Cancelled: nothing was saved."',
               'say the save was cancelled')
        answered = p.js('return (window.answeredAt - window.askedAt) / 1000')
        progress = p.js('return document.querySelector("#progress").value')
        time.sleep(0.3)
        assert not os.path.exists(os.path.join(p.downloads, name)), 'a cancelled save wrote a file'
        assert progress < 1, 'the file was written whole before the cancel was taken'
        print('        Cancel while writing a 4096 x 4096 file answered in %.2f s' % answered)

    def page_whose_module_cannot_load_answers_with_a_message(self):
        p = self.page
        broken = browser.serve(self.root, BrokenModule)
        try:
            p.driver.get('http://127.0.0.1:%d/index.html' % broken.server_address[1])
            p.wait('return /could not be loaded/.test(document.querySelector("#message").textContent)',
                   'say the filter could not be loaded')
            p.js('document.querySelector("#message").textContent = ""')
            p.open(self.chart)
            p.wait('return /could not be loaded/.test(document.querySelector("#message").textContent) && '
                   '!window.vantrelPage.job && document.querySelector("#busy").hidden', 'answer the opening')
        finally:
            broken.shutdown()
            broken.server_close()
            p.load()

    def settings_link_restores_the_view(self):
        p = self.page
        query = '?order=G%20B%20R&blend=both&exclude=1'
        p.load(query)
        p.open_and_wait(self.chart)
        state = p.js('''const q = (s) => document.querySelector(s);
            return [q("#order").selectedOptions[0]?.text, q("#blend").checked, q("[data-id=IDC_BLEND_MIX]").checked,
                    q("[data-id=IDC_BLEND_CROSS]").checked, q("#exclude").checked, q("[data-id=IDC_CHANNEL_1]").checked,
                    q("#grid .cell[aria-pressed=true] .label").textContent, location.search]''')
        assert state[:6] == ['G B R', True, True, True, True, True], state
        assert state[6].endswith('  G B R') and state[7] == query, state
        # Both methods at once, as the tool's --blend both.
        saved = read_png(p.save('chart_GBR.png'))
        want = self.tool_output(self.chart, os.path.join(self.work, 'gbr.png'), '--order', 'G B R', '--blend', 'both',
                                '--exclude', '1')
        assert saved == want, 'the saved file is not what vantrel --blend both writes'

    def jpeg_is_filtered_as_the_tool_does_and_keeps_its_profile(self):
        p = self.page
        jpeg = os.path.join(self.work, 'photo.jpg')
        subprocess.check_call(['vips', 'jpegsave', self.chart, jpeg, '--profile', 'srgb'])
        p.open_and_wait(jpeg)
        saved = p.save('photo_BRG.png')
        want = self.tool_output(jpeg, os.path.join(self.work, 'photo.png'), '--order', 'B R G', '--blend', 'cross',
                                '--exclude', '3')
        assert read_png(saved) == want, 'the saved file is not what vantrel writes'
        profile = lambda f: subprocess.check_output(['vipsheader', '-f', 'icc-profile-data', f])
        assert profile(saved) == profile(jpeg), 'the saved file lacks the colour profile'

    def non_picture_gets_a_message_and_loses_nothing(self):
        p = self.page
        text = os.path.join(self.work, 'notes.txt')
        open(text, 'w').write('not a picture\n')
        p.open(text)
        p.wait('return /not a picture/.test(document.querySelector("#message").textContent)', 'say it is no picture')
        assert p.js('return document.querySelector("#message").className') == 'error'
        assert p.js('return document.querySelectorAll("#grid .cell").length') == 24, 'the grid went away'
        assert p.js('return document.querySelector("#dialog").dataset.state') == 'open', 'the dialog went away'

    def picture_beyond_the_limits_gets_the_limit(self):
        p = self.page
        huge = os.path.join(self.work, 'wide.png')
        png_header_only(huge, 40000, 2)
        p.open(huge)
        p.wait('return /at most 32767 pixels a side/.test(document.querySelector("#message").textContent)',
               'give the limit')

    def keyboard_alone_picks_an_order_and_a_blend(self):
        p = self.page
        keys = lambda *k: ActionChains(p.driver).send_keys(*k).perform()
        p.js('document.querySelector("#grid .cell:nth-child(3)").focus()')  # 2  G B R
        keys(Keys.TAB, Keys.ENTER)                                          # 3  R B G
        p.wait('return document.querySelector("#order").selectedIndex === 3', 'pick row 3 from the keyboard')
        was = p.checked('#blend')
        p.js('document.querySelector("#blend").focus()')
        for state in (not was, was):  # off and on again, or on and off
            keys(Keys.SPACE)
            p.wait('return document.querySelector("#blend").checked === arguments[0] && '
                   'document.querySelector("[data-id=IDC_BLEND_MIX]").disabled === !arguments[0]',
                   'toggle the blend from the keyboard', state)
        p.js('document.querySelector("#order").focus()')
        keys(Keys.DOWN)
        p.wait('return document.querySelector("#grid .cell[aria-pressed=true] .label").textContent === "4  G R B"',
               'move down the order list from the keyboard')

    def drag_moves_the_preview_and_ends_outside_it(self):
        p = self.page
        big = os.path.join(self.work, 'big.png')
        subprocess.check_call([self.sample_maker, '--size', '3000x2000', big], stdout=subprocess.DEVNULL)
        p.open_and_wait(big)
        before = p.canvas('#preview')
        preview = p.driver.find_element(By.ID, 'preview')
        p.js('arguments[0].scrollIntoView({block: "center"})', preview)
        ActionChains(p.driver).move_to_element(preview).click_and_hold().move_by_offset(-80, -40) \
            .move_by_offset(0, 280).release().perform()
        p.wait('return window.vantrelPage.dialogIdle()', 'take in the drag')
        after = p.canvas('#preview')
        assert after != before, 'the drag did not move the preview'
        ActionChains(p.driver).move_to_element(preview).move_by_offset(50, 50).perform()
        p.wait('return window.vantrelPage.dialogIdle()', 'take in the move')
        assert p.canvas('#preview') == after, 'a move after a release outside the preview still dragged'

    def japanese_browser_shows_the_whole_page_in_japanese(self):
        p = self.page
        d = p.driver
        agent = p.js('return navigator.userAgent')
        d.execute_cdp_cmd('Network.setUserAgentOverride', {'userAgent': agent, 'acceptLanguage': 'ja'})
        try:
            p.load('?order=B%20R%20G&format=jpeg')
            labels = p.js('''const t = (s) => document.querySelector(s).textContent;
                return [t("[data-label=IDC_BLEND]"), t("[data-label=IDC_ZOOM_IN]"), t("#cancel"), document.documentElement.lang]''')
            assert labels == ['元画像とブレンドする', '拡 大', 'ｷｬﾝｾﾙ', 'ja'], labels
            p.open(self.chart + '\n' + self.alpha)
            p.wait('return document.querySelector("#grid").dataset.state === "done" && !window.vantrelPage.job && '
                   'document.querySelector("#view").dataset.state === "done"', 'open the pictures')
            p.click('#view-compare')
            # Every width from a small phone's to a desktop's, 10 pixels apart.
            for width in range(1440, 299, -10):
                d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {'width': width, 'height': 700,
                                                                          'deviceScaleFactor': 2, 'mobile': width <= 700})
                if width in (1440, 320):
                    english = p.js(JAPANESE_ONLY, ['chart.png', 'chart_alpha.png', 'chart'],
                                   ['Vantrel', 'vantrel', 'PNG', 'JPEG', 'WebP', 'RGB', 'CMYK', 'Exif', 'zip',
                                    'Cross', 'Mix', 'st', 'OK'])  # the dialog's own radio labels keep their texts
                    assert not english, 'English left at %d pixels wide: %s' % (width, english)
                if width == 320:
                    d.save_screenshot(os.path.join(self.out, 'phone_ja.png'))
                lone = p.js(LONE_CHARACTERS)
                assert not lone, 'lines of one character at %d pixels wide: %s' % (width, lone)
        finally:
            d.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
            d.execute_cdp_cmd('Network.setUserAgentOverride', {'userAgent': agent, 'acceptLanguage': 'en'})
            p.load()
        assert p.js('return document.querySelector("[data-label=IDC_BLEND]").textContent') == 'Blend with the original'


    def whole_picture_fits_and_shows_the_tools_pixels_at_1_to_1_beside_the_original(self):
        p = self.page
        # Larger than the dialog's preview shows whole, smaller than the view at 1:1.
        photo = os.path.join(self.work, 'photo1000.png')
        subprocess.check_call([self.sample_maker, '--size', '1000x700', photo], stdout=subprocess.DEVNULL)
        p.load('?order=B%20R%20G&blend=cross')
        p.open_and_wait(photo)
        p.view_shows(1)
        after = self.tool_output(photo, os.path.join(self.work, 'view.vraw'), '--order', 'B R G', '--blend', 'cross')[3]
        before = read_png(photo)[3]
        view = p.driver.find_element(By.ID, 'view-canvas')
        place = lambda: p.js('return window.vantrelPage.view.placement()')
        fitted, (width, height) = place(), p.js('const c = document.querySelector("#view-canvas"); return [c.width, c.height]')
        drawn = (1000 * fitted['scale'], 700 * fitted['scale'])
        assert fitted['left'] >= 0 and fitted['top'] >= 0 and fitted['left'] + drawn[0] <= width + 1 and \
            fitted['top'] + drawn[1] <= height + 1 and (abs(drawn[0] - width) <= 1 or abs(drawn[1] - height) <= 1), \
            ('the fitted picture is not whole in the view', fitted, width, height)
        keys = lambda chain: chain.perform()
        # What is done, and what the view must then show at 1:1.
        rows = [
            ('1:1', lambda: p.click('#view-actual'), lambda pl: pl['splitX'] is None and not pl['original']),
            ('the split dragged', lambda: (p.click('#view-compare'), ActionChains(p.driver).drag_and_drop_by_offset(
                p.driver.find_element(By.ID, 'split'), -150, 0).perform()),
             lambda pl: abs(pl['splitX'] - (width // 2 - 150)) <= 2),
            ('O held on the picture', lambda: (view.click(), keys(ActionChains(p.driver).key_down('o'))),
             lambda pl: pl['original']),
            ('O let go', lambda: keys(ActionChains(p.driver).key_up('o')), lambda pl: not pl['original'] and pl['splitX']),
            ('the original button held', lambda: keys(ActionChains(p.driver).click_and_hold(
                p.driver.find_element(By.ID, 'view-original'))), lambda pl: pl['original']),
            ('the original button let go', lambda: keys(ActionChains(p.driver).release()), lambda pl: not pl['original']),
        ]
        for what, action, holds in rows:
            action()
            shown = place()
            assert holds(shown), (what, shown)
            if what == 'the split dragged':
                p.driver.save_screenshot(os.path.join(self.out, 'desktop.png'))
            wrong = view_differences(p.canvas('#view-canvas')[2], width, shown, 1000, 700, after, before)
            assert not wrong, '%s: %d rows of the view differ, the first %d' % (what, len(wrong), wrong[0])
        p.click('#view-zoom-in')
        assert place()['scale'] == 2, place()
        p.click('#view-fit')
        assert place() == {**fitted, 'splitX': place()['splitX']}, 'Fit did not fit the picture again'
        p.click('#view-compare')
        # A picture beyond what the view keeps whole (here lowered to 100000
        # pixels) is shown from bitmaps of the averages of 3 x 3 pixels.
        p.js('window.vantrelPage.view.most = 100000')
        p.open_and_wait(photo)
        p.view_shows(1)
        assert place()['reduction'] == 3, place()
        shown = base64.b64decode(p.js('''const image = window.vantrelPage.view.image('after');
            const context = new OffscreenCanvas(image.width, image.height).getContext('2d');
            context.drawImage(image, 0, 0);
            const data = context.getImageData(0, 0, image.width, image.height).data;
            let text = '';
            for (let i = 0; i < data.length; i += 0x8000) text += String.fromCharCode(...data.subarray(i, i + 0x8000));
            return btoa(text);'''))
        assert len(shown) == 334 * 234 * 4, len(shown)
        for y in range(234):
            for x in range(334):
                block = [(yy * 1000 + xx) * 3 for yy in range(3 * y, min(3 * y + 3, 700)) for xx in range(3 * x, min(3 * x + 3, 1000))]
                for k in range(3):
                    mean = sum(after[i + k] for i in block) / len(block)
                    assert abs(shown[(y * 334 + x) * 4 + k] - mean) <= 0.5, ('the view kept smaller', x, y, k)

    def arrow_keys_move_between_cells_and_swaps_only_shows_the_marked_ones(self):
        p = self.page
        p.load()
        p.open_and_wait(self.chart)
        columns = p.js('const cells = [...document.querySelectorAll("#grid .cell")];'
                       'return cells.filter((c) => c.offsetTop === cells[0].offsetTop).length')
        p.js('document.querySelector("#grid .cell:nth-child(1)").focus()')
        # A key, and the cell focused and picked after it.
        rows = [(Keys.ARROW_RIGHT, 1), (Keys.ARROW_DOWN, 1 + columns), (Keys.ARROW_LEFT, columns), (Keys.END, 23),
                (Keys.ARROW_RIGHT, 23), (Keys.ARROW_UP, 23 - columns), (Keys.HOME, 0), (Keys.ARROW_UP, 0)]
        for key, row in rows:
            ActionChains(p.driver).send_keys(key).perform()
            p.wait('return document.activeElement.dataset.row === String(arguments[0]) && '
                   'window.vantrelPage.settings.order === arguments[0] && '
                   'document.querySelector("#grid .cell[aria-pressed=true]").dataset.row === String(arguments[0])',
                   'focus and pick cell %d after %r' % (row, key), row)
        p.view_shows(0)
        # The orders that take each channel once are marked; "swaps only"
        # leaves them alone in the grid, and the keys move among them.
        rows_of = 'return [...document.querySelectorAll("#grid .cell")].filter((c) => %s).map((c) => c.dataset.row)'
        marked = p.js(rows_of % 'c.querySelector(".swap")')
        assert marked == [str(n) for n in range(6)], marked
        p.click('#swaps-only')
        assert p.js(rows_of % '!c.hidden') == marked
        p.js('document.querySelector("#grid .cell").focus()')
        ActionChains(p.driver).send_keys(Keys.END).perform()
        p.wait('return document.activeElement.dataset.row === "5"', 'move to the last swap')
        p.click('#swaps-only')
        assert len(p.js(rows_of % '!c.hidden')) == 24

    def bad_link_is_said_until_dismissed_with_what_is_used_instead(self):
        p = self.page
        # A bad setting of a link, and what the warning must say is used instead.
        rows = [
            ('order=XYZ', 'R G B is used instead'),
            ('blend=lots', 'no blending is used instead'),
            ('exclude=7', 'no channel is excluded instead'),
            ('format=gif', 'PNG is used instead'),
            ('quality=101', 'or 90, is used instead'),
        ]
        p.load('?' + '&'.join(query for query, _ in rows))
        p.open_and_wait(self.chart)
        text = p.js('return document.querySelector("#link-warning").hidden ? "" : '
                    'document.querySelector("#link-warning-text").textContent')
        for query, says in rows:
            assert query.split('=')[1] in text and says in text, (query, text)
        assert p.js('return location.search') == '?order=R%20G%20B', p.js('return location.search')
        p.click('#link-warning-close')
        assert p.js('return document.querySelector("#link-warning").hidden'), 'the warning stayed'

    def settings_carried_over_are_said_and_reset_puts_back_the_defaults(self):
        p = self.page
        p.load('?order=G%20B%20R&blend=mix&exclude=2&format=jpeg&quality=80')
        carried = lambda: p.js('const c = document.querySelector("#carried"); return c.hidden ? "" : c.textContent')
        assert 'from the link: G B R' in carried(), carried()
        p.open_and_wait(self.chart)
        p.open_and_wait(self.alpha)
        assert 'The settings of chart.png carry over to this picture: G B R' in carried(), carried()
        p.click('#reset')
        p.wait('return location.search === "?order=R%20G%20B" && window.vantrelPage.dialogIdle() && '
               '!document.querySelector("#blend").checked && !document.querySelector("#exclude").checked && '
               'document.querySelector("#format").value === "png" && document.querySelector("#quality").value === ""',
               'put back the defaults')
        assert carried() == '', carried()
        p.view_shows(0)

    def phone_sized_window_shows_a_cells_result_at_once_with_controls_for_fingers(self):
        p = self.page
        d = p.driver
        d.execute_cdp_cmd('Emulation.setDeviceMetricsOverride', {'width': 390, 'height': 844, 'deviceScaleFactor': 2,
                                                                  'mobile': True})
        d.execute_cdp_cmd('Emulation.setTouchEmulationEnabled', {'enabled': True, 'maxTouchPoints': 5})
        touch = lambda kind, points: d.execute_cdp_cmd('Input.dispatchTouchEvent', {
            'type': kind, 'touchPoints': [{'x': x, 'y': y, 'id': n} for n, (x, y) in enumerate(points)]})
        try:
            p.load()
            p.open_and_wait(self.chart)
            for row in (22, 9):
                cell = d.find_element(By.CSS_SELECTOR, '#grid .cell:nth-child(%d)' % (row + 1))
                p.js('arguments[0].scrollIntoView({block: "end"})', cell)
                box = p.js('return arguments[0].getBoundingClientRect().toJSON()', cell)
                touch('touchStart', [(box['x'] + box['width'] / 2, box['y'] + box['height'] / 2)])
                touch('touchEnd', [])
                p.view_shows(row)
                shown = p.js('const b = document.querySelector("#view-canvas").getBoundingClientRect();'
                             'return b.top >= 0 && b.bottom <= window.innerHeight')
                assert shown, 'the result of the cell tapped is out of sight'
            # Every control a finger reaches (a check box or radio button through its label).
            small = p.js('''
                const controls = document.querySelectorAll('button, select, input, a[href], label.button, [role=slider], [tabindex]');
                const small = [];
                for (const control of controls) {
                  if (control.type === 'file' || !control.getClientRects().length) continue;
                  const target = control.type === 'checkbox' || control.type === 'radio' ? control.closest('label') : control;
                  const box = target.getBoundingClientRect();
                  if (box.width < 44 || box.height < 44) small.push(`${control.id || control.dataset.id || control.textContent.trim()}: ${box.width} x ${box.height}`);
                }
                return small;''')
            assert not small, 'controls smaller than 44 x 44: %s' % small
            wide = p.js('return [document.documentElement.scrollWidth, window.innerWidth]')
            assert wide[0] <= wide[1], 'the page scrolls sideways: %s' % wide
            d.save_screenshot(os.path.join(self.out, 'phone.png'))
            # Two fingers spread on the picture zoom it.
            before = p.js('return window.vantrelPage.view.placement().scale')
            box = p.js('return document.querySelector("#view-canvas").getBoundingClientRect().toJSON()')
            x, y = box['x'] + box['width'] / 2, box['y'] + box['height'] / 2
            touch('touchStart', [(x - 20, y), (x + 20, y)])
            for spread in range(30, 120, 10):
                touch('touchMove', [(x - spread, y), (x + spread, y)])
            touch('touchEnd', [])
            after = p.js('return window.vantrelPage.view.placement().scale')
            assert after > before * 1.5, 'a pinch zoomed from %s to %s' % (before, after)
        finally:
            d.execute_cdp_cmd('Emulation.setTouchEmulationEnabled', {'enabled': False})
            d.execute_cdp_cmd('Emulation.clearDeviceMetricsOverride', {})
            p.load()


    def each_format_saved_as_the_tool_writes_it(self):
        p = self.page
        jpeg = self.photo75()
        choose = lambda value: p.js('const f = document.querySelector("#format"); f.value = arguments[0];'
                                    'f.dispatchEvent(new Event("change"))', value)
        type_quality = lambda value: p.js('const q = document.querySelector("#quality"); q.value = arguments[0];'
                                          'q.dispatchEvent(new Event("change"))', value)
        profile = lambda path: subprocess.run(['vipsheader', '-f', 'icc-profile-data', path],
                                              capture_output=True).stdout
        # The input, the link, what is done on the page, the file saved, the
        # tool's options, what the format note says, and whether the pixels
        # must be equal (else close: the browser's WebP encoder is not the
        # tool's; None: the file cannot be written, as the tool refuses it).
        rows = [
            (self.chart, '?order=B%20R%20G&format=jpeg', None, 'chart_BRG.jpg', [], 'quality 90', True),
            (jpeg, '?order=B%20R%20G&format=jpeg', None, 'photo75_BRG.jpg', [], 'quality 75 and 4:2:0', True),
            (jpeg, '?order=G%20B%20R', lambda: (choose('jpeg'), type_quality('60')), 'photo75_GBR.jpg',
             ['--quality', '60'], 'quality 60', True),
            (self.chart, '?order=G%20B%20R', lambda: choose('webp'), 'chart_GBR.webp', [], 'WebP', False),
            (self.alpha, '?format=jpeg', None, 'chart_alpha_RGB.jpg', [], 'cannot hold', None),
        ]
        for source, link, action, name, options, note, equal in rows:
            p.load(link)
            p.open_and_wait(source)
            if action:
                action()
            assert note in p.js('return document.querySelector("#format-note").textContent'), (name, note)
            query = urllib.parse.parse_qs(p.js('return location.search')[1:])
            settings = [item for key, [value] in query.items() if key in ('order', 'blend', 'exclude')
                        for item in ('--' + key, value)]
            if equal is None:
                p.click('#save')
                p.wait('return document.querySelector("#message").className === "error" && !window.vantrelPage.job',
                       'refuse to write ' + name)
                assert not os.path.exists(os.path.join(p.downloads, name)), name
                continue
            saved = p.save(name)
            tool = os.path.join(self.work, 'tool_' + name.replace('.webp', '.png'))
            want = self.tool_output(source, tool, *settings, *options)
            got = read_png(saved)
            if equal:
                assert got == want, '%s: the saved file is not what vantrel %s writes' % (name, ' '.join(settings + options))
                assert profile(saved) == profile(tool), '%s: the colour profile differs from the tool\'s' % name
            else:
                assert open(saved, 'rb').read(12)[8:] == b'WEBP' and got[:3] == want[:3], name
                error = sum(abs(a - b) for a, b in zip(got[3], want[3])) / len(want[3])
                assert error < 4, '%s: %.1f apart on average from the tool\'s PNG' % (name, error)

    def batch_of_pictures_saved_as_one_zip_of_the_tools_files(self):
        p = self.page
        p.load('?order=G%20B%20R&format=jpeg')
        webp = os.path.join(self.work, 'chart.webp')
        subprocess.check_call(['vips', 'copy', self.chart, webp + '[lossless]'])
        photo = os.path.join(self.work, 'batch.png')
        subprocess.check_call([self.sample_maker, '--size', '1600x1200', photo], stdout=subprocess.DEVNULL)
        jpeg = self.photo75()
        notes = os.path.join(self.work, 'notes.txt')
        open(notes, 'w').write('not a picture\n')
        # Each file, and its name in the zip (None: it fails, and is listed).
        rows = [(self.chart, 'chart_GBR.jpg'), (jpeg, 'photo75_GBR.jpg'), (notes, None), (photo, 'batch_GBR.jpg'),
                (webp, 'chart_GBR-2.jpg'), (self.huge(), 'huge_GBR.jpg')]
        p.open('\n'.join(path for path, _ in rows))
        p.wait('return document.querySelectorAll("#picture-list li").length === arguments[0] && '
               'document.querySelector("#grid").dataset.state === "done" && !window.vantrelPage.job',
               'list the pictures', len(rows))
        zip_path = os.path.join(p.downloads, 'pictures_GBR.zip')
        # Cancelled first: no zip; then saved whole.
        p.js('document.querySelector("#save").click(); setTimeout(() => document.querySelector("#cancel").click(), 300)')
        p.wait('return document.querySelector("#message").textContent === "Cancelled: no zip was saved." && '
               '!window.vantrelPage.job', 'say the batch was cancelled')
        time.sleep(0.3)
        assert not os.path.exists(zip_path), 'a cancelled batch saved a zip'
        # The blend turned on while the batch runs: the batch keeps the
        # settings it began with, and the grid follows once it is done.
        p.js('document.querySelector("#save").click()')
        p.click('#blend')
        p.wait('return window.vantrelPage.dialogIdle()', 'take the blend')
        state = p.js('return [window.vantrelPage.job, document.querySelector("#grid").dataset.state]')
        assert state == ['batch', 'done'] or os.path.exists(zip_path), 'the batch gave way to a grid: %s' % state
        archive = zipfile.ZipFile(p.downloaded('pictures_GBR.zip'))
        p.wait('return window.vantrelPage.settings.blend !== 0 && !window.vantrelPage.job && '
               'document.querySelector("#grid").dataset.state === "done"', 'make the grid once the batch is done')
        assert archive.testzip() is None, 'the zip is damaged'
        assert archive.namelist() == [name for _, name in rows if name], archive.namelist()
        for path, name in rows:
            if not name:
                continue
            saved = os.path.join(self.work, 'zip_' + name)
            open(saved, 'wb').write(archive.read(name))
            want = self.tool_output(path, os.path.join(self.work, 'tool_' + name), '--order', 'G B R')
            assert read_png(saved) == want, '%s is not what vantrel writes for %s' % (name, os.path.basename(path))
        failed = p.js('return [...document.querySelectorAll("#picture-list li[data-state=failed]")].map((li) => li.textContent)')
        assert len(failed) == 1 and 'notes.txt' in failed[0], failed
        assert 'notes.txt' in p.message() and '5 pictures' in p.message(), p.message()
        # Our zip's Zip64 records, tried on small files.
        data = base64.b64decode(p.driver.execute_async_script('''const done = arguments[0];
            import('./zip.js').then(async ({ zip }) => {
              const files = [{ name: 'a.bin', file: new Blob([new Uint8Array(300).fill(7)]) },
                             { name: 'é.txt', file: new Blob(['hello']) }];
              const bytes = new Uint8Array(await (await zip(files, { most: 100 })).arrayBuffer());
              done(btoa(String.fromCharCode(...bytes)));
            });'''))
        wide = zipfile.ZipFile(io.BytesIO(data))
        assert wide.testzip() is None and [wide.read(n) for n in wide.namelist()] == [bytes([7]) * 300, b'hello'] and \
            wide.namelist() == ['a.bin', 'é.txt'], 'the Zip64 records are not read back'

    def offline_after_one_visit_and_renewed_when_the_page_changes(self):
        p = self.page
        d = p.driver
        root = os.path.join(self.work, 'offline')  # a copy of the page, to change
        shutil.copytree(self.root, root)
        server = browser.serve(root)
        port = server.server_address[1]
        base = 'http://127.0.0.1:%d/index.html' % port
        d.set_script_timeout(WAIT)
        cached = lambda: d.execute_async_script('''const done = arguments[0];
            navigator.serviceWorker.ready.then(async () => {
              const names = await caches.keys();
              const files = names.length === 1 ? await (await caches.open(names[0])).keys() : [];
              done([names.length, files.map((r) => new URL(r.url).pathname.slice(1)).sort()]);
            });''')
        try:
            p.base = base
            p.load()
            page_files = sorted(f for f in os.listdir(root) if f != 'service_worker.js')
            assert cached() == [1, page_files], cached()
            problems = d.execute_cdp_cmd('Page.getInstallabilityErrors', {})['installabilityErrors']
            assert not problems, 'the page cannot be installed: %s' % problems
            # The server gone: the page opens, opens three pictures and saves
            # them as JPEG files in a zip (its workers, modules and encoders
            # all from the copy kept).
            browser.stop(server, None)
            server = None
            p.load('?order=G%20B%20R&format=jpeg')
            pictures = [self.chart, os.path.join(self.work, 'offline.png'), self.photo75()]
            subprocess.check_call(['vips', 'flip', self.chart, pictures[1], 'horizontal'])
            p.open('\n'.join(pictures))
            p.wait('return document.querySelectorAll("#picture-list li").length === 3 && '
                   'document.querySelector("#view").dataset.state === "done" && !window.vantrelPage.job', 'open them')
            archive = zipfile.ZipFile(p.save('pictures_GBR.zip'))
            for picture, name in zip(pictures, archive.namelist()):
                saved = os.path.join(self.work, 'offline_' + name)
                open(saved, 'wb').write(archive.read(name))
                want = self.tool_output(picture, os.path.join(self.work, 'offline_tool.jpg'), '--order', 'G B R')
                assert read_png(saved) == want, '%s saved offline is not what vantrel writes' % name
            # The page changes: the copy kept is replaced once the page is told.
            for name, old, new in (('index.html', '<head>', '<head><meta name="changed" content="yes">'),
                                   ('service_worker.js', '"version":"', '"version":"x')):
                path = os.path.join(root, name)
                text = open(path).read()
                assert old in text, (name, old)
                with open(path, 'w') as f:
                    f.write(text.replace(old, new, 1))
            server = browser.serve(root, port=port)
            changed = 'return !!document.querySelector("meta[name=changed]")'
            p.load()
            assert not p.js(changed), 'the page was not taken from the copy kept'
            p.wait('return !document.querySelector("#update").hidden', 'say a new version is ready')
            p.click('#update-reload')
            p.wait(changed, 'take the new version')
            browser.stop(server, None)
            server = None
            p.load()
            assert p.js(changed) and cached()[0] == 1, 'the new version is not the one kept'
        finally:
            browser.stop(server, None)
            p.base = self.base
            p.load()


# The words of the Latin alphabet in the page's texts that are shown (text,
# labels for assistive technology, tooltips, placeholders, the title), but
# for the file names (arguments[0]) and the names kept in every language
# (arguments[1]).
JAPANESE_ONLY = '''
    const [names, kept] = arguments;
    const texts = [document.title];
    const shown = (element) => element.getClientRects().length && getComputedStyle(element).visibility !== 'hidden';
    const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
    for (let node; (node = walker.nextNode());) if (node.parentElement && shown(node.parentElement)) texts.push(node.textContent);
    for (const element of document.body.querySelectorAll('*')) {
      if (!shown(element)) continue;
      for (const name of ['aria-label', 'title', 'placeholder']) if (element.getAttribute(name)) texts.push(element.getAttribute(name));
      const before = getComputedStyle(element, '::before').content;
      if (before && before !== 'none' && before !== 'normal') texts.push(before);
    }
    const words = [];
    for (let text of texts) {
      for (const name of names) text = text.split(name).join(' ');
      for (const word of text.match(/[A-Za-z][A-Za-z'-]+/g) || []) if (!kept.includes(word)) words.push(word);
    }
    return [...new Set(words)];'''

# Headings, labels and buttons any line of which holds one character alone.
LONE_CHARACTERS = '''
    const lone = [];
    for (const element of document.querySelectorAll('h1, h2, legend, label, button')) {
      if (!element.getClientRects().length) continue;
      const lines = new Map();
      const walker = document.createTreeWalker(element, NodeFilter.SHOW_TEXT);
      for (let node; (node = walker.nextNode());) {
        for (let i = 0; i < node.length; ++i) {
          if (!node.data[i].trim()) continue;
          const range = document.createRange();
          range.setStart(node, i);
          range.setEnd(node, i + 1);
          const box = range.getClientRects()[0];
          if (box) lines.set(Math.round(box.bottom), (lines.get(Math.round(box.bottom)) || 0) + 1);
        }
      }
      if (lines.size > 1 && [...lines.values()].includes(1)) lone.push(element.textContent.trim());
    }
    return lone;'''


class BrokenModule(browser.QuietHandler):
    """Serves the page with a module that is no WebAssembly."""
    def do_GET(self):
        if not self.path.startswith('/vantrel.wasm'):
            return super().do_GET()
        self.send_response(200)
        self.send_header('Content-Type', 'application/wasm')
        self.end_headers()
        self.wfile.write(b'not a module')


CASES = [
    Suite.chart_cells_are_the_tools_runs_on_the_thumbnail,
    Suite.cross_and_exclusion_saved_as_the_tool_writes_the_whole_picture,
    Suite.half_transparent_png_keeps_its_values_and_alpha,
    Suite.jpeg_is_filtered_as_the_tool_does_and_keeps_its_profile,
    Suite.non_picture_gets_a_message_and_loses_nothing,
    Suite.picture_beyond_the_limits_gets_the_limit,
    Suite.keyboard_alone_picks_an_order_and_a_blend,
    Suite.drag_moves_the_preview_and_ends_outside_it,
    Suite.cancel_mid_run_saves_nothing_and_the_page_goes_on,
    Suite.during_a_save_the_settings_and_the_picture_it_began_with_are_saved,
    Suite.second_file_opens_after_the_one_opening,
    Suite.cancel_while_opening_keeps_the_picture_before,
    Suite.refusals_point_to_the_tool_only_where_it_takes_the_file,
    Suite.cancel_while_writing_the_file_stops_it,
    Suite.page_whose_module_cannot_load_answers_with_a_message,
    Suite.settings_link_restores_the_view,
    Suite.whole_picture_fits_and_shows_the_tools_pixels_at_1_to_1_beside_the_original,
    Suite.arrow_keys_move_between_cells_and_swaps_only_shows_the_marked_ones,
    Suite.bad_link_is_said_until_dismissed_with_what_is_used_instead,
    Suite.settings_carried_over_are_said_and_reset_puts_back_the_defaults,
    Suite.phone_sized_window_shows_a_cells_result_at_once_with_controls_for_fingers,
    Suite.each_format_saved_as_the_tool_writes_it,
    Suite.batch_of_pictures_saved_as_one_zip_of_the_tools_files,
    Suite.japanese_browser_shows_the_whole_page_in_japanese,
    Suite.offline_after_one_visit_and_renewed_when_the_page_changes,
]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--zip', required=True)
    parser.add_argument('--vantrel', required=True)
    parser.add_argument('--sample-maker', required=True)
    parser.add_argument('--out', required=True)
    parser.add_argument('--only', default='', help='run only the cases whose names this pattern finds')
    args = parser.parse_args()
    cases = [case for case in CASES if re.search(args.only, case.__name__)]
    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix='vantrel-page-test-')
    server = driver = None
    failures = 0
    started = time.time()
    try:
        with zipfile.ZipFile(args.zip) as z:
            z.extractall(work)
            root = os.path.join(work, z.namelist()[0].split('/')[0])
        subprocess.check_call([args.sample_maker, work + '/'], stdout=subprocess.DEVNULL)
        server = browser.serve(root)
        driver = browser.chromium()
        downloads = os.path.join(work, 'downloads')
        os.makedirs(downloads)
        driver.execute_cdp_cmd('Page.setDownloadBehavior', {'behavior': 'allow', 'downloadPath': downloads})
        page = Page(driver, 'http://127.0.0.1:%d/index.html' % server.server_address[1], downloads)
        suite = Suite(page, args.vantrel, work, args.out)
        suite.sample_maker = args.sample_maker
        suite.root = root
        suite.base = page.base
        page.load()
        for case in cases:
            t = time.time()
            try:
                case(suite)
                print('  ok    %-70s %5.1f s' % (case.__name__, time.time() - t))
            except Exception:
                failures += 1
                print('  FAIL  %s\n%s' % (case.__name__, traceback.format_exc()))
                logs = driver.get_log('browser') if driver else []
                for entry in logs[-10:]:
                    print('        browser:', entry.get('message'))
    finally:
        browser.stop(server, driver)
        shutil.rmtree(work, ignore_errors=True)
    print('page tests: %d of %d passed in %.1f s; screenshots: %s' %
          (len(cases) - failures, len(cases), time.time() - started,
           ', '.join(os.path.join(args.out, name) for name in ('page.png', 'desktop.png', 'phone.png', 'phone_ja.png'))))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
