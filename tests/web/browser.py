"""A folder served on 127.0.0.1 by Python's static server, and Debian's
headless Chromium driven through chromedriver, for the page's tests and its
benchmark. Both are stopped by stop(), which the callers reach however they
end."""
import functools
import http.server
import threading

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

# As root Chromium needs no sandbox; the rest keeps it from the network,
# which is closed here, and from a display, which there is none of.
FLAGS = ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run', '--window-size=1400,1000']


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder, handler=QuietHandler, port=0):
    """A server of `folder` on `port` (0: a port of its own), running; its
    address is http://127.0.0.1:<server.server_address[1]>/."""
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), functools.partial(handler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def chromium():
    options = webdriver.ChromeOptions()
    options.binary_location = '/usr/bin/chromium'
    for flag in FLAGS:
        options.add_argument(flag)
    return webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)


class Page:
    """The page in the driven browser, at `base`, its downloads landing in
    `downloads`: what the page's tests and its corpus run share."""

    def __init__(self, driver, base, downloads):
        self.driver, self.base, self.downloads = driver, base, downloads

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)


def stop(server, driver):
    if driver:
        driver.quit()
    if server:
        server.shutdown()
        server.server_close()
