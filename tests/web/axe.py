# SPDX-License-Identifier: MIT
"""Runs the axe-core accessibility checks in the page a WebDriver session shows.

axe-core comes from npm (tests/web/package.json, installed into tests/web/node_modules by
scripts/install-deps.sh browser). Its script is handed to the browser through WebDriver, which
runs it outside the page's Content-Security-Policy, so the page needs no exception for it.
"""

import os

AXE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "node_modules", "axe-core",
                   "axe.min.js")

# axe.run answers through a promise: the asynchronous script hands its result to WebDriver's
# callback, the last argument. Only the violations are wanted, with the elements they concern.
RUN = """
const done = arguments[arguments.length - 1];
axe.run(document, {resultTypes: ['violations']}).then(
    result => done({violations: result.violations.map(v => ({
        id: v.id, impact: v.impact, help: v.help,
        targets: v.nodes.map(n => n.target.join(' '))}))}),
    error => done({error: String(error)}));
"""


def assert_accessible(driver, state):
    """Raises AssertionError naming each axe-core violation in the page as it is now (state)."""
    if not driver.run("return typeof window.axe === 'object'"):
        with open(AXE, encoding="utf-8") as file:
            driver.run(file.read())
    result = driver.call("POST", driver.session + "/execute/async",
                         {"script": RUN, "args": []})
    if "error" in result:
        raise AssertionError(f"axe-core in {state}: {result['error']}")
    if result["violations"]:
        lines = [f"{v['id']} ({v['impact']}: {v['help']}) at {', '.join(v['targets'])}"
                 for v in result["violations"]]
        raise AssertionError(f"axe-core in {state}: " + "; ".join(lines))
