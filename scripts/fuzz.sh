#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds the fuzz targets of fuzz/ with clang's libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs each for a bounded time, 60 seconds unless given:
#
#   scripts/fuzz.sh [seconds]
#
# Each target starts from a copy of its seed corpus in fuzz/corpus/<target>/, so that the
# repository's corpus does not grow. A crash, a leak, a sanitizer report, an input that takes
# longer than 10 s or a single allocation of more than 512 MB fails the script; the input that did it is kept in build/fuzz/runs/<target>/
# beside the target's log, and `build/fuzz/fuzz/fuzz_<target> INPUT` replays it.
set -eu
cd "$(dirname "$0")/.."

seconds="${1:-60}"
case "$seconds" in
  "" | *[!0-9]*)
    echo "usage: scripts/fuzz.sh [seconds]" >&2
    exit 2
    ;;
esac

scripts/install-deps.sh fuzz
cmake -S . -B build/fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" -DNORVANE_FUZZ=ON -DNORVANE_BUILD_TESTS=OFF \
  >/dev/null
cmake --build build/fuzz --parallel "$(nproc)" --target norvane_fuzz >/dev/null

# The targets' scratch files, in memory where the machine has a folder for it; removed at the
# end even when a target that crashed could not remove its own.
scratch=$(mktemp -d "${TMPDIR:-/dev/shm}/norvane_fuzz_run.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$scratch"' EXIT

failed=""
for target in settings forecast measurement bmp day archive; do
  work="build/fuzz/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  dictionary=""
  [ -f "fuzz/$target.dict" ] && dictionary="-dict=fuzz/$target.dict"
  status=0
  # shellcheck disable=SC2086
  TMPDIR="$scratch" ASAN_OPTIONS=detect_leaks=1 build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$work/" \
    $dictionary "$work/corpus" >"$work/log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log")
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$work/log" >&2
    echo "fuzz: $target FAILED (exit status $status); its log and input are in $work/" >&2
    failed="$failed $target"
  else
    echo "fuzz: $target: ${runs:-?} inputs run in ${seconds} s (${speed:-?} a second), nothing found"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzz: findings in:$failed" >&2
  exit 1
fi
