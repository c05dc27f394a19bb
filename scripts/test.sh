#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the program and its tests with AddressSanitizer and UndefinedBehaviorSanitizer and runs
# every test. The tests run in a time zone far from UTC, given as a POSIX rule that needs no
# time-zone database, so that a test relying on the clock's zone shows itself.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DNORVANE_SANITIZE=ON -DNORVANE_WERROR=ON \
  >/dev/null
cmake --build build/asan --parallel "$(nproc)"
TZ="${TZ:-NZST-12NZDT,M9.5.0,M4.1.0/3}" ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir build/asan --output-on-failure --parallel "$(nproc)"
