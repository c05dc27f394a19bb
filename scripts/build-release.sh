#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the release configuration, without the tests, in build/release: the one build that the
# demo, the browser test and the package check use, so that CI builds it once.
set -eu
cd "$(dirname "$0")/.."

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DNORVANE_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)" >/dev/null
