// SPDX-License-Identifier: MIT
// A run draws the six days up to today, and a day's archive picture is final once the day has
// left them. After an outage longer than that (the machine off, the station's share gone), the
// archive pictures of the days missed would never be drawn. A backfill draws them: every day of
// a range gets the archive picture that a run would have written for it while it was among the
// last six, through the same steps, the same lock and the same archive rules as a run. The
// current pictures are left alone.
//
// A backfill may span years, and the scheduled runs go on meanwhile: it takes the run lock a
// day at a time, so that a run waits at most for one day's drawing, and it plans the listing of
// the measurement folder a stretch of days at a time, so that its memory does not grow with the
// range. A station whose file names carry a two-digit year tells apart only the days of the
// hundred years ending with today; a day before them is not drawn, since its files' names are
// those of a day a century later.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "driver/exit_status.h"
#include "state/run_summary.h"
#include "util/diagnostics.h"
#include "util/iso_date.h"

namespace norvane {

struct BackfillRequest {
  // As for a run: the folder that holds the settings file, and the local calendar date.
  std::string working_dir;
  std::chrono::year_month_day today;
  // The first and the last day drawn; from <= to <= today.
  std::chrono::year_month_day from;
  std::chrono::year_month_day to;
  // Failures and warnings (standard error in the program).
  MessageSink messages;
  // The closing summary line (standard output).
  MessageSink summary;
  // Progress, a line ending in a carriage return after each day, for a terminal; none when
  // empty.
  MessageSink progress;
  std::chrono::milliseconds lock_wait = std::chrono::seconds(60);
  Clock clock = system_clock_now;
  // Replace archive pictures and records with what the folder holds now alone, even where they
  // hold more measurements (archive/archive_rule.h).
  bool redraw = false;
  // As for a run: the metrics file written at the end, when given.
  std::optional<std::string> metrics_file{};
};

// Draws the archive pictures of the days from `from` to `to`; fails when any picture could not
// be written, the station's data could not be seen, or a day could not be drawn.
ExitStatus backfill(const BackfillRequest& request);

}  // namespace norvane
