#!/bin/sh
# Builds the program and runs it once in the demo working folder demo/, as a scheduler would.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DNORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)" >/dev/null

status=0
(cd demo && ../build/release/src/norvane_foF2) || status=$?
echo "demo: the run ended with exit status $status"
echo "demo: current pictures in $(pwd)/demo/pictures/:"
ls demo/pictures
echo "demo: archive pictures in $(pwd)/demo/forecasts/previous_foF2_plots/:"
ls demo/forecasts/previous_foF2_plots
exit "$status"
