#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the foF2 web page in headless Chromium, driven through chromedriver (W3C WebDriver).

Serves, with nginx on 127.0.0.1, three stations from one copy of the page through the snippet
web/nginx.conf itself (its paths pointed into the work folder), beside a server-wide rule for
*.gif and *.js that must not capture them: "rome", the demo's pictures and archive, "gibilmanna",
the same with run records the checks write, and "decade", with ten years of archive. The program
ran in Europe/Rome; the browser runs in America/Los_Angeles. PAGE_TEST_ONLY="name ..." runs some
checks alone. Leaves a screenshot, page.png, in the work folder.

    page_test.py WEB_FOLDER DEMO_FOLDER PROGRAM WORK_FOLDER
"""

import base64
import datetime
import decimal
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import traceback
import urllib.error
import urllib.request

sys.dont_write_bytecode = True  # no __pycache__ beside the sources
from axe import assert_accessible  # noqa: E402

ELEMENT = "element-6066-11e4-a52e-4f735466cecf"
BROWSER_ZONE = "America/Los_Angeles"


class WebDriver:
    def __init__(self, url):
        self.url = url
        self.session = None

    def call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.load(response)["value"]
        except urllib.error.HTTPError as error:
            raise AssertionError(f"WebDriver {method} {path}: {error.read().decode()}") from None

    def start(self, user_data_dir):
        args = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                "--disable-background-networking", "--disable-component-update", "--disable-sync",
                "--disable-dev-shm-usage", "--window-size=980,1380", "--lang=en-US",
                f"--user-data-dir={user_data_dir}"]
        capabilities = {"browserName": "chrome",
                        "goog:chromeOptions": {"binary": "/usr/bin/chromium", "args": args}}
        value = self.call("POST", "/session", {"capabilities": {"alwaysMatch": capabilities}})
        self.session = f"/session/{value['sessionId']}"

    def quit(self):
        if self.session:
            self.call("DELETE", self.session)
            self.session = None

    def go(self, url):
        self.call("POST", self.session + "/url", {"url": url})

    def back(self):
        self.call("POST", self.session + "/back", {})

    def run(self, script, *args):
        return self.call("POST", self.session + "/execute/sync",
                         {"script": script, "args": list(args)})

    def cdp(self, command, params=None):
        return self.call("POST", self.session + "/goog/cdp/execute",
                         {"cmd": command, "params": params or {}})

    def click(self, css):
        element = self.call("POST", self.session + "/element",
                            {"using": "css selector", "value": css})[ELEMENT]
        self.call("POST", f"{self.session}/element/{element}/click", {})

    def pointer(self, kind, *moves):
        """Moves a pointer of kind (mouse, touch) to each (x, y) of the window, with a press and
        release there for a touch."""
        actions = []
        for x, y in moves:
            actions.append({"type": "pointerMove", "duration": 0, "x": int(x), "y": int(y)})
            if kind == "touch":
                actions += [{"type": "pointerDown", "button": 0}, {"type": "pointerUp", "button": 0}]
        self.call("POST", self.session + "/actions", {"actions": [
            {"type": "pointer", "id": kind, "parameters": {"pointerType": kind}, "actions": actions}]})
        self.call("DELETE", self.session + "/actions")

    def keys(self, *keys):
        """Presses and releases each key in turn, as a person types."""
        actions = []
        for key in keys:
            actions += [{"type": "keyDown", "value": key}, {"type": "keyUp", "value": key}]
        self.call("POST", self.session + "/actions",
                  {"actions": [{"type": "key", "id": "keyboard", "actions": actions}]})

    def window(self, width, height):
        self.call("POST", self.session + "/window/rect", {"width": width, "height": height})

    def screenshot(self, path):
        with open(path, "wb") as file:
            file.write(base64.b64decode(self.call("GET", self.session + "/screenshot")))

    def wait_for(self, what, script, *args):
        """Polls a script until it returns something true, for ten seconds at most."""
        for _ in range(100):
            value = self.run(script, *args)
            if value:
                return value
            time.sleep(0.1)
        raise AssertionError(f"timed out waiting for {what}: {self.run(script, *args)!r}")


# The figures in a container: state, date, caption, picture source and natural size, alt text,
# link to the file and whether the "no picture" message shows.
FIGURES = """
return [...document.querySelectorAll(arguments[0] + ' figure')].map(f => {
  const img = f.querySelector('img');
  return {state: f.dataset.state, date: f.querySelector('time').dateTime,
          caption: f.querySelector('time').textContent, src: img.src, alt: img.alt,
          size: [img.naturalWidth, img.naturalHeight], link: f.querySelector('a.file').href,
          message: getComputedStyle(f.querySelector('.missing')).display !== 'none',
          top: f.getBoundingClientRect().top, width: img.getBoundingClientRect().width};
});
"""
SETTLED = "const f = (() => {" + FIGURES + "})(); return f.every(x => x.state !== 'loading') && f;"
ARCHIVE_ON = ("const f = (() => {" + FIGURES + "})()[0]; return f.date === arguments[1] && "
              "f.state !== 'loading' && location.hash === arguments[2] && f;")


def fixed(value, digits):
    """`value` to `digits` decimals as the page writes it (JavaScript's toFixed): the exact
    binary value rounded, an exact half away from zero, where Python's format rounds it to even."""
    exact = decimal.Decimal(value).quantize(decimal.Decimal(1).scaleb(-digits),
                                            rounding=decimal.ROUND_HALF_UP)
    return f"{exact:.{digits}f}"


def archive_name(day):
    return f"{day.year:04}{day.timetuple().tm_yday:03}.gif"


def shown_archive(driver, day, hash_=None):
    """Waits until the archive view has settled on day, with the address hash_, and returns it."""
    hash_ = f"#{day.isoformat()}" if hash_ is None else hash_
    return driver.wait_for(f"the archive view of {day}", ARCHIVE_ON, "#archive", day.isoformat(),
                           hash_)


def fetch(url):
    with urllib.request.urlopen(url, timeout=10) as response:
        return response.read(), response.headers


def check_captions_and_freshness(driver, base, record, log, stations):
    driver.go(base + "rome/")
    figures = driver.wait_for("the six pictures", SETTLED, "#recent")
    for slot, (figure, day) in enumerate(zip(figures, record["days"]), start=1):
        assert figure["state"] == "shown" and not figure["message"], figure
        assert figure["size"] == [286, 231] and figure["width"] == 286, figure
        # The caption is the figure's own "Date:" line, whatever the browser's time zone.
        date = datetime.date.fromisoformat(day["date"])
        assert figure["date"] == day["date"] == date.strftime("%Y-%m-%d"), (figure, day)
        assert date.strftime("%d/%m/%Y") == day["date_label"], day
        assert figure["caption"].startswith(f"{date:%a}, {date.day} {date:%B %Y}"), figure
        assert figure["alt"].startswith(f"foF2 on {date:%a}, {date.day} {date:%B %Y}"), figure
        # ... and the picture is the one the archive keeps for that date.
        picture, _ = fetch(f"{base}rome/pictures/plotfoF2{slot}.gif")
        assert picture == fetch(f"{base}rome/archive/{archive_name(date)}")[0], slot
        assert figure["link"] == f"{base}rome/pictures/plotfoF2{slot}.gif", figure
    browser_today = driver.run("return new Date().toLocaleDateString('en-CA')")
    assert driver.run("return Intl.DateTimeFormat().resolvedOptions().timeZone") == BROWSER_ZONE
    text = driver.run("return document.body.innerText")
    finished = record["run_finished"][11:16]
    assert f"Last run at {finished} UT," in text, text
    assert "Out of date:" not in text, text
    assert driver.run("return document.getElementById('stale').hidden")
    # The newest measurement of the six days (yesterday's in the station's first hour of a day;
    # one without a value now and then), its age and the curve's value under it, with the
    # deviation.
    day = next(day for day in reversed(record["days"]) if day["newest"])
    newest, date = day["newest"], datetime.date.fromisoformat(day["date"])
    what = (f"{newest['value_mhz']:.1f} MHz" if newest["value_mhz"] is not None
            else "a measurement without a value")
    on = "" if day["date"] == record["today"] else f" on {date:%a}, {date.day} {date:%B %Y}"
    pattern = (rf"Latest: {re.escape(what + ' at ' + newest['time'] + ' UT' + on)}, "
               r"(\d+ minutes?|\d+ hours?|less than a minute) ago")
    if newest["curve_mhz"] is not None:  # no curve after the last hour's value
        pattern += rf"; forecast {fixed(newest['curve_mhz'], 1)} MHz"
        if newest["deviation_percent"] is not None:
            deviation = fixed(abs(newest["deviation_percent"]), 0)
            if float(deviation) != 0:
                deviation = ("\u2212" if newest["deviation_percent"] < 0 else "+") + deviation
            pattern += rf" \({re.escape(deviation)}%\)"
    assert re.search(pattern, text), text
    assert driver.run("return getComputedStyle(document.querySelector('#recent img'))"
                      ".imageRendering") == "pixelated"
    assert_accessible(driver, "the current pictures")
    # The legend's marks stay apart in forced colours; the dark scheme stays legible.
    driver.cdp("Emulation.setEmulatedMedia", {"features": [
        {"name": "forced-colors", "value": "active"}]})
    marks = driver.run("return [...document.querySelectorAll('.legend li')].map(li => { const s ="
                       " getComputedStyle(li, '::before'); return s.backgroundColor + s.width; })")
    assert len(set(marks)) == 3, marks
    driver.cdp("Emulation.setEmulatedMedia", {"features": [
        {"name": "prefers-color-scheme", "value": "dark"}]})
    assert driver.run("return getComputedStyle(document.body).backgroundColor") != \
        "rgb(244, 245, 247)"
    assert_accessible(driver, "the dark scheme")
    driver.cdp("Emulation.setEmulatedMedia", {"features": []})
    print(f"  captions {record['days'][0]['date']} to {record['today']} (the station's today), "
          f"browser's today {browser_today}", flush=True)
    # The page's own files carry the headers the snippet promises; the server's rule for *.js
    # does not take them.
    for name in ("", "foF2.js", "foF2.css", "pictures/plotfoF21.gif"):
        _, headers = fetch(f"{base}rome/{name}")
        assert "script-src 'self'" in headers["Content-Security-Policy"], (name, headers)
        assert headers["X-Content-Type-Options"] == "nosniff", (name, headers)
        expected = "max-age=60" if name.endswith(".gif") else "no-cache"
        assert headers["Cache-Control"] == expected, (name, headers)


def check_archive_browser(driver, base, record, log, stations):
    days = [datetime.date.fromisoformat(day["date"]) for day in record["days"]]
    driver.go(base + "rome/")
    # The bare address stays bare and shows the latest day; each step is a history entry.
    shown_archive(driver, days[5], "")
    driver.click("#previous-day")
    shown_archive(driver, days[4])
    driver.click("#previous-day")
    figure = shown_archive(driver, days[3])
    assert figure["state"] == "shown" and figure["size"] == [286, 231], figure
    assert figure["link"] == f"{base}rome/archive/{archive_name(days[3])}", figure
    driver.back()
    shown_archive(driver, days[4])
    assert driver.run("return document.getElementById('archive-announce').textContent") \
        .startswith(f"Archive: {days[4]:%a}, {days[4].day} {days[4]:%B %Y}")
    # A year typed with the keyboard: tab to the year of the field (month, day, year here).
    driver.go(f"{base}rome/#{days[3].isoformat()}")
    shown_archive(driver, days[3])
    driver.run("document.getElementById('archive-day').focus()")
    earlier = days[3].replace(year=days[3].year - 1)
    driver.keys("\ue004", "\ue004", *str(earlier.year))
    figure = shown_archive(driver, earlier)
    assert figure["state"] == "shown", figure
    # That backfilled day is the archive's first: "Previous day" stops there.
    assert driver.run("return document.getElementById('previous-day').disabled")
    # A day between them has no picture, and links to the nearest days that have one.
    driver.go(f"{base}rome/#{(days[0] - datetime.timedelta(days=3)).isoformat()}")
    figure = shown_archive(driver, days[0] - datetime.timedelta(days=3))
    assert figure["state"] == "missing" and figure["message"], figure
    nearest = driver.run("return [...document.querySelectorAll('#archive .nearest a')]"
                         ".map(a => a.hash)")
    assert nearest == [f"#{earlier.isoformat()}", f"#{days[0].isoformat()}"], nearest
    # A year typed outside the archive: the field goes back to the day shown, with the range.
    driver.run("document.activeElement.blur(); document.getElementById('archive-day').focus()")
    driver.keys("\ue004", "\ue004", "1", "9", "9", "9")
    driver.wait_for("the field put back", "return document.getElementById('archive-day').value"
                    " === arguments[0]", (days[0] - datetime.timedelta(days=3)).isoformat())
    range_ = driver.run("return document.getElementById('archive-range').textContent")
    assert "outside the archive. The archive holds pictures from" in range_, range_
    assert_accessible(driver, "the archive view")
    # An address that names no day, or one after the archive, gives way to the day shown.
    driver.go(f"{base}rome/#2026-02-30")
    shown_archive(driver, days[5])
    range_ = driver.run("return document.getElementById('archive-range').textContent")
    assert "“2026-02-30” is not a date" in range_, range_
    driver.go(f"{base}rome/#{(days[5] + datetime.timedelta(days=400)).isoformat()}")
    shown_archive(driver, days[5])
    assert driver.run("return document.getElementById('next-day').disabled")


def check_without_javascript(driver, base, record, log, stations):
    driver.cdp("Emulation.setScriptExecutionDisabled", {"value": True})
    driver.cdp("Network.enable")
    driver.cdp("Network.setCacheDisabled", {"cacheDisabled": True})  # ask for every picture
    try:
        start = log_length(log)
        driver.go(base + "rome/")
        time.sleep(1)
        root = driver.cdp("DOM.getDocument", {"depth": -1})["root"]["nodeId"]
        html = driver.cdp("DOM.getOuterHTML", {"nodeId": root})["outerHTML"]
    finally:
        driver.cdp("Network.setCacheDisabled", {"cacheDisabled": False})
        driver.cdp("Emulation.setScriptExecutionDisabled", {"value": False})
    requested = requests_since(log, start)
    for slot in range(1, 7):
        assert [f"/foF2/rome/pictures/plotfoF2{slot}.gif", "200"] in [r[:2] for r in requested]
    assert "Five days ago" in html and "Today</time>" in html, html
    assert "plotfoF2.json" not in " ".join(r[0] for r in requested), requested
    # Nothing says the page updates itself, and the archive, which needs the script, is hidden.
    assert '<p class="note" id="status"></p>' in html, html
    assert re.search(r'id="archive-section" hidden', html), html


def check_second_station_and_phone(driver, base, record, log, stations):
    driver.go(base + "gibilmanna/")
    driver.wait_for("the six pictures", SETTLED, "#recent")
    note = driver.wait_for("the out-of-date note",
                           "const n = document.getElementById('stale'); "
                           "return !n.hidden && n.textContent")
    assert note.startswith("Out of date:") and "2 hours ago" in note, note
    assert driver.run("return document.querySelector('#station strong').textContent") == \
        "Gibilmanna"
    # Renewed, the record makes the note go at the page's next look.
    written = [dict(day, current="written") for day in record["days"]]
    write_record(stations, "gibilmanna", dict(record, days=written), "Gibilmanna", 0)
    start = log_length(log)
    driver.run("refresh()")
    driver.wait_for("the note to go", "return document.getElementById('stale').hidden")
    # The new run's pictures, fetched once each, and today's archive view with them.
    driver.wait_for("today's archive view renewed", "return document.querySelector('#archive "
                    "img').src === document.querySelector('#recent .plot[data-slot=\"6\"] img')"
                    ".src && document.querySelector('#archive img').src.includes('?v=')")
    time.sleep(1)
    asked = [r[0].rsplit("/", 1)[1] for r in requests_since(log, start) if "/plotfoF2" in r[0]]
    assert sorted(asked) == ["plotfoF2.json"] + [f"plotfoF2{n}.gif" for n in range(1, 7)], asked
    assert driver.run("return document.title") == "foF2: Gibilmanna"
    # On a phone of three device pixels to the CSS pixel, today's picture comes first, in the
    # page's order too (which Tab follows), as wide as the column allows in whole device pixels.
    driver.cdp("Emulation.setDeviceMetricsOverride", {"width": 390, "height": 844,
                                                      "deviceScaleFactor": 3, "mobile": True})
    try:
        driver.go(base + "rome/")
        figures = driver.wait_for("the six pictures", SETTLED, "#recent")
        assert [f["date"] for f in figures] == [d["date"] for d in reversed(record["days"])]
        tops = [f["top"] for f in figures]
        assert tops == sorted(tops) and tops[0] < 844, tops
        width = figures[0]["width"]
        assert round(width * 3) % 286 == 0 and 390 - 2 * 8 - 286 / 3 < width <= 390, width
        assert_accessible(driver, "the page on a phone")
    finally:
        driver.cdp("Emulation.clearDeviceMetricsOverride")


def log_length(log):
    """How many requests nginx's log holds: the start of what requests_since returns."""
    with open(log) as file:
        return sum(1 for _ in file)


def requests_since(log, start):
    with open(log) as file:
        return [line.split() for line in file.read().splitlines()[start:]]


def check_first_view(driver, base, record, log, stations):
    """A first view of a station with a ten-year archive, nothing cached: its requests, bytes."""
    start = log_length(log)
    driver.go(base + "decade/")
    driver.wait_for("the six pictures", SETTLED, "#recent")
    driver.wait_for("the month", "return !document.getElementById('month').hidden")
    time.sleep(2)
    requested = requests_since(log, start)
    size = sum(int(r[2]) for r in requested)
    print(f"  first view: {len(requested)} requests, {size} bytes", flush=True)
    assert len(requested) <= 12 and size <= 60_000, requested
    assert_accessible(driver, "the first view")


STALE = "const n = document.getElementById('stale'); return !n.hidden && n.textContent"
FRESHNESS = "return document.getElementById('freshness').textContent"


def check_quiet_and_failing(driver, base, record, log, stations):
    # The runs go on, but the newest measurement is from two days ago.
    days = [dict(day, newest=None) for day in record["days"]]
    days[3]["newest"] = dict(record["days"][3]["newest"], time="12:00")
    days[0]["drawn_from"] = "record"
    write_record(stations, "gibilmanna", dict(record, days=days), "Gibilmanna", 0)
    driver.go(base + "gibilmanna/")
    note = driver.wait_for("the out-of-date note", STALE)
    day = datetime.date.fromisoformat(days[3]["date"])
    day = f"{day:%a}, {day.day} {day:%B %Y}"
    assert note.startswith(f"Out of date: no measurement since 12:00 UT on {day} ("), note
    assert "not drawn" not in note and "failed" not in note, note
    assert f"Latest: {days[3]['newest']['value_mhz']:.1f} MHz at 12:00 UT on {day}, " in \
        driver.run(FRESHNESS)
    assert driver.run("return document.querySelector('#recent .plot[data-slot=\"1\"] .drawn')"
                      ".textContent").startswith("drawn from the day's record")
    assert_accessible(driver, "a quiet station")
    # A failed run whose files told no station: said in the box, the name kept.
    write_record(stations, "gibilmanna", dict(record, success=False), "", 0)
    driver.run("refresh()")
    note = driver.wait_for("the failure", STALE + ".includes('failed') && n.textContent")
    assert note.startswith("The last run, at"), note
    assert driver.run("return document.querySelector('#station strong').textContent") == \
        "Gibilmanna"
    write_record(stations, "gibilmanna", record, "Gibilmanna", 0)


def check_without_record(driver, base, record, log, stations):
    """Record damaged, of another version, or gone, the visitor west of the station: each
    picture keeps its day, told by the archive, and its download name."""
    path = os.path.join(stations, "gibilmanna", "pictures", "plotfoF2.json")
    text = json.dumps(record)
    for problem, content in (("is damaged", text[:len(text) // 2]), ("no run record", None),
                             ("version this page does not know", json.dumps(dict(record, version=2)))):
        if content is None:
            os.remove(path)
        else:
            with open(path, "w") as file:
                file.write(content)
        driver.go(base + "gibilmanna/")
        note = driver.wait_for(problem, FRESHNESS + ".includes(arguments[0]) && "
                               "document.getElementById('freshness').textContent", problem)
        assert "taken from the archive" in note, note
        shown = driver.run("return [...document.querySelectorAll('#recent figure')].sort((a, b)"
                           " => a.dataset.slot - b.dataset.slot).map(f => [f.querySelector("
                           "'time').dateTime, f.querySelector('a.file').download])")
        assert shown == [[d["date"], d["archive_picture"]] for d in record["days"]], shown
        assert_accessible(driver, f"a record that {problem}")
    write_record(stations, "gibilmanna", record, "Gibilmanna", 0)


READOUT = ("const r = document.querySelector(arguments[0]).closest('.frame')"
           ".querySelector('.readout'); return !r.hidden && r.textContent")
# The picture's colour under the readout's ring.
UNDER_RING = """
const img = document.querySelector(arguments[0]), box = img.getBoundingClientRect();
const ring = img.closest('.frame').querySelector('.mark').getBoundingClientRect();
const canvas = new OffscreenCanvas(286, 231), context = canvas.getContext('2d');
context.drawImage(img, 0, 0);
return [...context.getImageData(Math.floor((ring.x + ring.width / 2 - box.x) / box.width * 286),
    Math.floor((ring.y + ring.height / 2 - box.y) / box.height * 231), 1, 1).data];
"""


def check_readout_and_files(driver, base, record, log, stations):
    start = log_length(log)
    driver.go(base + "rome/")
    driver.wait_for("the six pictures", SETTLED, "#recent")
    day = record["days"][4]
    stem = day["archive_picture"][:-4]
    assert not [r for r in requests_since(log, start) if r[0].endswith(".csv") or
                re.search(r"/\d{7}\.json$", r[0])], "a day's record read before it was asked for"
    folder = os.path.join(stations, "rome", "archive")
    with open(os.path.join(folder, stem + ".csv")) as file:
        lines = file.read().splitlines()[1:]
    csv = {line[11:16]: line.split(",")[1:] for line in lines}
    picture = '#recent .plot[data-slot="5"] img'
    box = driver.run("return document.querySelector(arguments[0]).getBoundingClientRect()", picture)
    for kind, at in (("mouse", "12:00"), ("touch", "06:15")):
        x = int(at[:2]) * 10 + (int(at[3:]) + 2) // 6 + 35.5  # the figure's column of the time
        driver.pointer(kind, (box["left"] + x * box["width"] / 286, box["top"] + 100))
        value, curve = (float(v) for v in csv[at])
        expected = f"{at} UT, {value:.1f} MHz, forecast {curve:.2f} MHz, "
        shown = driver.wait_for("the readout", READOUT, picture)
        assert shown.startswith(expected), (shown, expected)
        deviation = float(shown[len(expected):-1].replace("\u2212", "-"))
        assert abs(deviation - (value - curve) / curve * 100) < 0.1, shown
        red, green, blue, _ = driver.run(UNDER_RING, picture)
        assert red > 200 and green < 80 and blue < 80, (kind, red, green, blue)
    # The tap focused the picture: the arrow keys step on from there, End goes to the newest.
    driver.keys("\ue012")
    assert driver.wait_for("the readout", READOUT, picture).startswith("06:00 UT,")
    driver.keys("\ue010")
    newest = day["newest"]
    assert driver.wait_for("the readout", READOUT, picture).startswith(
        f"{newest['time']} UT, {newest['value_mhz']:.1f} MHz,")
    # The day's files, named by the day; the table of its values.
    links = driver.run("return [...document.querySelectorAll(arguments[0])].map(a => "
                       "[a.textContent, a.href])", '#recent .plot[data-slot="5"] .files a')
    words = f"{datetime.date.fromisoformat(day['date']):%-d %B %Y}"
    assert [text for text, _ in links] == [f"Picture of {words}", f"CSV of {words}",
                                           f"JSON of {words}"], links
    with open(os.path.join(folder, stem + ".csv"), "rb") as file:
        assert fetch(links[1][1])[0] == file.read()
    driver.click('#recent .plot[data-slot="5"] summary')
    rows = driver.wait_for("the table", "return [...document.querySelectorAll(arguments[0])]"
                           ".map(r => r.cells[0].textContent + ',' + r.cells[2].textContent)",
                           '#recent .plot[data-slot="5"] tbody tr')
    expected = [f"{line[11:16]},{line.split(',')[2]}" for line in lines]
    assert rows == expected, [(a, b) for a, b in zip(rows, expected) if a != b] or (len(rows), len(expected))
    assert_accessible(driver, "the readout and the table of values")


def check_month_across_year(driver, base, record, log, stations):
    january = datetime.date(datetime.date.fromisoformat(record["today"]).year - 1, 1, 1)
    december = january - datetime.timedelta(days=1)
    driver.go(f"{base}decade/#{january.isoformat()}")
    shown_archive(driver, january)
    driver.click("#previous-day")
    shown_archive(driver, december)
    driver.wait_for("December", "return document.getElementById('month-heading').textContent"
                    ".startsWith(arguments[0])", f"December {december.year}:")
    with open(os.path.join(stations, "decade", "archive", f"{december.year}.json")) as file:
        entries = {e["date"]: e for e in json.load(file)["days"] if e["date"][5:7] == "12"}
    labels = driver.run("return [...document.querySelectorAll('#month a')].map(a => "
                        "[a.hash.slice(1), a.getAttribute('aria-label'), a.textContent])")
    assert [label[0] for label in labels] == sorted(entries), labels
    entry = entries[december.isoformat()]
    label = labels[-1]
    shown = driver.run("return document.querySelector('#month li:last-child').textContent")
    assert f"highest {entry['max_mhz']:.1f} MHz" in label[1] and \
        shown.startswith(f"31{entry['max_mhz']:.1f}"), (label, shown, entry)
    assert_accessible(driver, "a month across the turn of a year")


def check_station_index(driver, base, record, log, stations):
    """The index at /foF2/: each station with its latest value and last run, gibilmanna's two
    hours old marked; its links lead to the pages; without JavaScript, a list of links."""
    items = "return [...document.querySelectorAll('#stations > li')].map(li => ({" \
        "text: li.innerText, warned: li.classList.contains('warned'), " \
        "link: li.querySelector('a').href, details: li.querySelectorAll('.detail').length}))"
    driver.go(base.rstrip("/"))  # /foF2 leads to /foF2/
    shown = driver.wait_for("the stations' figures", items + ".filter(i => i.details).length == 2 "
                            "&& " + items[7:])
    assert driver.run("return location.href") == base, driver.run("return location.href")
    rome, gibilmanna = shown
    newest = [day["newest"] for day in record["days"] if day["newest"]][-1]
    # One without a value now and then, as on the station's page.
    value = f"{newest['value_mhz']:.1f} MHz" if newest["value_mhz"] is not None else "no value"
    for item in shown:
        assert f"Latest: {value} at {newest['time']} UT" in item["text"], item
    assert "Last run at" in rome["text"] and not rome["warned"], rome
    assert gibilmanna["warned"] and "Out of date: no run since" in gibilmanna["text"], gibilmanna
    assert "Gibilmanna" in gibilmanna["text"] and "2 hours ago" in gibilmanna["text"], gibilmanna
    assert_accessible(driver, "the index of the stations")
    driver.cdp("Emulation.setEmulatedMedia",
               {"features": [{"name": "prefers-color-scheme", "value": "dark"}]})
    try:
        assert driver.run("return getComputedStyle(document.body).backgroundColor") != \
            "rgb(244, 245, 247)"
        assert_accessible(driver, "the index of the stations in a dark scheme")
    finally:
        driver.cdp("Emulation.setEmulatedMedia", {"features": []})
    driver.click("#stations > li:nth-child(2) a")
    driver.wait_for("gibilmanna's page", "return location.href === arguments[0]",
                    base + "gibilmanna/")
    driver.wait_for("the six pictures", SETTLED, "#recent")
    driver.cdp("Emulation.setScriptExecutionDisabled", {"value": True})
    try:
        driver.go(base)
        time.sleep(0.5)
        root = driver.cdp("DOM.getDocument", {"depth": -1})["root"]["nodeId"]
        html = driver.cdp("DOM.getOuterHTML", {"nodeId": root})["outerHTML"]
    finally:
        driver.cdp("Emulation.setScriptExecutionDisabled", {"value": False})
    assert re.search(r'<ul id="stations">\s*<li><a href="rome/">rome</a></li>\s*'
                     r'<li><a href="gibilmanna/">gibilmanna</a></li>\s*</ul>', html), html


def write_record(stations, station, record, name, hours_old):
    changed = dict(record, station=name)
    finished = datetime.datetime.now(datetime.timezone.utc) - datetime.timedelta(hours=hours_old)
    changed["run_finished"] = finished.strftime("%Y-%m-%dT%H:%M:%SZ")
    path = os.path.join(stations, station, "pictures", "plotfoF2.json")
    with open(path + ".new", "w") as file:
        json.dump(changed, file)
    os.rename(path + ".new", path)


def lay_out_decade(demo, program, stations, record):
    """The station "decade": the demo's, with ten years of archive before it, whose days from
    28 December to 2 January of last year have measurements."""
    work = os.path.join(stations, "decade")
    year = datetime.date.fromisoformat(record["today"]).year - 1
    maker = os.path.join(os.path.dirname(program), "..", "tools", "norvane_make_demo_data")
    turn = os.path.join(stations, "year-turn")
    subprocess.run([maker, turn, f"{year}-01-02"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run([program, "-C", turn, "--backfill", f"{year - 1}-12-28", f"{year}-01-02"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    shutil.copytree(os.path.join(demo, "pictures"), os.path.join(work, "pictures"))
    shutil.copytree(os.path.join(demo, "forecasts"), os.path.join(work, "forecasts"))
    archive = os.path.join(work, "forecasts", "previous_foF2_plots")
    for name in os.listdir(os.path.join(turn, "forecasts", "previous_foF2_plots")):
        if re.fullmatch(r"\d{7}\.(gif|json|csv)", name):
            shutil.copy(os.path.join(turn, "forecasts", "previous_foF2_plots", name), archive)
    shutil.copy(os.path.join(demo, "norvane_foF2.ini"), work)
    os.makedirs(os.path.join(work, "measurements"))
    last = datetime.date.fromisoformat(record["days"][0]["date"]) - datetime.timedelta(days=1)
    for first, end in ((f"{year - 9}-01-01", f"{year - 1}-12-27"), (f"{year}-01-03", str(last))):
        subprocess.run([program, "-C", work, "--backfill", first, end],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.rename(archive, os.path.join(work, "archive"))
    assert os.path.exists(os.path.join(work, "archive", f"{year - 9}001.gif"))


def lay_out(web, demo, program, work, port):
    """Backfills the day a year before the demo's fourth, copies the page and two stations into
    the work folder, and writes nginx's configuration. Returns the demo's run record."""
    with open(os.path.join(demo, "pictures", "plotfoF2.json")) as file:
        record = json.load(file)
    fourth = datetime.date.fromisoformat(record["days"][3]["date"])
    earlier = fourth.replace(year=fourth.year - 1).isoformat()
    # The demo has no measurements of that day: the backfill says so, and draws the day all the
    # same.
    subprocess.run([program, "-C", demo, "--backfill", earlier, earlier],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    assert os.path.exists(os.path.join(demo, "forecasts", "previous_foF2_plots",
                                       archive_name(fourth.replace(year=fourth.year - 1))))
    for name in ("www", "stations", "etc"):
        shutil.rmtree(os.path.join(work, name), ignore_errors=True)
    shutil.copytree(web, os.path.join(work, "www"),
                    ignore=shutil.ignore_patterns("*.conf"))
    os.makedirs(os.path.join(work, "etc"))
    shutil.copy(os.path.join(web, "page.conf"), os.path.join(work, "etc"))
    # The index of the stations lists both, as an administrator adds a line for each.
    with open(os.path.join(web, "stations.html")) as file:
        index = file.read().replace('<li><a href="rome/">rome</a></li>\n',
                                    '<li><a href="rome/">rome</a></li>\n'
                                    '<li><a href="gibilmanna/">gibilmanna</a></li>\n')
    with open(os.path.join(work, "etc", "stations.html"), "w") as file:
        file.write(index)
    stations = os.path.join(work, "stations")
    with open(os.path.join(web, "nginx.conf")) as file:
        # What comes before the block of rome (the index of the stations) is there once.
        common, snippet = file.read().split("# The station rome.", 1)
        snippet = "# The station rome." + snippet
    common = common.replace("/usr/share/norvane-fof2/www/", os.path.join(work, "www") + "/")
    blocks = [common.replace("/etc/norvane-fof2", os.path.join(work, "etc"))]
    for station in ("rome", "gibilmanna"):
        shutil.copytree(os.path.join(demo, "pictures"), os.path.join(stations, station, "pictures"))
        shutil.copytree(os.path.join(demo, "forecasts", "previous_foF2_plots"),
                        os.path.join(stations, station, "archive"))
        block = snippet.replace("/foF2/rome", f"/foF2/{station}")
        block = block.replace("/usr/share/norvane-fof2/www/", os.path.join(work, "www") + "/")
        block = block.replace("/etc/norvane-fof2/", os.path.join(work, "etc") + "/")
        block = block.replace("/srv/norvane/rome/pictures/",
                              os.path.join(stations, station, "pictures") + "/")
        block = block.replace("/srv/norvane/rome/forecasts/previous_foF2_plots/",
                              os.path.join(stations, station, "archive") + "/")
        blocks.append(block)
    write_record(stations, "gibilmanna", record, "Gibilmanna", 2)
    lay_out_decade(demo, program, stations, record)
    block = blocks[1].replace("/foF2/rome", "/foF2/decade")  # blocks[0]: the index
    blocks.append(block.replace(os.path.join(stations, "rome"), os.path.join(stations, "decade")))
    with open(os.path.join(work, "nginx.conf"), "w") as file:
        file.write(f"""daemon off;
master_process off;
pid {work}/nginx.pid;
error_log {work}/nginx-error.log;
events {{}}
http {{
    include /etc/nginx/mime.types;
    log_format requests '$uri $status $bytes_sent';
    access_log {work}/access.log requests;
    client_body_temp_path {work}/tmp;
    proxy_temp_path {work}/tmp;
    fastcgi_temp_path {work}/tmp;
    uwsgi_temp_path {work}/tmp;
    scgi_temp_path {work}/tmp;
    server {{
        listen 127.0.0.1:{port};
        # A rule many servers have, which must not take the page's files.
        location ~* \\.(gif|png|css|js)$ {{ expires 30d; }}
        {"".join(blocks)}
    }}
}}
""")
    os.makedirs(os.path.join(work, "tmp"), exist_ok=True)
    return record


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port):
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.1)
    raise AssertionError(f"nothing answers on port {port}")


def main(web, demo, program, work):
    work = os.path.abspath(work)
    os.makedirs(work, exist_ok=True)
    web_port, driver_port = free_port(), free_port()
    record = lay_out(os.path.abspath(web), os.path.abspath(demo), os.path.abspath(program), work,
                     web_port)
    log = os.path.join(work, "access.log")
    open(log, "w").close()
    nginx = subprocess.Popen(["nginx", "-c", os.path.join(work, "nginx.conf"), "-p", work],
                             start_new_session=True)
    driver_log_path = os.path.join(work, "chromedriver.log")
    driver_log = open(driver_log_path, "w")
    # In a session of its own, so that the browser it starts is ended with it; the browser
    # inherits its time zone.
    chromedriver = subprocess.Popen(["chromedriver", f"--port={driver_port}"], stdout=driver_log,
                                    stderr=subprocess.STDOUT, start_new_session=True,
                                    env=dict(os.environ, TZ=BROWSER_ZONE))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("browser test: stopped"))
    driver = WebDriver(f"http://127.0.0.1:{driver_port}")
    base = f"http://127.0.0.1:{web_port}/foF2/"
    passed, failed = 0, 0
    try:
        wait_for_port(web_port)
        wait_for_port(driver_port)
        profile = os.path.join(work, "profile")
        shutil.rmtree(profile, ignore_errors=True)
        driver.start(profile)
        checks = [check_first_view, check_captions_and_freshness, check_archive_browser,
                  check_without_javascript, check_station_index, check_second_station_and_phone,
                  check_quiet_and_failing, check_without_record, check_readout_and_files,
                  check_month_across_year]
        only = os.environ.get("PAGE_TEST_ONLY", "").split()
        for check in checks:
            name = check.__name__[len("check_"):]
            if only and name not in only:
                continue
            try:
                check(driver, base, record, log, os.path.join(work, "stations"))
                print(f"ok: {name}", flush=True)
                passed += 1
            except AssertionError as error:
                line = traceback.extract_tb(error.__traceback__)[-1].lineno
                print(f"FAILED: {name} (line {line}): {error!r}", flush=True)
                failed += 1
        driver.go(f"{base}rome/#{record['days'][4]['date']}")
        shown_archive(driver, datetime.date.fromisoformat(record["days"][4]["date"]))
        driver.wait_for("the six pictures", SETTLED, "#recent")
        driver.run("document.activeElement.blur()")
        driver.screenshot(os.path.join(work, "page.png"))
    finally:
        try:
            driver.quit()
        except (OSError, AssertionError):
            pass
        for process in (chromedriver, nginx):
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
        driver_log.close()
    if failed:
        print(f"browser test: chromedriver's log is {driver_log_path}")
    print(f"browser test: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
