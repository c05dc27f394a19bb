// SPDX-License-Identifier: MIT
// A run and a backfill of past days do their work alike: they read the settings, take the run
// lock, clear what a killed run left, size the surface, and then draw and export each day the
// same way, from the frame to the pictures. A session holds what that work shares, so that
// both go through one path and a backfilled day's archive picture is the very picture a run
// writes for that day. It also keeps the summary of what was drawn and written, which the run
// hands to the files that pages, scripts and monitoring read.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "export/image_converter.h"
#include "observations/measurement_listing.h"
#include "state/plot_state.h"
#include "state/run_summary.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"
#include "util/run_lock.h"

namespace norvane {

class RunSession {
 public:
  RunSession(MessageSink messages, Clock clock);

  // Reads the settings of `working_dir`, takes the run lock (waiting at most `lock_wait`),
  // removes the temporary files that a killed run of this station left, and sizes the surface.
  // Returns false, with the cause reported, when nothing may be written.
  bool prepare(const std::string& working_dir, std::chrono::milliseconds lock_wait);

  // Lets other runs have the lock, and takes it back in turn (waiting at most the wait of
  // prepare); retake_lock returns false, with the cause reported, when it could not. A backfill
  // holds the lock a day at a time, so that the scheduled runs go on meanwhile: a run that
  // started during a day waits for that day only.
  void release_lock();
  bool retake_lock();

  // Makes the six days up to `last_day` the table of days; `today` tells which of them, if
  // any, is today.
  void use_days(std::chrono::year_month_day last_day, std::chrono::year_month_day today);

  // Looks at the measurement folder for the days of the table before any is drawn: when it
  // tells a station but holds none of that station's files for any of them (a stray file
  // named another station), the run fails, and no day's data is taken as seen.
  void look_for_station_files();

  // Draws the day at `day_index` of the table and exports its pictures. A day that fails in an
  // unforeseen way costs that day only.
  void draw_day(int day_index);

  // Reports what is reported once for the whole session, and completes the summary.
  void finish();

  PlotState& state() { return state_; }
  MeasurementListing& measurements() { return measurements_; }
  Diagnostics& diagnostics() { return diagnostics_; }
  bool failed() const { return diagnostics_.failed(); }

  // What was drawn and written.
  const RunSummary& summary() const { return summary_; }
  // The summaries of the days drawn since the last call, which leaves only the totals in the
  // summary: a backfill hands its days on a few at a time.
  std::vector<DaySummary> take_days() { return std::exchange(summary_.days, {}); }

 private:
  bool take_lock();
  void add_to_summary(int day_index);

  Diagnostics diagnostics_;
  Clock clock_;
  PlotState state_;
  DrawingSurface surface_;
  ImageConverter converter_;
  MeasurementListing measurements_;
  std::optional<RunLock> lock_;
  std::chrono::milliseconds lock_wait_{0};
  std::chrono::year_month_day last_day_{};
  RunSummary summary_;
};

}  // namespace norvane
