#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the program, fills the demo working folder demo/ with a forecast and a station's
# measurements for the last six days, and runs the program there once, as a scheduler would.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build-release.sh

build/release/tools/norvane_make_demo_data demo

status=0
(cd demo && ../build/release/src/norvane_foF2) || status=$?
echo "demo: the run ended with exit status $status"
echo "demo: current pictures in $(pwd)/demo/pictures/:"
ls demo/pictures
echo "demo: archive pictures in $(pwd)/demo/forecasts/previous_foF2_plots/:"
ls demo/forecasts/previous_foF2_plots
exit "$status"
