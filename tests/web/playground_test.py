#!/usr/bin/python3
"""The playground page in headless Chromium, against the native previewer.

usage: playground_test.py SITE_DIR PREVIEWER ARTIFACT_DIR [--fps]

Serves SITE_DIR on localhost, opens the page and checks that it loads with
no console error; that every effect shows the previewer's description and
draws frame for frame what the native previewer writes for the same list and
settings; that a list that does not parse shows its column and leaves the
last good animation running, a list typed shows on the next frame, keys are
offered as typed and warnings are the previewer's; that with PNG pictures
for sprite and stage and script calls along the way the copied previewer
command makes the frame shown; that hover hit tests answer what the
previewer's --hit does; and that the page reads every kind of 8-bit PNG
exactly. Keeps a screenshot in ARTIFACT_DIR.
With --fps it only measures frames per second for a 640x480 sprite.
"""
import base64
import functools
import http.server
import io
import os
import re
import shlex
import subprocess
import sys
import tempfile
import threading
import time

from PIL import Image
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.actions.action_builder import ActionBuilder
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

SITE, PREVIEWER, ARTIFACTS = sys.argv[1], os.path.abspath(sys.argv[2]), sys.argv[3]
FRAMES = 7  # compared frame: far enough in for every animation to move

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def serve(directory):
    handler = functools.partial(http.server.SimpleHTTPRequestHandler, directory=directory)
    handler.log_message = lambda *args: None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--disable-background-networking", "--disable-component-update", "--no-first-run",
                 "--window-size=1400,1000"):
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def native(args, out):
    """The previewer's last frame as RGBA bytes, and what it printed."""
    run = subprocess.run([PREVIEWER, "render", *args, "-o", out], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError(f"previewer {args}: {run.stderr}")
    with Image.open(out) as image:
        return image.size, image.convert("RGBA").tobytes(), run.stdout + run.stderr


READ_CANVAS = """
const c = document.getElementById('stage');
const d = c.getContext('2d').getImageData(0, 0, c.width, c.height).data;
let s = '';
for (let i = 0; i < d.length; i += 0x8000) s += String.fromCharCode(...d.subarray(i, i + 0x8000));
return {width: c.width, height: c.height, base64: btoa(s)};
"""


def page_frame(driver, raw=False):
    """The frame the page shows: the canvas, or with `raw` the module's bytes."""
    answer = driver.execute_script("return window.playground.frameBytes();" if raw else READ_CANVAS)
    return (answer["width"], answer["height"]), base64.b64decode(answer["base64"])


def set_control(driver, control, value):
    driver.execute_script(
        "const e = document.getElementById(arguments[0]);"
        "if (e.type === 'checkbox') e.checked = arguments[1]; else e.value = arguments[1];"
        "e.dispatchEvent(new Event('input'));", control, value)


def open_page(driver, url):
    """A fresh page, paused: frames come from Step only."""
    driver.get(url)
    WebDriverWait(driver, 60).until(lambda d: d.execute_script("return document.body.dataset.ready === 'true'"))
    driver.find_element(By.ID, "play").click()


def first_use(driver, url, symbol):
    """A fresh page with `symbol` picked, at FRAMES: its start list and nothing
    else, as the previewer's one SetProperties (the noise effects' generator
    is the module's, shared by all its effects and never reseeded)."""
    open_page(driver, url)
    driver.execute_script(
        "window.playground.selectEffect(arguments[0]);"
        "for (let i = 1; i < arguments[1]; ++i) document.getElementById('step').click();", symbol, FRAMES)
    return driver.find_element(By.ID, "props").get_attribute("value")


def show(driver, symbol, props, settings, reselect=True):
    """The effect from its start with `props` and the stage settings, at FRAMES."""
    if reselect:
        driver.execute_script("window.playground.selectEffect(arguments[0]);", symbol)
    for control, value in settings.items():
        set_control(driver, control, value)
    driver.execute_script(
        "const e = document.getElementById('props'); e.value = arguments[0];"
        "e.dispatchEvent(new Event('input'));"
        "document.getElementById('restart').click();"
        "for (let i = 1; i < arguments[1]; ++i) document.getElementById('step').click();", props, FRAMES)


def previewer_args(settings):
    args = []
    if not settings.get("checker", True):
        args += ["--background", settings["colour"]]
    if settings.get("depth", "32") != "32":
        args += ["--depth", settings["depth"]]
    if settings.get("blend", "255") != "255":
        args += ["--blend", settings["blend"]]
    if settings.get("use-thresholds"):
        args += ["--thresholds", f"{settings['low']},{settings['high']}"]
    if settings.get("alpha"):
        args += ["--alpha"]
    return args


def compare(driver, scratch, symbol, props, settings):
    """Frame FRAMES on the page and from the previewer; `props` None: as shown."""
    if props is None:
        props = driver.find_element(By.ID, "props").get_attribute("value")
    else:
        show(driver, symbol, props, settings)
    size, pixels = page_frame(driver, raw=settings.get("alpha", False))
    want_size, want, _ = native([symbol, "--props", props, "--frames", str(FRAMES), *previewer_args(settings)],
                                os.path.join(scratch, f"{symbol}.png"))
    same = size == want_size and pixels == want
    detail = ""
    if not same and size == want_size:
        differing = sum(1 for i in range(0, len(want), 4) if pixels[i:i + 4] != want[i:i + 4])
        detail = f" ({differing} pixels differ)"
    check(same, f"{symbol} {settings or ''} frame {FRAMES} equals the previewer's{detail}")


def main():
    server = serve(SITE)
    driver = browser()
    scratch = tempfile.mkdtemp(prefix="vx-playground-")
    try:
        url = f"http://127.0.0.1:{server.server_port}/index.html"
        open_page(driver, url)
        if "--fps" in sys.argv:
            return measure_fps(driver)

        effects = driver.execute_script("return window.playground.effects;")
        check(len(effects) == 9, f"nine effects offered ({', '.join(effects)})")

        # Every effect as first picked on the page, then the stage's other
        # depths, blend, thresholds, colour and alpha.
        lists = {}
        for symbol in effects:
            lists[symbol] = first_use(driver, url, symbol)
            compare(driver, scratch, symbol, None, {})
            shown = driver.find_element(By.ID, "description").get_attribute("textContent")
            described = subprocess.run([PREVIEWER, "describe", symbol], capture_output=True, text=True).stdout
            check(shown.rstrip("\n") == described.rstrip("\n") and "\ufffd" not in shown,
                  f"{symbol}'s description is the previewer's, in UTF-8")
        variants = [
            ("rotate", {"depth": "8", "checker": False, "colour": "#203040"}),
            ("swirl", {"depth": "16", "blend": "128"}),
            ("mosaic", {"depth": "24", "use-thresholds": True, "low": "10", "high": "200"}),
            ("lineskip", {"alpha": True}),
            ("hsb", {"depth": "16", "checker": False, "colour": "#ffffff"}),
        ]
        for symbol, settings in variants:
            compare(driver, scratch, symbol, lists[symbol], settings)
            for control, value in {"depth": "32", "blend": "255", "use-thresholds": False, "checker": True,
                                   "alpha": False}.items():
                set_control(driver, control, value)

        check_bad_list(driver, scratch, lists["mosaic"])
        check_command(driver, scratch)
        check_hit(driver, scratch, lists["rotate"])
        check_png_reading(driver)

        errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
        check(not errors, f"no console errors {errors if errors else ''}")
        os.makedirs(ARTIFACTS, exist_ok=True)
        driver.execute_script("window.playground.selectEffect('swirl'); document.getElementById('play').click();"
                              "window.scrollTo(0, 0);")
        time.sleep(0.6)
        driver.find_element(By.ID, "copy").click()
        check(driver.save_screenshot(os.path.join(ARTIFACTS, "playground.png")), "screenshot kept")
    finally:
        driver.quit()
        server.shutdown()
    print(f"{len(failures)} failed")
    return 1 if failures else 0


def check_bad_list(driver, scratch, good):
    """Typing a list that does not parse: its column shown, the good one running."""
    show(driver, "mosaic", good, {})
    bad = good.replace("#endYRes: 12", "#endYRes: ")
    editor = driver.find_element(By.ID, "props")
    editor.clear()
    editor.send_keys(bad)
    error = driver.find_element(By.ID, "error")
    column = bad.index("]") + 1  # the value is missing where the list closes
    check(error.is_displayed() and f"column {column}:" in error.text,
          f"a bad list shows its column {column} ({error.text.splitlines()[0] if error.text else 'nothing'})")
    caret_line = error.text.splitlines()[-1] if error.text else ""
    check(caret_line == " " * (column - 1) + "^", "the caret stands under that column")
    # The animation carries on with the good list: two frames more.
    driver.execute_script("document.getElementById('step').click(); document.getElementById('step').click();")
    _, pixels = page_frame(driver)
    _, want, _ = native(["mosaic", "--props", good, "--frames", str(FRAMES + 2)], os.path.join(scratch, "bad.png"))
    check(pixels == want, "after a bad list the last good animation keeps running")

    # A good list typed takes effect on the next frame.
    still = "[#animMode: #static, #numFrames: 12, #startXRes: 9, #startYRes: 5, #endXRes: 12, #endYRes: 12]"
    editor.clear()
    editor.send_keys(still)
    check(not error.is_displayed(), "a good list clears the error")
    driver.execute_script("document.getElementById('step').click();")
    _, pixels = page_frame(driver)
    _, want, _ = native(["mosaic", "--props", still, "--frames", "1"], os.path.join(scratch, "still.png"))
    check(pixels == want, "a list typed shows on the next frame")

    # Keys offered as typed: `#sta` narrows them to the start keys, a click
    # completes one; a key the effect lacks is warned of as the previewer does.
    editor.clear()
    editor.send_keys("[#numFrames: 4, #bogus: 1, #sta")
    offered = [chip.text for chip in driver.find_elements(By.CSS_SELECTOR, "#keys button") if chip.is_displayed()]
    check(offered == ["#startXRes", "#startYRes"], f"typing #sta offers {offered}")
    driver.find_elements(By.CSS_SELECTOR, "#keys button:not([hidden])")[0].click()
    editor.send_keys("3]")
    typed = editor.get_attribute("value")
    check(typed == "[#numFrames: 4, #bogus: 1, #startXRes: 3]", f"a key completed: {typed}")
    warnings = driver.find_element(By.ID, "warnings").text
    _, _, printed = native(["mosaic", "--props", typed, "--frames", "1"], os.path.join(scratch, "warned.png"))
    check(bool(warnings) and all(line in printed for line in warnings.splitlines()),
          f"warnings {warnings!r} are the previewer's")


def write_pictures(scratch):
    """A sprite with soft edges and a half-clear stage picture smaller than
    the stage, so both are cut, tiled and blended."""
    sprite = Image.new("RGBA", (97, 61))
    sprite.putdata([(x * 2, y * 4, (x * y) & 255, max(0, min(255, 300 - 7 * abs(x - 48) - 9 * abs(y - 30))))
                    for y in range(61) for x in range(97)])
    sprite.save(os.path.join(scratch, "sprite.png"))
    stage = Image.new("RGBA", (45, 38))
    stage.putdata([(200, (x * 5) & 255, 90, 255 if (x + y) % 3 else 70) for y in range(38) for x in range(45)])
    stage.save(os.path.join(scratch, "stage.png"))


def check_command(driver, scratch):
    """Pictures for sprite and stage and script calls along the way; the
    copied previewer command then renders the frame shown."""
    write_pictures(scratch)
    driver.execute_script("window.playground.selectEffect('rotate');")
    for control, name in (("sprite-file", "sprite.png"), ("stage-file", "stage.png")):
        driver.find_element(By.ID, control).send_keys(os.path.join(scratch, name))
    WebDriverWait(driver, 20).until(lambda d: d.execute_script(
        "return window.playground.state.spriteName === 'sprite.png' && window.playground.state.stageName === 'stage.png';"))
    show(driver, "rotate", "[#animMode: #range, #numFrames: 9, #startDegrees: 30, #endDegrees: 300]",
         {"depth": "16"}, reselect=False)
    call = driver.find_element(By.ID, "call")
    for text in ("SetInterpolation(1)", "RelToPoint(20, 30)"):
        call.clear()
        call.send_keys(text)
        driver.find_element(By.ID, "run-call").click()
        check(driver.find_element(By.ID, "call-result").text.startswith("="), f"call {text} answered")
        driver.execute_script("document.getElementById('step').click();")
    driver.find_element(By.ID, "copy").click()
    command = driver.find_element(By.ID, "command").text
    words = shlex.split(command)
    check(words[:3] == ["vornix", "render", "rotate"] and "--input" in words and words.count("--call") == 2,
          f"command: {command}")
    args = words[2:]
    del args[args.index("-o"):args.index("-o") + 2]
    run = subprocess.run([PREVIEWER, "render", *args, "-o", "command.png"], cwd=scratch, capture_output=True)
    with Image.open(os.path.join(scratch, "command.png")) as image:
        want = image.convert("RGBA").tobytes()
    _, pixels = page_frame(driver)
    check(run.returncode == 0 and pixels == want, "the copied command renders the frame shown")
    driver.execute_script("document.querySelector('input[name=sprite][value=builtin]').click();")
    for control, value in {"depth": "32", "checker": True}.items():
        set_control(driver, control, value)


def check_png_reading(driver):
    """png.js reads every kind of 8-bit PNG as an independent decoder does."""
    base = Image.new("RGBA", (37, 23))
    base.putdata([((x * 7) & 255, (y * 11) & 255, (x * y) & 255, (x * 13 + y * 5) & 255)
                  for y in range(23) for x in range(37)])
    kinds = {
        "rgba": (base, {}), "rgb": (base.convert("RGB"), {}), "grey": (base.convert("L"), {}),
        "grey+alpha": (base.convert("LA"), {}), "1-bit": (base.convert("1"), {}),
        "palette+tRNS": (base.convert("RGB").quantize(200), {"transparency": 3}),
        "4-bit palette": (base.convert("RGB").quantize(16), {"bits": 4}),
        "rgb key": (base.convert("RGB"), {"transparency": base.convert("RGB").getpixel((3, 0))}),
        "grey key": (base.convert("L"), {"transparency": base.convert("L").getpixel((5, 2))}),
    }
    script = """
        const [text, done] = arguments;
        import('./png.js').then(({ decodePng }) =>
          decodePng(Uint8Array.from(atob(text), (c) => c.charCodeAt(0)).buffer)).then((image) => {
            let s = '';
            if (image) for (const b of image.rgba) s += String.fromCharCode(b);
            done(image ? btoa(s) : null);
          }, (e) => done('error: ' + e));"""
    for name, (image, options) in kinds.items():
        file = io.BytesIO()
        image.save(file, "PNG", **options)
        file.seek(0)
        with Image.open(file) as reread:
            want = reread.convert("RGBA").tobytes()
        got = driver.execute_async_script(script, base64.b64encode(file.getvalue()).decode())
        check(got is not None and base64.b64decode(got) == want, f"png.js reads a {name} PNG exactly")


def check_hit(driver, scratch, props):
    """Hovering asks GetAlphaAt as the previewer's --hit does."""
    show(driver, "rotate", props, {})
    left, top, width, height, zoom = driver.execute_script(
        "const c = document.getElementById('stage'); c.scrollIntoView(); const b = c.getBoundingClientRect();"
        "return [Math.ceil(b.left), Math.ceil(b.top), c.width, c.height, Math.round(b.width / c.width)];")
    for x, y in ((width // 2, height // 2), (width // 2 + 70, height // 2 - 10), (3, 3)):
        # Into the middle of the stage pixel as the page zooms it.
        actions = ActionBuilder(driver)
        actions.pointer_action.move_to_location(left + x * zoom + zoom // 2, top + y * zoom + zoom // 2)
        actions.perform()
        shown = driver.find_element(By.ID, "hit").text
        _, _, printed = native(["rotate", "--props", props, "--frames", str(FRAMES), "--hit", f"{x},{y}"],
                               os.path.join(scratch, "hit.png"))
        want = re.search(r"hit \(\d+, \d+\): .*", printed).group(0)
        check(shown == want, f"hover {shown!r} is the previewer's {want!r}")


def measure_fps(driver):
    """Frames per second for a 640x480 sprite, each frame drawn on the canvas."""
    driver.execute_script(
        "const w = 640, h = 480, p = new Uint8Array(w * h * 4);"
        "for (let y = 0; y < h; ++y) for (let x = 0; x < w; ++x) {"
        "  const i = (y * w + x) * 4; p[i] = x * 255 / w; p[i + 1] = y * 255 / h; p[i + 2] = (x ^ y) & 255;"
        "  p[i + 3] = Math.hypot(x - w / 2, y - h / 2) < 230 ? 255 : 0; }"
        "window.playground.setSprite(p, w, h);")
    for symbol in ("mosaic", "rotate"):
        driver.execute_script("window.playground.selectEffect(arguments[0]);", symbol)
        frames, drawn, seconds = driver.execute_script(
            "const t0 = performance.now(); let n = 0, drawn = 0;"
            "while (performance.now() - t0 < 3000) { drawn += window.playground.drawFrame().redraw ? 1 : 0; ++n; }"
            "return [n, drawn, (performance.now() - t0) / 1000];")
        print(f"{symbol}: 640x480 sprite, {frames} frames ({drawn} rendered) in {seconds:.2f} s = "
              f"{frames / seconds:.1f} frames/s back to back")
        # Played by the page's own clock at speed 60 (the display's rate caps it).
        set_control(driver, "speed", "60")
        start = int(driver.find_element(By.ID, "frame").text)
        driver.find_element(By.ID, "play").click()
        time.sleep(3)
        driver.find_element(By.ID, "play").click()
        played = int(driver.find_element(By.ID, "frame").text) - start
        print(f"{symbol}: played at speed 60, {played} frames in 3 s = {played / 3:.1f} frames/s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
