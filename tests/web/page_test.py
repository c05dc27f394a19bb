#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Checks the foF2 web page in headless Chromium, driven through chromedriver (W3C WebDriver).

Serves, on 127.0.0.1, a folder laid out as web/nginx.conf publishes it: the page in /foF2/, the
current pictures in /foF2/pictures/ and the archive pictures in /foF2/archive/, copied from a
demo folder that scripts/demo.sh has filled. Leaves a screenshot, page.png, in the work folder.

    page_test.py WEB_FOLDER DEMO_FOLDER WORK_FOLDER
"""

import base64
import datetime
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import urllib.error
import urllib.request
import zoneinfo

ELEMENT = "element-6066-11e4-a52e-4f735466cecf"


class Handler(http.server.SimpleHTTPRequestHandler):
    """Serves files quietly and notes each request's path (without its query) and status."""

    requests = []

    def log_request(self, code="-", size="-"):
        Handler.requests.append((self.path.split("?")[0], int(code)))

    def log_message(self, format, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], ConnectionError):  # a browser that went away
            super().handle_error(request, client_address)


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
                "--disable-dev-shm-usage", "--window-size=980,1380",
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

    def run(self, script, *args):
        return self.call("POST", self.session + "/execute/sync",
                         {"script": script, "args": list(args)})

    def click(self, css):
        element = self.call("POST", self.session + "/element",
                            {"using": "css selector", "value": css})[ELEMENT]
        self.call("POST", f"{self.session}/element/{element}/click", {})

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
        raise AssertionError(f"timed out waiting for {what}")


# The figures in a container: state, date, picture source, picture's natural size, and whether
# the "no picture" message shows.
FIGURES = """
const figures = [...document.querySelectorAll(arguments[0] + ' figure')].map(f => {
  const img = f.querySelector('img');
  const message = getComputedStyle(f.querySelector('.missing')).display !== 'none';
  return {state: f.dataset.state, date: f.querySelector('time').dateTime, src: img.src,
          size: [img.naturalWidth, img.naturalHeight], message: message};
});
"""
SETTLED = FIGURES + "return figures.every(f => f.state !== 'loading') && figures;"
ARCHIVE_ON = FIGURES + "return figures[0].date === arguments[1] && figures[0].state !== 'loading';"


def archive_name(day):
    return f"{day.year:04}{day.timetuple().tm_yday:03}.gif"


def choose(driver, iso):
    """Picks a day in the archive's date field, as its date picker does."""
    driver.run("const input = document.getElementById('archive-day');"
               "input.value = arguments[0];"
               "input.dispatchEvent(new Event('change', {bubbles: true}));", iso)


def shown_archive(driver, day):
    """Waits until the archive view has settled on day, and returns its figure."""
    driver.wait_for(f"the archive view of {day}", ARCHIVE_ON, "#archive", day.isoformat())
    return driver.run(FIGURES + "return figures;", "#archive")[0]


def check_current_pictures(driver, page, days, pictures):
    driver.go(page)
    figures = driver.wait_for("the six pictures", SETTLED, "#recent")
    assert len(figures) == 6, figures
    for slot, (figure, day) in enumerate(zip(figures, days), start=1):
        assert figure["state"] == "shown" and not figure["message"], figure
        assert f"/foF2/pictures/plotfoF2{slot}.gif?t=" in figure["src"], figure
        assert figure["size"] == [286, 231], figure
        assert figure["date"] == day.isoformat(), (figure, day)
    requested = {path for path, code in Handler.requests if code == 200}
    assert {f"/foF2/pictures/plotfoF2{slot}.gif" for slot in range(1, 7)} <= requested


def check_archive_pictures(driver, page, days, pictures):
    driver.go(page)
    # Two days: one picked in the date field, the one before it with the "previous day" button.
    for day, pick in ((days[3], lambda: choose(driver, days[3].isoformat())),
                      (days[2], lambda: driver.click("#previous-day"))):
        pick()
        figure = shown_archive(driver, day)
        assert figure["state"] == "shown" and not figure["message"], figure
        assert f"/foF2/archive/{archive_name(day)}?t=" in figure["src"], figure
        assert figure["size"] == [286, 231], figure
        assert (f"/foF2/archive/{archive_name(day)}", 200) in Handler.requests


def check_day_without_picture(driver, page, days, pictures):
    driver.go(page)
    missing = days[0] - datetime.timedelta(days=1)
    choose(driver, missing.isoformat())
    figure = shown_archive(driver, missing)
    assert figure["state"] == "missing" and figure["message"] and not figure["src"], figure
    assert (f"/foF2/archive/{archive_name(missing)}", 404) in Handler.requests
    text = driver.run("return document.querySelector('#archive .missing').innerText")
    assert text == "No picture for this day", text


def check_day_steps(driver, page, days, pictures):
    # Across a leap day, a new year and both daylight-saving changes of Europe/Rome (the test
    # runs in that zone), a step lands on the next calendar day and asks for its picture.
    driver.go(page)
    steps = [("2024-03-01", "2024061", "#previous-day", "2024-02-29", "2024060"),
             ("2024-12-31", "2024366", "#next-day", "2025-01-01", "2025001"),
             ("2026-03-30", "2026089", "#previous-day", "2026-03-29", "2026088"),
             ("2026-10-25", "2026298", "#next-day", "2026-10-26", "2026299")]
    for start, start_name, button, end, end_name in steps:
        choose(driver, start)
        shown_archive(driver, datetime.date.fromisoformat(start))
        driver.click(button)
        shown_archive(driver, datetime.date.fromisoformat(end))
        assert driver.run("return location.hash") == f"#{end}"
        requested = {path for path, code in Handler.requests}
        for name in (start_name, end_name):
            assert f"/foF2/archive/{name}.gif" in requested, (start, end, name)


def check_refresh(driver, page, days, pictures):
    # A reload swaps each picture in once it has loaded, so no picture leaves the page; one that
    # has gone from the server (slot 6 here) stays as it was.
    driver.go(page)
    before = driver.wait_for("the six pictures", SETTLED, "#recent")
    os.rename(os.path.join(pictures, "plotfoF26.gif"), os.path.join(pictures, "gone.gif"))
    try:
        during = driver.run("refresh();" + FIGURES + "return figures;", "#recent")
        assert during == before, during
        driver.wait_for("the reloads", "const shown = [...document.querySelectorAll('img')]" +
                        ".map(i => i.src); return arguments[0].every(s => !shown.includes(s))",
                        [f["src"] for f in before[:5]])
        for _ in range(100):
            if ("/foF2/pictures/plotfoF26.gif", 404) in Handler.requests:
                break
            time.sleep(0.1)
        time.sleep(0.2)
    finally:
        os.rename(os.path.join(pictures, "gone.gif"), os.path.join(pictures, "plotfoF26.gif"))
    after = driver.run(FIGURES + "return figures;", "#recent")
    assert ("/foF2/pictures/plotfoF26.gif", 404) in Handler.requests
    assert all(f["state"] == "shown" and f["size"] == [286, 231] for f in after), after
    assert after[5] == before[5], after[5]


def check_station_time_zone(driver, page, days, pictures):
    # A station in the time zone furthest ahead dates its pictures by its own calendar.
    zone = "Pacific/Kiritimati"
    driver.go(page.replace("index.html", "kiritimati.html"))
    figures = driver.wait_for("the six pictures", SETTLED, "#recent")
    assert figures[5]["date"] == datetime.datetime.now(zoneinfo.ZoneInfo(zone)).date().isoformat()


def take_screenshot(driver, page, days, path):
    driver.go(page)
    choose(driver, days[4].isoformat())
    shown_archive(driver, days[4])
    driver.wait_for("the six pictures", SETTLED, "#recent")
    driver.run("document.activeElement.blur()")
    driver.screenshot(path)


def lay_out(web, demo, root):
    """Copies the page and the demo's pictures into a folder laid out as the snippets serve it,
    plus a copy of the page set to a station time zone. Returns the six days, oldest first."""
    shutil.rmtree(root, ignore_errors=True)
    shutil.copytree(web, os.path.join(root, "foF2"))
    shutil.copytree(os.path.join(demo, "pictures"), os.path.join(root, "foF2", "pictures"))
    archive = os.path.join(demo, "forecasts", "previous_foF2_plots")
    names = sorted(n for n in os.listdir(archive) if n.endswith(".gif"))[-6:]
    os.mkdir(os.path.join(root, "foF2", "archive"))
    for name in names:
        shutil.copy(os.path.join(archive, name), os.path.join(root, "foF2", "archive"))
    with open(os.path.join(web, "index.html")) as file:
        page = file.read().replace('name="fof2-time-zone" content=""',
                                   'name="fof2-time-zone" content="Pacific/Kiritimati"')
    with open(os.path.join(root, "foF2", "kiritimati.html"), "w") as file:
        file.write(page)
    # The newest archive picture is the program's today.
    newest = datetime.datetime.strptime(names[-1], "%Y%j.gif").date()
    return [newest - datetime.timedelta(days=5 - slot) for slot in range(6)]


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def main(web, demo, work):
    work = os.path.abspath(work)
    os.makedirs(work, exist_ok=True)
    days = lay_out(web, demo, os.path.join(work, "root"))
    server = Server(
        ("127.0.0.1", 0), functools.partial(Handler, directory=os.path.join(work, "root")))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    page = f"http://127.0.0.1:{server.server_address[1]}/foF2/index.html"

    port = free_port()
    log_path = os.path.join(work, "chromedriver.log")
    log = open(log_path, "w")
    # In a session of its own, so that the browser it starts is ended with it.
    chromedriver = subprocess.Popen(["chromedriver", f"--port={port}"], stdout=log,
                                    stderr=subprocess.STDOUT, start_new_session=True)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("browser test: stopped"))
    driver = WebDriver(f"http://127.0.0.1:{port}")
    passed, failed = 0, 0
    try:
        for _ in range(100):
            try:
                if driver.call("GET", "/status")["ready"]:
                    break
            except (OSError, AssertionError):
                pass
            time.sleep(0.1)
        profile = os.path.join(work, "profile")
        shutil.rmtree(profile, ignore_errors=True)
        driver.start(profile)
        checks = [check_current_pictures, check_archive_pictures, check_day_without_picture,
                  check_day_steps, check_refresh, check_station_time_zone]
        for check in checks:
            try:
                check(driver, page, days, os.path.join(work, "root", "foF2", "pictures"))
                print(f"ok: {check.__name__}", flush=True)
                passed += 1
            except AssertionError as error:
                print(f"FAILED: {check.__name__}: {error!r}", flush=True)
                failed += 1
        take_screenshot(driver, page, days, os.path.join(work, "page.png"))
    finally:
        try:
            driver.quit()
        except (OSError, AssertionError):
            pass
        os.killpg(chromedriver.pid, signal.SIGKILL)
        chromedriver.wait()
        log.close()
        server.shutdown()
    if failed:
        print(f"browser test: chromedriver's log is {log_path}")
    print(f"browser test: {passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
