#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the foF2 web page in headless Chromium, driven through chromedriver (W3C WebDriver).

Serves, with nginx on 127.0.0.1, two stations from one copy of the page through the snippet
web/nginx.conf itself (its paths pointed into the work folder), beside a server-wide rule for
*.gif and *.js that must not capture them: "rome", the demo folder's pictures and archive as the
program wrote them, and "gibilmanna", the same with a run record two hours old. The program ran
in the demo's time zone (Europe/Rome); the browser runs in America/Los_Angeles. Leaves a
screenshot, page.png, in the work folder.

    page_test.py WEB_FOLDER DEMO_FOLDER PROGRAM WORK_FOLDER
"""

import base64
import datetime
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import time
import urllib.error
import urllib.request

from axe import assert_accessible

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


def check_captions_and_freshness(driver, base, record, log):
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


def check_archive_browser(driver, base, record, log):
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
    # An address that names no day, or one after the archive, gives way to the day shown.
    driver.go(f"{base}rome/#not-a-date")
    shown_archive(driver, days[5])
    driver.go(f"{base}rome/#{(days[5] + datetime.timedelta(days=400)).isoformat()}")
    shown_archive(driver, days[5])
    assert driver.run("return document.getElementById('next-day').disabled")


def check_without_javascript(driver, base, record, log):
    driver.cdp("Emulation.setScriptExecutionDisabled", {"value": True})
    driver.cdp("Network.enable")
    driver.cdp("Network.setCacheDisabled", {"cacheDisabled": True})  # ask for every picture
    try:
        start = len(open(log).read().splitlines())
        driver.go(base + "rome/")
        time.sleep(1)
        root = driver.cdp("DOM.getDocument", {"depth": -1})["root"]["nodeId"]
        html = driver.cdp("DOM.getOuterHTML", {"nodeId": root})["outerHTML"]
    finally:
        driver.cdp("Network.setCacheDisabled", {"cacheDisabled": False})
        driver.cdp("Emulation.setScriptExecutionDisabled", {"value": False})
    requested = [line.split() for line in open(log).read().splitlines()[start:]]
    for slot in range(1, 7):
        assert [f"/foF2/rome/pictures/plotfoF2{slot}.gif", "200"] in requested, requested
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
    write_record(stations, "gibilmanna", record, "Gibilmanna", 0)
    driver.run("refresh()")
    driver.wait_for("the note to go", "return document.getElementById('stale').hidden")
    assert driver.run("return document.title") == "foF2: Gibilmanna"
    # On a phone, today's picture comes first, as wide as the column and no wider than twice.
    driver.window(390, 844)
    try:
        driver.go(base + "rome/")
        figures = driver.wait_for("the six pictures", SETTLED, "#recent")
        tops = [f["top"] for f in figures]
        assert tops[5] < tops[4] < tops[3] < tops[2] < tops[1] < tops[0], tops
        assert 286 < figures[5]["width"] <= 572 and tops[5] < 844, figures[5]
    finally:
        driver.window(980, 1380)


def check_station_index(driver, base, record, log):
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
    for item in shown:
        assert f"Latest: {newest['value_mhz']:.1f} MHz at {newest['time']} UT" in item["text"], item
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
    with open(os.path.join(work, "nginx.conf"), "w") as file:
        file.write(f"""daemon off;
master_process off;
pid {work}/nginx.pid;
error_log {work}/nginx-error.log;
events {{}}
http {{
    include /etc/nginx/mime.types;
    log_format requests '$uri $status';
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
        checks = [check_captions_and_freshness, check_archive_browser, check_without_javascript,
                  check_station_index,
                  lambda *a: check_second_station_and_phone(*a, os.path.join(work, "stations"))]
        names = ["captions_and_freshness", "archive_browser", "without_javascript",
                 "station_index", "second_station_and_phone"]
        for check, name in zip(checks, names):
            try:
                check(driver, base, record, log)
                print(f"ok: {name}", flush=True)
                passed += 1
            except AssertionError as error:
                print(f"FAILED: {name}: {error!r}", flush=True)
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
