// SPDX-License-Identifier: MIT
#include "driver/backfill.h"

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "driver/day_table.h"
#include "driver/run_session.h"
#include "export/metrics_file.h"

namespace norvane {

std::string iso_date(std::chrono::year_month_day date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

namespace {

// Draws the days of the request in a prepared session and prints the summary line.
void draw_range(const BackfillRequest& request, RunSession& session) {
  using std::chrono::days;
  using std::chrono::sys_days;
  using Outcome = PlotState::ArchiveOutcome;
  const sys_days first{request.from};
  const sys_days last{request.to};
  PlotState& state = session.state();
  state.archive_only = true;
  // One listing of the measurement folder serves every day while the folder does not change.
  std::vector<MeasurementListing::Day> plan;
  for (sys_days day = first; day <= last; day += days{1}) {
    DayNames names = day_names(std::chrono::year_month_day{day});
    plan.push_back({std::move(names.forecast_name), std::move(names.doy_code)});
  }
  const auto day_count = static_cast<int>(plan.size());
  session.measurements().plan_days(std::move(plan));

  // The days are drawn six at a time, each group as the table of a run on its last day.
  int counts[4] = {0, 0, 0, 0};
  int done = 0;
  for (sys_days group_end = first + days{5};; group_end += days{6}) {
    const sys_days table_end = std::min(group_end, last);
    session.use_days(std::chrono::year_month_day{table_end}, request.today);
    for (int day_index = 1; day_index <= 6; ++day_index) {
      const sys_days day = table_end - days{6 - day_index};
      if (day < first + days{done}) continue;  // before the range, or drawn already
      session.draw_day(day_index);
      ++counts[static_cast<int>(state.archive_outcome)];
      ++done;
      if (request.progress) {
        request.progress("backfill: " + iso_date(std::chrono::year_month_day{day}) + ", " +
                         std::to_string(done) + " of " + std::to_string(day_count) + " days\r");
      }
    }
    if (table_end == last) break;
  }
  session.finish();
  if (request.progress) request.progress("\r\x1b[K");

  request.summary("backfill " + iso_date(request.from) + " to " + iso_date(request.to) + ": " +
                  std::to_string(counts[static_cast<int>(Outcome::written)]) +
                  " archive pictures written, " +
                  std::to_string(counts[static_cast<int>(Outcome::unchanged)]) + " unchanged, " +
                  std::to_string(counts[static_cast<int>(Outcome::kept)]) + " kept as they were, " +
                  std::to_string(counts[static_cast<int>(Outcome::failed)]) + " not written\n");
}

}  // namespace

ExitStatus backfill(const BackfillRequest& request) {
  using std::chrono::sys_days;
  if (sys_days{request.from} > sys_days{request.to} ||
      sys_days{request.to} > sys_days{request.today}) {
    throw std::invalid_argument("a backfill runs from a day to a later one, up to today");
  }
  RunSession session(request.messages);
  if (session.prepare(request.working_dir, request.lock_wait)) draw_range(request, session);
  session.end(request.clock());
  if (request.metrics_file) {
    write_metrics_file(*request.metrics_file, session.summary(), session.diagnostics());
  }
  return session.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
