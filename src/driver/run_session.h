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
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/day_record.h"
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
  // started during a day waits for that day only. Whatever they write in the archive meanwhile,
  // the index is then checked whole at the end.
  void release_lock();
  bool retake_lock();

  // Makes the six days up to `last_day` the table of days; `today` tells which of them, if
  // any, is today.
  void use_days(std::chrono::year_month_day last_day, std::chrono::year_month_day today);

  // Looks at the measurement folder for `days` before any is drawn, listing it for the day at
  // state.day_index: when it tells a station but holds none of that station's files for any of
  // them (a stray file named another station), the session fails, and no day's data is taken
  // as seen until the next look. `which_days` names the days in the message.
  void look_for_station_files(std::span<const Day> days,
                              std::string_view which_days = "any of the six days");

  // Draws the day at `day_index` of the table and exports its pictures, and writes its record
  // beside its archive picture: its measurements go from the names of its files to the files,
  // their values, the merge with the day's record and the drawing (archive/archive_rule.h). A
  // day that fails in an unforeseen way costs that day only.
  void draw_day(int day_index);

  // Brings the archive index up to date with the records of the days drawn (archive/
  // archive_index.h), while the lock is held.
  void index_archive();

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
  void add_to_summary(int day_index, const DayRecord& record, DrawnFrom drawn_from);

  Diagnostics diagnostics_;
  Clock clock_;
  PlotState state_;
  DrawingSurface surface_;
  ImageConverter converter_;
  MeasurementListing measurements_;
  std::optional<RunLock> lock_;
  std::chrono::milliseconds lock_wait_{0};
  RunSummary summary_;
  // Whether the archive index was sealed when the lock was taken, and, while it is held since,
  // the days drawn and those whose archive files were written.
  bool archive_sealed_ = false;
  std::vector<Day> drawn_days_;
  std::vector<Day> changed_days_;
};

}  // namespace norvane
