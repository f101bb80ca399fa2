#!/usr/bin/python3
"""For web_bench: the page served on 127.0.0.1 and headless Chromium. For
every line read, a figure in ms: for "open", the page loaded afresh, a
picture opened through its file chooser, and the time from the chooser's
change to the full grid of 24 cells, as the page measured it; for "plain" or
"cross_mix", one whole run of the page's module over the benchmark picture
(bench/web_run.js's, made in the browser the same way), by the classic drive,
on the wall clock; for "save png" or "save jpeg", the picture saved in that
format by the page's worker, from the save asked for to the file made (the
picture opened once, its grid made, as the page does before a Save: the
helpers that write the file on every core are then ready), with order 1 and
the quality by the tool's rule. The server and the browser stop when the
input ends.

  page_open.py PAGE_FOLDER PICTURE
"""
import os
import sys

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'tests', 'web'))
import browser  # noqa: E402


# The module alone in a page, with the benchmark picture held.
RUNS = b"""<!DOCTYPE html><script src="vantrel.js"></script><script>
window.ready = createVantrel().then((m) => {
  const at = m._vantrel_picture(4000, 3000, 3);
  const pixels = m.HEAPU8.subarray(at, at + 4000 * 3000 * 3);
  let x = 0x9e3779b9;
  for (let i = 0; i < pixels.length; ++i) {
    x = (Math.imul(x, 1664525) + 1013904223) >>> 0;
    pixels[i] = x >>> 24;
  }
  m._vantrel_hold(192);
  window.run = (blend) => {
    const start = performance.now();
    let result = m._vantrel_run_start(0, 1, blend, 0);
    if (result === 0) while (m._vantrel_run_step());
    result = m._vantrel_run_end();
    return result === 0 ? performance.now() - start : -1;
  };
  for (let i = 0; i < 3; ++i) window.run(0), window.run(3);
});
</script>"""


# The page's worker alone, with the picture (served as /picture) opened and
# its grid made; save(format) answers the ms from the save asked for to the
# file made.
SAVES = b"""<!DOCTYPE html><script>
const worker = new Worker('worker.js');
let number = 0;
function job(message) {
  return new Promise((resolve, reject) => {
    const mine = ++number;
    const answer = ({ data }) => {
      if (data.number !== mine || !['opened', 'grid-done', 'saved', 'failed', 'cancelled'].includes(data.type)) return;
      worker.removeEventListener('message', answer);
      if (data.type === 'failed' || data.type === 'cancelled') reject(new Error(data.message || data.type));
      else resolve(data);
    };
    worker.addEventListener('message', answer);
    worker.postMessage({ ...message, number: mine });
  });
}
window.ready = (async () => {
  const file = await (await fetch('picture')).blob();
  await job({ type: 'open', file, name: 'photo.jpg', order: 1 });
  await job({ type: 'grid', settings: { blend: 0, exclude: 0 } });
})();
window.save = async (format) => {
  const start = performance.now();
  const saved = await job({ type: 'save', settings: { order: 1, blend: 0, exclude: 0 }, format, quality: null });
  return saved.file.size > 0 ? performance.now() - start : -1;
};
</script>"""


class Handler(browser.QuietHandler):
    picture = None

    def do_GET(self):
        pages = {'/runs.html': (RUNS, 'text/html'), '/saves.html': (SAVES, 'text/html')}
        if self.path == '/picture':
            with open(self.picture, 'rb') as f:
                pages[self.path] = (f.read(), 'application/octet-stream')
        if self.path not in pages:
            return super().do_GET()
        body, kind = pages[self.path]
        self.send_response(200)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    folder, picture = sys.argv[1:3]
    Handler.picture = picture
    server = driver = None
    try:
        server = browser.serve(folder, Handler)
        driver = browser.chromium()
        measure(driver, 'http://127.0.0.1:%d/' % server.server_address[1], picture)
    finally:
        browser.stop(server, driver)


def measure(driver, base, picture):
    """Answers every line of standard input with its figure."""
    wait = WebDriverWait(driver, 120, 0.01)
    driver.set_script_timeout(120)

    def at(page):
        if not driver.current_url.endswith(page):
            driver.get(base + page)
            driver.execute_async_script('window.ready.then(arguments[0], (e) => arguments[0](String(e)))')

    for line in sys.stdin:
        words = line.split()
        if words == ['open']:
            driver.get(base + 'index.html')
            wait.until(lambda d: d.execute_script('return document.body.dataset.ready === "true"'))
            driver.find_element(By.ID, 'file').send_keys(picture)
            ms = wait.until(lambda d: d.execute_script('return window.vantrelPage.openToGrid'))
        elif words[:1] == ['save']:
            at('saves.html')
            ms = driver.execute_async_script('window.save(arguments[0]).then(arguments[1], () => arguments[1](-1))',
                                             words[1])
        else:
            at('runs.html')
            ms = driver.execute_script('return window.run(arguments[0])', 3 if words == ['cross_mix'] else 0)
        print(ms, flush=True)


if __name__ == '__main__':
    main()
