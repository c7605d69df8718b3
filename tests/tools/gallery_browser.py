#!/usr/bin/env python3
"""Opens a gallery page in headless Chromium and reports what a user would see, one fact a line.

usage: gallery_browser.py PAGE [SEARCH [SCREENSHOT]]

Chromium is driven over its DevTools protocol on a pipe (--remote-debugging-pipe: commands on fd 3,
replies on fd 4, each a JSON text ended by a NUL byte), so no port, network or extra package is
needed. Exit status 77 when Chromium cannot be started, 1 when the page misbehaves.
"""
import base64
import fcntl
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

WIDTH, HEIGHT = 1200, 900


class Browser:
    def __init__(self, profile):
        binary = shutil.which("chromium") or shutil.which("chromium-browser")
        if not binary:
            raise FileNotFoundError("no chromium")
        to_child, self.commands = os.pipe()
        self.replies, from_child = os.pipe()
        # Above 4, so that placing them at 3 and 4 in the child cannot overwrite one another.
        to_child, from_child = (fcntl.fcntl(fd, fcntl.F_DUPFD, 10) for fd in (to_child, from_child))

        def place():
            os.dup2(to_child, 3)
            os.dup2(from_child, 4)

        self.process = subprocess.Popen(
            [binary, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--disable-extensions", "--mute-audio", "--remote-debugging-pipe",
             "--allow-file-access-from-files", "--user-data-dir=" + profile,
             "--window-size=%d,%d" % (WIDTH, HEIGHT), "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=place, pass_fds=(3, 4))
        for fd in (to_child, from_child):
            os.close(fd)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            if time.monotonic() > deadline:
                raise TimeoutError("no answer from chromium")
            chunk = os.read(self.replies, 1 << 16)
            if not chunk:
                raise EOFError("chromium closed the pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, params=None, session=True, timeout=30):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            reply = self._read_message(deadline)
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError("%s: %s" % (method, reply["error"]))
                return reply.get("result", {})
            self.events.append(reply)

    def wait_event(self, method, timeout=30):
        deadline = time.monotonic() + timeout
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._read_message(deadline))

    def evaluate(self, expression):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True})
        if "exceptionDetails" in result:
            raise RuntimeError("script failed: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def key(self, key, code, keycode, text=None):
        # A key with text is what activates a button (Enter); the others go down raw.
        down = {"type": "keyDown", "text": text} if text else {"type": "rawKeyDown"}
        for event in (down, {"type": "keyUp"}):
            self.send("Input.dispatchKeyEvent", dict(event, key=key, code=code, windowsVirtualKeyCode=keycode))

    def click(self, x, y):
        for kind in ("mousePressed", "mouseReleased"):
            self.send("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left",
                                                   "clickCount": 1})

    def close(self):
        try:
            self.send("Browser.close", session=False, timeout=5)
        except Exception:
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def decode_png(data):
    """The pixels of an 8-bit RGB or RGBA PNG as rows of (r, g, b) tuples."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat = 8, b""
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    channels = 3 if colour == 2 else 4
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + a) & 255
            elif kind == 2:
                row[i] = (row[i] + b) & 255
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(row[x * channels:x * channels + 3]) for x in range(width)])
        previous = row
    return rows


def colours_in(pixels, rect):
    """How many different colours the screenshot has inside rect (x, y, width, height)."""
    x0, y0 = max(0, int(rect[0]) + 1), max(0, int(rect[1]) + 1)
    x1, y1 = min(len(pixels[0]), int(rect[0] + rect[2]) - 1), min(len(pixels), int(rect[1] + rect[3]) - 1)
    return len({pixels[y][x] for y in range(y0, y1) for x in range(x0, x1)})


VISIBLE_TILES = """[...document.querySelectorAll('#grid .tile')].filter(t => {
  const r = t.getBoundingClientRect(); return r.bottom > 0 && r.top < innerHeight; })"""


def report(name, value):
    print("%s %s" % (name, value if not isinstance(value, (list, dict)) else json.dumps(value)))
    sys.stdout.flush()


def run(browser, page, search, screenshot):
    target = browser.send("Target.createTarget", {"url": "about:blank"}, session=False)
    browser.session = browser.send("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True},
                                   session=False)["sessionId"]
    browser.send("Page.enable")
    browser.send("Emulation.setDeviceMetricsOverride", {"width": WIDTH, "height": HEIGHT,
                                                        "deviceScaleFactor": 1, "mobile": False})
    started = time.monotonic()
    browser.send("Page.navigate", {"url": "file://" + os.path.abspath(page)})
    browser.wait_event("Page.loadEventFired")
    report("load-ms", round((time.monotonic() - started) * 1000))
    report("first-screen-ms", round(browser.evaluate(
        "performance.getEntriesByName('gallery-first-screen')[0].startTime")))
    # The first paint is recorded once the frame is drawn.
    report("first-paint-ms", round(browser.evaluate("""new Promise(done => requestAnimationFrame(() =>
      setTimeout(() => { const p = performance.getEntriesByName('first-contentful-paint')[0];
                         done(p ? p.startTime : -1); }, 50)))""")))
    report("page-bytes", os.path.getsize(page))
    report("count", browser.evaluate("document.getElementById('count').textContent"))
    report("tiles", browser.evaluate("document.querySelectorAll('#grid .tile').length"))
    report("names", browser.evaluate("[...document.querySelectorAll('#grid .name')].map(n => n.textContent)"))
    report("reasons", browser.evaluate("[...document.querySelectorAll('#grid .reason')].map(n => n.textContent)"))

    # Every tile on the first screen should show a picture (or its reason): wait for the lazy
    # images there, then look at the screenshot.
    loaded = browser.evaluate("""new Promise(done => {
      const images = %s.map(t => t.querySelector('img')).filter(i => i);
      const start = performance.now();
      (function check() {
        if (images.every(i => i.complete) || performance.now() - start > 10000)
          done(images.filter(i => i.complete && i.naturalWidth > 0).length + '/' + images.length);
        else setTimeout(check, 20);
      })(); })""" % VISIBLE_TILES)
    report("visible-images-loaded", loaded)
    rects = browser.evaluate("""%s.map(t => { const i = t.querySelector('img, .reason').getBoundingClientRect();
      return [t.querySelector('.name').textContent, !!t.querySelector('img'), i.x, i.y, i.width, i.height]; })"""
                             % VISIBLE_TILES)
    shot = base64.b64decode(browser.send("Page.captureScreenshot", {"format": "png"})["data"])
    if screenshot:
        with open(screenshot, "wb") as out:
            out.write(shot)
    pixels = decode_png(shot)
    report("screenshot-size", "%dx%d" % (len(pixels[0]), len(pixels)))
    report("visible-tiles", [[r[0], r[1], colours_in(pixels, r[2:])] for r in rects])

    # Typing into the search box narrows the tiles as the user types.
    browser.evaluate("document.getElementById('search').focus()")
    browser.send("Input.insertText", {"text": search})
    report("search-names", browser.evaluate("[...document.querySelectorAll('#grid .name')].map(n => n.textContent)"))
    report("search-count", browser.evaluate("document.getElementById('count').textContent"))
    browser.evaluate("const s = document.getElementById('search'); s.value = ''; s.dispatchEvent(new Event('input'))")
    report("cleared-tiles", browser.evaluate("document.querySelectorAll('#grid .tile').length"))

    # A click on the first tile with a picture opens its full preview and its path.
    target = browser.evaluate("""(() => { const t = [...document.querySelectorAll('#grid .tile')]
      .find(t => t.querySelector('img')); t.scrollIntoView({block: 'center'}); const r = t.getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2, t.querySelector('.name').textContent]; })()""")
    browser.click(target[0], target[1])
    view = browser.evaluate("""new Promise(done => { const img = document.getElementById('view-image');
      const finish = () => done([document.getElementById('view').open, document.getElementById('view-name').textContent,
        img.naturalWidth, img.naturalHeight, document.getElementById('view-path').value]);
      img.complete ? finish() : img.addEventListener('load', finish, {once: true}); })""")
    report("clicked", target[2])
    report("dialog", view)

    # Keys: Escape closes the preview, the arrow moves to the next tile, Enter opens that one.
    browser.key("Escape", "Escape", 27)
    report("after-escape-open", browser.evaluate("document.getElementById('view').open"))
    before = browser.evaluate("document.activeElement.dataset.position")
    browser.key("ArrowRight", "ArrowRight", 39)
    after = browser.evaluate("document.activeElement.dataset.position")
    report("arrow-moves", "%s->%s" % (before, after))
    browser.key("Enter", "Enter", 13, "\r")
    report("enter-opens", browser.evaluate(
        "[document.getElementById('view').open, document.getElementById('view-name').textContent]"))
    report("focused-name", browser.evaluate(
        "document.querySelectorAll('#grid .name')[Number(%s)].textContent" % json.dumps(after)))


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    page = sys.argv[1]
    search = sys.argv[2] if len(sys.argv) > 2 else ""
    screenshot = sys.argv[3] if len(sys.argv) > 3 else None
    profile = tempfile.mkdtemp(prefix="veltrane-chromium-")
    try:
        try:
            browser = Browser(profile)
            browser.send("Browser.getVersion", session=False, timeout=60)
        except (OSError, EOFError, TimeoutError) as error:
            print("cannot start chromium: %s" % error, file=sys.stderr)
            return 77
        try:
            run(browser, page, search, screenshot)
        finally:
            browser.close()
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
