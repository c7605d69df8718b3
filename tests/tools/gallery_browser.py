#!/usr/bin/env python3
"""Opens a gallery page in headless Chromium and reports what a user would see, one fact a line.

usage: gallery_browser.py PAGE SEARCH CLICK [SCREENSHOT]
       gallery_browser.py --museum PAGE SHOTS
       gallery_browser.py --measure PAGE WORD

Types SEARCH into the search box, clicks the tile named CLICK, and saves the first screen to
SCREENSHOT if given. --museum runs the search, filter, panel and address checks on the test
museum (tests/tools/GalleryMuseumTest.cpp), writing its previews with Pillow first and its
screenshots into SHOTS. --measure times the first screen and each keystroke of WORD.

Chromium is driven over its DevTools protocol on a pipe (--remote-debugging-pipe: commands on fd 3,
replies on fd 4, each a JSON text ended by a NUL byte), so no port, network or extra package is
needed. Exit status 77 when Chromium cannot be started, 1 when the page misbehaves.
"""
import base64
import fcntl
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

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


def open_page(browser, url):
    """A new tab at url; the browser's commands go to it from now on."""
    target = browser.send("Target.createTarget", {"url": "about:blank"}, session=False)
    browser.session = browser.send("Target.attachToTarget", {"targetId": target["targetId"], "flatten": True},
                                   session=False)["sessionId"]
    browser.send("Page.enable")
    browser.send("Emulation.setDeviceMetricsOverride", {"width": WIDTH, "height": HEIGHT,
                                                        "deviceScaleFactor": 1, "mobile": False})
    if url != "about:blank":
        browser.send("Page.navigate", {"url": url})
        browser.wait_event("Page.loadEventFired")


def in_screenshot(browser, png, expression):
    """expression's value over the PNG screenshot drawn on a canvas (img, context), computed with the
    browser's own decoder in a blank tab of its own (the gallery's page allows no such pictures)."""
    gallery = browser.session
    open_page(browser, "about:blank")
    value = browser.evaluate("""new Promise((done, fail) => {
      const img = new Image();
      img.onerror = () => fail('screenshot does not decode');
      img.onload = () => {
        const canvas = document.createElement('canvas');
        canvas.width = img.width; canvas.height = img.height;
        const context = canvas.getContext('2d');
        context.drawImage(img, 0, 0);
        done(%s);
      };
      img.src = 'data:image/png;base64,%s';
    })""" % (expression, base64.b64encode(png).decode()))
    browser.session = gallery
    return value


def colours_in(browser, png, rects):
    """For each rect [x, y, width, height] of the PNG screenshot: how many different colours it
    has, and the share of its most common colour in per cent."""
    return in_screenshot(browser, png, """%s.map(([x, y, w, h]) => {
          x = Math.max(0, Math.floor(x) + 1); y = Math.max(0, Math.floor(y) + 1);
          w = Math.min(img.width - x, Math.floor(w) - 2); h = Math.min(img.height - y, Math.floor(h) - 2);
          if (w <= 0 || h <= 0) return [0, 100];
          const pixels = new Uint32Array(context.getImageData(x, y, w, h).data.buffer);
          const counts = new Map();
          for (const p of pixels) counts.set(p, (counts.get(p) || 0) + 1);
          return [counts.size, Math.round(100 * Math.max(...counts.values()) / pixels.length)];
        })""" % json.dumps(rects))


VISIBLE_TILES = """[...document.querySelectorAll('#grid .tile')].filter(t => {
  const r = t.getBoundingClientRect(); return r.bottom > 0 && r.top < innerHeight; })"""


def report(name, value):
    print("%s %s" % (name, value if not isinstance(value, (list, dict)) else json.dumps(value)))
    sys.stdout.flush()


def run(browser, page, search, click, screenshot):
    started = time.monotonic()
    open_page(browser, "file://" + os.path.abspath(page))
    report("load-ms", round((time.monotonic() - started) * 1000))
    report("first-screen-ms", round(browser.evaluate(
        "performance.getEntriesByName('gallery-first-screen')[0].startTime")))
    # The first paint is recorded once the frame is drawn.
    report("first-paint-ms", round(browser.evaluate("""new Promise(done => requestAnimationFrame(() =>
      setTimeout(() => { const p = performance.getEntriesByName('first-contentful-paint')[0];
                         done(p ? p.startTime : -1); }, 50)))""")))
    report("page-bytes", os.path.getsize(page))
    report("title", browser.evaluate("document.title"))
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
    counts = colours_in(browser, shot, [r[2:] for r in rects])
    tiles = [[r[0], r[1]] + n for r, n in zip(rects, counts)]
    report("visible-tiles", tiles)
    # A skin's preview has hundreds of colours spread over its windows; a blank or missing picture
    # (a broken-image sign on black) has one colour nearly everywhere.
    report("pictures-on-screen", sum(1 for t in tiles if t[1]))
    report("blank-pictures", [t[0] for t in tiles if t[1] and (t[2] < 16 or t[3] > 90)])

    # Typing into the search box narrows the tiles as the user types.
    browser.evaluate("document.getElementById('search').focus()")
    browser.send("Input.insertText", {"text": search})
    report("search-names", browser.evaluate("[...document.querySelectorAll('#grid .name')].map(n => n.textContent)"))
    report("search-count", browser.evaluate("document.getElementById('count').textContent"))
    browser.evaluate("const s = document.getElementById('search'); s.value = ''; s.dispatchEvent(new Event('input'))")
    report("cleared-tiles", browser.evaluate("document.querySelectorAll('#grid .tile').length"))

    # A click on the tile opens its full preview and its path.
    target = browser.evaluate("""(() => { const t = [...document.querySelectorAll('#grid .tile')]
      .find(t => t.querySelector('.name').textContent === %s); t.scrollIntoView({block: 'center'});
      const r = t.getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()""" % json.dumps(click))
    browser.click(target[0], target[1])
    view = browser.evaluate("""new Promise(done => { const img = document.getElementById('view-image');
      const finish = () => done([document.getElementById('view').open, document.getElementById('view-name').textContent,
        img.naturalWidth, img.naturalHeight, document.getElementById('view-path').value]);
      img.complete ? finish() : img.addEventListener('load', finish, {once: true}); })""")
    report("dialog", view)

    # Keys: Escape closes the preview, the arrow moves to the next tile, Enter opens that one.
    browser.key("Escape", "Escape", 27)
    report("after-escape-open", browser.evaluate("document.getElementById('view').open"))
    before = browser.evaluate("document.activeElement.dataset.position")
    browser.key("ArrowRight", "ArrowRight", 39)
    after = browser.evaluate("document.activeElement.dataset.position")
    report("arrow-step", int(after) - int(before))
    browser.key("Enter", "Enter", 13, "\r")
    report("enter-opens", browser.evaluate(
        "[document.getElementById('view').open, document.getElementById('view-name').textContent]"))
    report("focused-name", browser.evaluate(
        "document.querySelector('#grid .tile[data-position=\"%s\"] .name').textContent" % after))


NAMES = """[...document.querySelectorAll('#grid .tile')]
  .sort((a, b) => a.dataset.position - b.dataset.position).map(t => t.querySelector('.name').textContent)"""
# Two frames later the page has answered the last event and drawn it.
SETTLED = "new Promise(done => requestAnimationFrame(() => requestAnimationFrame(() => setTimeout(done, 0))))"


def write_previews(folder):
    """The museum's previews: Alpha's is shaped, its window corners transparent; the others opaque."""
    from PIL import Image, ImageDraw
    os.makedirs(folder, exist_ok=True)
    for name, colour in (("Beta.png", (40, 90, 200)), ("Gamma.png", (220, 140, 30)), ("filler.png", (120, 120, 120))):
        Image.new("RGBA", (275, 350), colour + (255,)).save(os.path.join(folder, name))
    shaped = Image.new("RGBA", (275, 350), (30, 200, 90, 255))
    draw = ImageDraw.Draw(shaped)
    for x, y in ((0, 0), (263, 0), (0, 104), (263, 104)):  # the main window's four corners
        draw.rectangle((x, y, x + 11, y + 11), fill=(0, 0, 0, 0))
    shaped.save(os.path.join(folder, "Alpha.png"))


def pixels_at(browser, png, points):
    """The RGBA values of the screenshot at the given points."""
    return in_screenshot(browser, png, "%s.map(([x, y]) => [...context.getImageData(Math.round(x), Math.round(y), 1, 1).data])"
                         % json.dumps(points))


def take_screenshot(browser, path):
    shot = base64.b64decode(browser.send("Page.captureScreenshot", {"format": "png"})["data"])
    with open(path, "wb") as out:
        out.write(shot)
    return shot


def set_search(browser, text):
    browser.evaluate("(() => { const s = document.getElementById('search'); s.focus(); s.select(); })()")
    if text:
        browser.send("Input.insertText", {"text": text})
    else:
        browser.evaluate("document.getElementById('search').value = ''; "
                         "document.getElementById('search').dispatchEvent(new Event('input'))")
    browser.evaluate(SETTLED)


def toggle(browser, value):
    browser.evaluate("document.querySelector('#filters input[value=%s]').click()" % json.dumps(value))
    browser.evaluate(SETTLED)


def wait_folded(browser):
    return browser.evaluate("""new Promise(done => (function check() {
      const mark = performance.getEntriesByName('gallery-texts-folded')[0];
      if (mark) done(mark.startTime); else setTimeout(check, 20); })())""")


def museum(browser, page, shots):
    write_previews(os.path.join(os.path.dirname(os.path.abspath(page)), "previews"))
    url = "file://" + os.path.abspath(page)
    open_page(browser, url)
    wait_folded(browser)
    report("title", browser.evaluate("document.title"))
    report("count", browser.evaluate("document.getElementById('count').textContent"))
    report("tiles-in-document", browser.evaluate("document.querySelectorAll('#grid .tile').length"))
    browser.evaluate("""new Promise(done => { const images = [...document.querySelectorAll('#grid img')];
      (function check() { if (images.every(i => i.complete)) done(); else setTimeout(check, 20); })(); })""")
    take_screenshot(browser, os.path.join(shots, "grid.png"))
    # Scrolled to the end, the last tiles are there and still only a screenful.
    browser.evaluate("window.scrollTo(0, document.body.scrollHeight)")
    browser.evaluate(SETTLED)
    report("after-scroll-last", browser.evaluate(NAMES)[-1])
    report("after-scroll-tiles", browser.evaluate("document.querySelectorAll('#grid .tile').length"))
    browser.evaluate("window.scrollTo(0, 0)")

    for word in ("zeppelin", "JURGEN", "Müller", "onerror", "copy-only-word", "ZEPPELIN nowhere",
                 "strasse", "ærø", "aeroskobing", "oeuvre lodz", "großmann", "GROẞMANN"):
        set_search(browser, word)
        report("search-" + word.replace(" ", "_"), browser.evaluate(NAMES))
    set_search(browser, "zeppelin")
    report("search-count", browser.evaluate("document.getElementById('count').textContent"))
    toggle(browser, "numsex")
    report("address", browser.evaluate("location.hash"))
    toggle(browser, "numsex")
    set_search(browser, "")
    report("address-cleared", browser.evaluate("location.hash"))
    browser.evaluate("(() => { const s = document.getElementById('sort'); s.value = 'new'; "
                     "s.dispatchEvent(new Event('change')); })()")
    browser.evaluate(SETTLED)
    report("newest-first", [browser.evaluate("location.hash")] + browser.evaluate(NAMES)[:2])
    browser.evaluate("(() => { const s = document.getElementById('sort'); s.value = 'name'; "
                     "s.dispatchEvent(new Event('change')); })()")
    for value in ("shaped", "cursors", "numsex", "missing", "failed"):
        toggle(browser, value)
        report("filter-" + value, browser.evaluate(NAMES))
        toggle(browser, value)

    # The panel of a skin with a copy: its text, facts and both paths.
    set_search(browser, "zeppelin")
    target = browser.evaluate("""(() => { const r = document.querySelector('#grid .tile').getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2]; })()""")
    browser.click(target[0], target[1])
    browser.evaluate(SETTLED)
    report("panel", browser.evaluate("""[document.getElementById('view').open,
      document.getElementById('view-name').textContent, document.getElementById('view-copies').textContent,
      [...document.querySelectorAll('#view-paths span')].map(s => s.textContent),
      [...document.querySelectorAll('#view-facts li')].map(s => s.textContent),
      document.getElementById('view-text').textContent]"""))
    take_screenshot(browser, os.path.join(shots, "panel.png"))
    browser.key("Escape", "Escape", 27)
    report("panel-closed", not browser.evaluate("document.getElementById('view').open"))

    # A skin with every fact, for the eye.
    set_search(browser, "gamma")
    target = browser.evaluate("""(() => { const r = document.querySelector('#grid .tile').getBoundingClientRect();
      return [r.x + r.width / 2, r.y + r.height / 2]; })()""")
    browser.click(target[0], target[1])
    browser.evaluate(SETTLED)
    report("panel-facts", browser.evaluate("[...document.querySelectorAll('#view-facts li')].map(s => s.textContent)"))
    take_screenshot(browser, os.path.join(shots, "panel-facts.png"))
    browser.key("Escape", "Escape", 27)

    # The address opens the view it names, and a change of it is followed.
    open_page(browser, url + "#q=J%C3%BCrgen&f=cursors&s=old")
    report("opened-view", browser.evaluate("""[document.getElementById('search').value, document.getElementById('sort').value,
      [...document.querySelectorAll('#filters input')].filter(b => b.checked).map(b => b.value), %s]""" % NAMES))
    browser.evaluate("location.hash = '#f=failed'")
    browser.evaluate(SETTLED)
    report("hashchange-view", browser.evaluate("""[document.getElementById('search').value,
      [...document.querySelectorAll('#filters input')].filter(b => b.checked).map(b => b.value), %s]""" % NAMES))
    browser.evaluate("history.back()")
    browser.evaluate(SETTLED)
    report("back-view", browser.evaluate(NAMES))

    # The shaped preview over the tile: its corners show the tile's background.
    open_page(browser, url + "#q=alpha")
    box = browser.evaluate("""new Promise(done => { const img = document.querySelector('#grid img');
      const finish = () => { const r = img.getBoundingClientRect();
        done([r.x, r.y, r.width, r.height, getComputedStyle(img.closest('.tile')).backgroundColor]); };
      img.complete ? finish() : img.addEventListener('load', finish, {once: true}); })""")
    shot = take_screenshot(browser, os.path.join(shots, "shaped.png"))
    x, y, w, h = box[:4]
    corner, middle = pixels_at(browser, shot, [[x + 1, y + 1], [x + w / 2, y + h / 4]])
    report("tile-background", box[4])
    report("shaped-corner", corner)
    report("shaped-middle", middle)


def measure(browser, page, word):
    """The first screen of a large gallery, and each keystroke of a search, in milliseconds."""
    write_previews(os.path.join(os.path.dirname(os.path.abspath(page)), "previews"))
    started = time.monotonic()
    open_page(browser, "file://" + os.path.abspath(page))
    report("load-ms", round((time.monotonic() - started) * 1000))
    report("page-bytes", os.path.getsize(page))
    report("data-read-ms", round(browser.evaluate(
        "performance.getEntriesByName('gallery-data-read')[0].startTime")))
    report("first-screen-ms", round(browser.evaluate(
        "performance.getEntriesByName('gallery-first-screen')[0].startTime")))
    report("first-paint-ms", round(browser.evaluate("""new Promise(done => requestAnimationFrame(() =>
      setTimeout(() => { const p = performance.getEntriesByName('first-contentful-paint')[0];
                         done(p ? p.startTime : -1); }, 50)))""")))
    report("first-screen-drawn-ms", round(browser.evaluate(
        "performance.getEntriesByName('gallery-first-screen-drawn')[0].startTime")))
    report("texts-folded-ms", round(wait_folded(browser)))
    report("tiles", browser.evaluate("document.getElementById('count').textContent"))
    report("tiles-in-document", browser.evaluate("document.querySelectorAll('#grid .tile').length"))
    browser.evaluate("document.getElementById('search').focus()")
    times = []
    for i in range(len(word)):
        # The search itself, and until the next frame is drawn.
        spent, drawn = browser.evaluate("""(async () => { const s = document.getElementById('search');
          const start = performance.now(); s.value = %s; s.dispatchEvent(new Event('input'));
          const spent = performance.now() - start; await %s; return [spent, performance.now() - start]; })()"""
                                        % (json.dumps(word[:i + 1]), SETTLED))
        times.append(drawn)
        report("keystroke-%s" % word[:i + 1], "%d ms (%d ms searching), %s" % (
            round(drawn), round(spent), browser.evaluate("document.getElementById('count').textContent")))
    report("slowest-keystroke-ms", round(max(times)))
    scroll = browser.evaluate("""(async () => { const start = performance.now();
      window.scrollTo(0, document.body.scrollHeight / 2); await %s; return performance.now() - start; })()""" % SETTLED)
    report("scroll-ms", round(scroll))


def main():
    if len(sys.argv) < 4:
        print(__doc__, file=sys.stderr)
        return 2
    mode = None
    if sys.argv[1] in ("--museum", "--measure"):
        mode = sys.argv.pop(1)
    page = sys.argv[1]
    search = sys.argv[2] if len(sys.argv) > 2 else ""
    click = sys.argv[3] if len(sys.argv) > 3 else ""
    screenshot = sys.argv[4] if len(sys.argv) > 4 else None
    profile = tempfile.mkdtemp(prefix="veltrane-chromium-")
    try:
        try:
            browser = Browser(profile)
            browser.send("Browser.getVersion", session=False, timeout=60)
        except (OSError, EOFError, TimeoutError) as error:
            print("cannot start chromium: %s" % error, file=sys.stderr)
            return 77
        try:
            if mode == "--museum":
                museum(browser, page, sys.argv[2])
            elif mode == "--measure":
                measure(browser, page, sys.argv[2])
            else:
                run(browser, page, search, click, screenshot)
        finally:
            browser.close()
    finally:
        shutil.rmtree(profile, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
