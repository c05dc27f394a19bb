#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks the alert rules that come with the program (packaging/examples/prometheus/) with
# Prometheus' own tool: promtool check rules reads them as Prometheus would, promtool test rules
# runs their cases (tests/monitoring/), and every alert of the rules must have a case in which
# it fires and one in which it stays quiet ("exp_alerts: []").
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh monitoring

rules=$(ls packaging/examples/prometheus/*.rules.yml)
tests=$(ls tests/monitoring/*.test.yml)
# shellcheck disable=SC2086
promtool check rules $rules
# shellcheck disable=SC2086
promtool test rules $tests

# shellcheck disable=SC2086
alerts=$(sed -n 's/^[[:space:]]*- alert:[[:space:]]*\([A-Za-z0-9_]*\).*/\1/p' $rules)
# shellcheck disable=SC2086
cases=$(awk '
  /^[[:space:]]*alertname:/ { alert = $2 }
  /^[[:space:]]*exp_alerts:[[:space:]]*\[\][[:space:]]*$/ { print alert, "quiet"; next }
  /^[[:space:]]*exp_alerts:[[:space:]]*$/ { print alert, "fires" }
' $tests)
missing=""
for alert in $alerts; do
  for kind in fires quiet; do
    echo "$cases" | grep -qx "$alert $kind" || missing="$missing $alert($kind)"
  done
done
if [ -n "$missing" ]; then
  echo "alert-rules-test: no case in tests/monitoring/ for:$missing" >&2
  exit 1
fi
echo "alert-rules-test: $(echo "$alerts" | wc -w) alerts, each made to fire and to stay quiet"
