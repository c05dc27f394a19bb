#!/bin/sh
# SPDX-License-Identifier: MIT
# Starts runs of norvane_foF2 that meet on one working folder, as an overloaded scheduler or a
# stalled share makes them meet, and checks that every run succeeds quietly and every picture is
# the one a run alone writes:
#
#   bench/overlap_stress.sh <path to norvane_foF2> [rounds [scenario ...]]
#
# runs these scenarios, or only those named:
# - crowd: 8 runs started at once, `rounds` times (default 100);
# - midnight: pairs of runs started at once whose "today" differ by a day (one run in a time zone
#   13 hours ahead of universal time, one 11 hours behind), `rounds` times. Every archive picture
#   must hold the figure of its own day, whichever run of a pair wrote it last.
# - users (as root only): a backfill of the six days and two runs as root, started at once with
#   three runs as the user nobody, `rounds` times: all must wait for one another on the one
#   lock, and every picture must equal a lone run's.
# - stations: two stations whose settings name one picture folder, four runs of each started at
#   once, `rounds` times: every current picture must be whole and one of the two stations'
#   figures of its own slot.
# - turns: `rounds` runs started one after another at random moments of long backfills (55
#   years of days each). The lock calls of the backfill and of each run are traced (strace -ttt),
#   which gives how long each run waited for the lock and when the backfill's day in progress at
#   the run's start ended: every run must have the lock within 0.1 s of the end of that day.
#   Prints the longest wait, the longest time past the day, and the longest day.
#
# Needs tools/norvane_make_demo_data beside the program's build folder (build/<preset>/tools/),
# and strace for the turns.
set -eu
program=$(realpath "$1")
rounds=${2:-100}
shift $(($# < 2 ? $# : 2))
scenarios=${*:-crowd midnight users stations turns}
make_data=$(dirname "$program")/../tools/norvane_make_demo_data
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

backfill=""
fail() {
  echo "overlap_stress: $*" >&2
  # A backfill still going would write into the folder being removed.
  [ -z "$backfill" ] || wait "$backfill" || true
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
  find "$1" -name '.norvane_foF2.*.tmp' -o -name '*.bmp' | head -n 1
}

# Whether the scenario $1 is to be run.
wanted() {
  case " $scenarios " in *" $1 "*) return 0 ;; *) return 1 ;; esac
}

ahead=XXX-13
behind=YYY+11

if wanted crowd; then
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
fi

if wanted midnight; then
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
fi

if wanted users && [ "$(id -u)" -eq 0 ]; then
  echo "users: a backfill and 2 runs as root with 3 runs as nobody at once, $rounds rounds"
  fresh "$scratch/reference"
  run_at_once "$scratch/reference" 1 UTC
  fresh "$scratch/users"
  chmod -R a+rwX "$scratch/users"
  chmod a+x "$scratch"
  first=$(date -u -d '5 days ago' +%F)
  last=$(date -u +%F)
  round=0
  while [ "$round" -lt "$rounds" ]; do
    pids=""
    (cd "$scratch/users" && TZ=UTC "$program" --backfill "$first" "$last" >/dev/null \
      2>"$scratch/backfill_err") &
    pids="$pids $!"
    for i in 1 2 3 4 5; do
      if [ "$i" -le 2 ]; then as=""; else as="setpriv --reuid=65534 --regid=65534 --clear-groups"; fi
      (cd "$scratch/users" && TZ=UTC $as "$program" >"$scratch/out$i" 2>&1) &
      pids="$pids $!"
    done
    for pid in $pids; do wait "$pid" || fail "a run or the backfill exited with status $?"; done
    for i in 1 2 3 4 5; do
      [ -s "$scratch/out$i" ] && fail "a run printed: $(cat "$scratch/out$i")"
    done
    [ -s "$scratch/backfill_err" ] && fail "the backfill printed: $(cat "$scratch/backfill_err")"
    same_pictures "$scratch/users" "$scratch/reference" all
    [ -z "$(leftovers "$scratch/users")" ] || fail "left behind: $(leftovers "$scratch/users")"
    round=$((round + 1))
  done
  echo "users: $((rounds * 5)) runs (2 of 5 as root) and $rounds backfills, all exited 0" \
    "quietly; every picture equals a lone run's"
fi

if wanted stations; then
  echo "stations: 2 stations sharing a picture folder, 4 runs of each at once, $rounds rounds"
  fresh "$scratch/first"
  fresh "$scratch/second"
  # The second station lost its measurements of 10:00 to 19:59 UT, so its figures differ.
  find "$scratch/second/measurements" -name 'RM041_???????1*' -delete
  for station in first second; do
    run_at_once "$scratch/$station" 1 UTC
    cp -r "$scratch/$station/pictures" "$scratch/$station.pictures"
    mkdir -p "$scratch/shared"
    sed -i "6s|.*|$scratch/shared/|" "$scratch/$station/norvane_foF2.ini"
  done
  round=0
  mismatches=0
  while [ "$round" -lt "$rounds" ]; do
    pids=""
    for i in 1 2 3 4 5 6 7 8; do
      if [ $((i % 2)) -eq 0 ]; then station=first; else station=second; fi
      (cd "$scratch/$station" && TZ=UTC "$program" >"$scratch/out$i" 2>&1) &
      pids="$pids $!"
    done
    for pid in $pids; do wait "$pid" || fail "a run exited with status $?"; done
    for i in 1 2 3 4 5 6 7 8; do
      [ -s "$scratch/out$i" ] && fail "a run printed: $(cat "$scratch/out$i")"
    done
    for slot in 1 2 3 4 5 6; do
      picture="$scratch/shared/plotfoF2$slot.gif"
      if ! cmp -s "$picture" "$scratch/first.pictures/plotfoF2$slot.gif" &&
        ! cmp -s "$picture" "$scratch/second.pictures/plotfoF2$slot.gif"; then
        mismatches=$((mismatches + 1))
      fi
    done
    [ -z "$(leftovers "$scratch/shared")" ] || fail "left behind: $(leftovers "$scratch/shared")"
    round=$((round + 1))
  done
  [ "$mismatches" -eq 0 ] || fail "$mismatches current pictures were neither station's figure"
  echo "stations: $((rounds * 8)) runs, all exited 0 quietly; every current picture was one of" \
    "the two stations' figures of its slot (0 mismatches)"
fi

# Reads the lock calls traced by `strace -ttt -e trace=fcntl` of a backfill ($1) and of runs
# (the files after it), and prints for each run how long it waited for the lock and how long
# past the end of the backfill's day in progress when it began to wait (its wait itself when no
# day was in progress). The lock is the record lock on byte 0 of the lock file, the turn the one
# on byte 1.
lock_waits() {
  awk '
    FNR == 1 { file++ }
    # The backfill holds the lock of its last day until it ends.
    file == 1 && /exited with/ && (days in taken) { freed[days++] = $1 }
    !/l_start=[01],/ { next }
    file == 1 {
      if ($0 ~ /l_start=0,/ && $0 ~ /F_WRLCK/ && $0 ~ / = 0$/) taken[days] = $1
      if ($0 ~ /l_start=0,/ && $0 ~ /F_UNLCK/ && (days in taken)) freed[days++] = $1
      next
    }
    {
      if (!(file in asked) && $0 ~ /l_start=1,/ && $0 ~ /F_WRLCK/) asked[file] = $1
      if ($0 ~ /l_start=0,/ && $0 ~ /F_WRLCK/ && $0 ~ / = 0$/ && !(file in had)) had[file] = $1
    }
    END {
      for (run = 2; run <= file; run++) {
        if (!(run in asked) || !(run in had)) { print "untraced"; continue }
        day_end = asked[run]
        for (day = 0; day < days; day++)
          if (taken[day] <= asked[run] && asked[run] < freed[day]) day_end = freed[day]
        past = had[run] - day_end
        printf "%.6f %.6f\n", had[run] - asked[run], past < 0 ? 0 : past
      }
    }' "$@"
}

if wanted turns && ! command -v strace >/dev/null; then
  echo "turns: skipped, strace is not installed"
elif wanted turns; then
  echo "turns: $rounds runs started at random moments of long backfills"
  fresh "$scratch/turns"
  first=$(date -u -d '20000 days ago' +%F)
  last=$(date -u +%F)
  tried=0
  : >"$scratch/waits"
  while [ "$tried" -lt "$rounds" ]; do
    rm -f "$scratch"/run*.trace
    (cd "$scratch/turns" && TZ=UTC strace -ttt -e trace=fcntl -o "$scratch/backfill.trace" \
      "$program" --backfill "$first" "$last" >/dev/null 2>&1) &
    backfill=$!
    sleep 0.5
    started=0
    while kill -0 "$backfill" 2>/dev/null && [ "$tried" -lt "$rounds" ]; do
      trace=$scratch/run$(printf %03d "$tried").trace
      (cd "$scratch/turns" && TZ=UTC strace -ttt -e trace=fcntl -o "$trace" "$program" \
        >"$scratch/out" 2>&1) || fail "a run during the backfill failed: $(cat "$scratch/out")"
      tried=$((tried + 1))
      started=$((started + 1))
      sleep "$(awk 'BEGIN { srand(); printf "%.3f", 0.02 + rand() * 0.2 }')"
    done
    wait "$backfill" || true
    backfill=""
    [ "$started" -eq 0 ] || lock_waits "$scratch/backfill.trace" "$scratch"/run*.trace \
      >>"$scratch/waits"
  done
  grep -q untraced "$scratch/waits" && fail "a run's lock calls were not traced"
  longest_day=$(awk '/l_start=0,/ && /F_WRLCK/ && / = 0$/ { t = $1 }
    /l_start=0,/ && /F_UNLCK/ && t { d = $1 - t; if (d > m) m = d; t = 0 }
    END { printf "%.3f", m }' "$scratch/backfill.trace")
  awk -v day="$longest_day" -v runs="$tried" '
    { if ($1 > wait) wait = $1; if ($2 > past) past = $2 }
    END {
      printf "turns: %d runs during backfills: the longest waited %.3f s for the lock, at most " \
        "%.3f s past the end of the day being drawn (limit 0.1 s); the longest day of the last " \
        "backfill held the lock %.3f s\n", runs, wait, past, day
      exit past > 0.1
    }' "$scratch/waits" || fail "a run waited more than 0.1 s past the day being drawn"
fi
