#!/usr/bin/python3
"""For web_bench: the page served on 127.0.0.1 and headless Chromium. For
every line read, a figure in ms: for "open", the page loaded afresh, a
picture opened through its file chooser, and the time from the chooser's
change to the full grid of 24 cells, as the page measured it; for "plain" or
"cross_mix", one whole run of the page's module over the benchmark picture
(bench/web_run.js's, made in the browser the same way), by the classic drive,
on the wall clock. The server and the browser stop when the input ends.

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
    let result = m._vantrel_run_start(0, 1, blend, 0, false);
    if (result === 0) while (m._vantrel_run_step());
    result = m._vantrel_run_end();
    return result === 0 ? performance.now() - start : -1;
  };
  for (let i = 0; i < 3; ++i) window.run(0), window.run(3);
});
</script>"""


class Handler(browser.QuietHandler):
    def do_GET(self):
        if self.path != '/runs.html':
            return super().do_GET()
        self.send_response(200)
        self.send_header('Content-Type', 'text/html')
        self.end_headers()
        self.wfile.write(RUNS)


def main():
    folder, picture = sys.argv[1:3]
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
    for line in sys.stdin:
        if line.strip() == 'open':
            driver.get(base + 'index.html')
            wait.until(lambda d: d.execute_script('return document.body.dataset.ready === "true"'))
            driver.find_element(By.ID, 'file').send_keys(picture)
            ms = wait.until(lambda d: d.execute_script('return window.vantrelPage.openToGrid'))
        else:
            if not driver.current_url.endswith('runs.html'):
                driver.get(base + 'runs.html')
                driver.set_script_timeout(120)
                driver.execute_async_script('window.ready.then(arguments[0])')
            ms = driver.execute_script('return window.run(arguments[0])', 3 if line.strip() == 'cross_mix' else 0)
        print(ms, flush=True)


if __name__ == '__main__':
    main()
