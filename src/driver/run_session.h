// SPDX-License-Identifier: MIT
// A run and a backfill of past days do their work alike: they read the settings, take the run
// lock, clear what a killed run left, size the surface, and then draw and export each day the
// same way, from the frame to the pictures. A session holds what that work shares, so that
// both go through one path and a backfilled day's archive picture is the very picture a run
// writes for that day.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "export/image_converter.h"
#include "observations/observation_plot.h"
#include "state/plot_state.h"
#include "state/run_summary.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"
#include "util/run_lock.h"

namespace norvane {

class RunSession {
 public:
  explicit RunSession(MessageSink messages);

  // Reads the settings of `working_dir`, takes the run lock (waiting at most `lock_wait`),
  // removes a temporary file that a killed run left, and sizes the surface. Returns false, with
  // the cause reported, when nothing may be written.
  bool prepare(const std::string& working_dir, std::chrono::milliseconds lock_wait);

  // Makes the six days up to `last_day` the table of days; `today` tells which of them, if
  // any, is today.
  void use_days(std::chrono::year_month_day last_day, std::chrono::year_month_day today);

  // Draws the day at `day_index` of the table and exports its pictures. A day that fails in an
  // unforeseen way costs that day only.
  void draw_day(int day_index);

  // Reports what is reported once for the whole session.
  void finish();

  // Records the end of the session, `finished`, and whether it succeeded.
  void end(std::chrono::sys_seconds finished);

  PlotState& state() { return state_; }
  MeasurementListing& measurements() { return measurements_; }
  Diagnostics& diagnostics() { return diagnostics_; }
  bool failed() const { return diagnostics_.failed(); }
  // What the session did, for the programs that watch the station.
  const RunSummary& summary() const { return summary_; }

 private:
  Diagnostics diagnostics_;
  PlotState state_;
  DrawingSurface surface_;
  ImageConverter converter_;
  MeasurementListing measurements_;
  std::optional<RunLock> lock_;
  RunSummary summary_;
};

}  // namespace norvane
