#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks the web page in Debian's headless Chromium against the demo's pictures, served by nginx
# through the page's own snippet on 127.0.0.1: installs what it needs, runs the demo (which builds
# the program), then the test.
# Its screenshot of the page is left in build/browser-test/page.png. Runs in CI (.ci/run);
# scripts/test.sh does not run it.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh browser
# One time zone for the demo's "today" and the browser's, one with daylight-saving changes.
export TZ="${TZ:-Europe/Rome}"
scripts/demo.sh >/dev/null
python3 tests/web/page_test.py web demo build/release/src/norvane_foF2 build/browser-test
