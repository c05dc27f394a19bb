#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts runs of norvane_foF2 that meet on one working folder, as an overloaded scheduler or a
# stalled share makes them meet, and checks that every run succeeds quietly and every picture is
# the one a run alone writes:
#
#   bench/overlap_stress.sh <path to norvane_foF2> [rounds]
#
# - crowd: 8 runs started at once, `rounds` times (default 100);
# - midnight: pairs of runs started at once whose "today" differ by a day (one run in a time zone
#   13 hours ahead of universal time, one 11 hours behind), `rounds` times. Every archive picture
#   must hold the figure of its own day, whichever run of a pair wrote it last.
#
# Needs tools/norvane_make_demo_data beside the program's build folder (build/<preset>/tools/).
set -eu
program=$(realpath "$1")
rounds=${2:-100}
make_data=$(dirname "$program")/../tools/norvane_make_demo_data
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "overlap_stress: $*" >&2
  exit 1
}

# A fresh working folder with the demo station's data.
fresh() {
  rm -rf "$1"
  "$make_data" "$1" >/dev/null
}

# Runs `count` runs at once in folder $1 with the time zones given after it (one a run, cycled);
# every run must exit 0 and print nothing.
run_at_once() {
  folder=$1
  count=$2
  shift 2
  i=0
  pids=""
  while [ "$i" -lt "$count" ]; do
    zone=$1
    shift
    set -- "$@" "$zone"
    (cd "$folder" && TZ=$zone "$program" >"$scratch/out$i" 2>&1) &
    pids="$pids $!"
    i=$((i + 1))
  done
  i=0
  for pid in $pids; do
    wait "$pid" || fail "a run exited with status $? in $folder: $(cat "$scratch/out$i")"
    [ -s "$scratch/out$i" ] && fail "a run printed: $(cat "$scratch/out$i")"
    i=$((i + 1))
  done
  return 0
}

# Whether every picture of folder $1 equals that of folder $2 (current pictures too, when $3
# is "all").
same_pictures() {
  for reference in "$2"/forecasts/previous_foF2_plots/*.gif; do
    cmp -s "$reference" "$1/forecasts/previous_foF2_plots/$(basename "$reference")" ||
      fail "archive picture $(basename "$reference") differs from a lone run's"
  done
  [ "$3" = all ] || return 0
  for reference in "$2"/pictures/*.gif; do
    cmp -s "$reference" "$1/pictures/$(basename "$reference")" ||
      fail "current picture $(basename "$reference") differs from a lone run's"
  done
}

leftovers() {
  find "$1" -name '.norvane_foF2.tmp' -o -name '*.bmp' | head -n 1
}

ahead=XXX-13
behind=YYY+11

echo "crowd: 8 runs at once, $rounds rounds"
fresh "$scratch/reference"
run_at_once "$scratch/reference" 1 UTC
fresh "$scratch/crowd"
round=0
while [ "$round" -lt "$rounds" ]; do
  run_at_once "$scratch/crowd" 8 UTC
  same_pictures "$scratch/crowd" "$scratch/reference" all
  [ -z "$(leftovers "$scratch/crowd")" ] || fail "left behind: $(leftovers "$scratch/crowd")"
  round=$((round + 1))
done
echo "crowd: $((rounds * 8)) runs, all exited 0 quietly; every picture equals a lone run's"

echo "midnight: pairs of runs a day apart, $rounds rounds"
fresh "$scratch/reference"
run_at_once "$scratch/reference" 1 "$ahead"
run_at_once "$scratch/reference" 1 "$behind"
fresh "$scratch/midnight"
round=0
while [ "$round" -lt "$rounds" ]; do
  run_at_once "$scratch/midnight" 2 "$ahead" "$behind"
  same_pictures "$scratch/midnight" "$scratch/reference" archive
  round=$((round + 1))
done
echo "midnight: $((rounds * 2)) runs, all exited 0 quietly;" \
  "every archive picture holds its own day's figure"
