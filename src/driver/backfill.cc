// SPDX-License-Identifier: MIT
#include "driver/backfill.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "driver/day_table.h"
#include "driver/run_session.h"
#include "export/metrics_file.h"
#include "observations/measurement_listing.h"
#include "observations/station.h"

namespace norvane {

namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// The days of a stretch for which the measurement folder is listed at once: the listing then
// holds their files only, whatever the length of the range (a year of a station's files is a
// few MiB), and a year of days takes one listing.
constexpr int planned_stretch_days = 366;

// The first day whose files a station with two-digit years can tell apart from a day a century
// later: the day after the same date a hundred years before `today`.
sys_days first_day_of_century(year_month_day today) {
  const year_month_day century_before{today.year() - std::chrono::years{100}, today.month(),
                                      today.day()};
  // 29 February has no such date a century before; 28 February stands in for it.
  const sys_days same_date =
      century_before.ok()
          ? sys_days{century_before}
          : sys_days{century_before.year() / century_before.month() / std::chrono::last};
  return same_date + days{1};
}

// Completes the summary of a backfill and writes its metrics file, when asked for one.
ExitStatus end_backfill(const BackfillRequest& request, RunSession& session) {
  session.finish();
  if (request.metrics_file) {
    write_metrics_file(*request.metrics_file, session.summary(), session.diagnostics());
  }
  return session.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace

ExitStatus backfill(const BackfillRequest& request) {
  const sys_days first{request.from};
  const sys_days last{request.to};
  if (first > last || last > sys_days{request.today}) {
    throw std::invalid_argument("a backfill runs from a day to a later one, up to today");
  }

  RunSession session(request.messages, request.clock);
  if (!session.prepare(request.working_dir, request.lock_wait)) {
    return end_backfill(request, session);
  }
  PlotState& state = session.state();
  state.archive_only = true;
  state.redraw_archive = request.redraw;
  const sys_days century_start = first_day_of_century(request.today);
  const auto day_count = (last - first).count() + 1;

  int written = 0, unchanged = 0, kept = 0, not_written = 0, without_files = 0;
  int refused = 0;
  long done = 0;
  bool stopped = false;
  for (sys_days stretch = first; stretch <= last && !stopped;
       stretch += days{planned_stretch_days}) {
    const sys_days stretch_end = std::min(stretch + days{planned_stretch_days - 1}, last);
    std::vector<Day> plan;
    for (sys_days day = stretch; day <= stretch_end; day += days{1}) {
      plan.push_back(Day::of(year_month_day{day}));
    }
    session.measurements().plan_days(plan);
    // The stray-station rule, over the days of the stretch: a station none of whose files the
    // folder holds for any of them was told by a stray file, and no day of it is seen.
    session.use_days(year_month_day{stretch}, request.today);
    state.day_index = 6;
    session.look_for_station_files(
        plan, "any day from " + plan.front().iso() + " to " + plan.back().iso());

    for (sys_days day = stretch; day <= stretch_end; day += days{1}) {
      if (!session.retake_lock()) {
        // Another run held the lock for the whole wait (reported): the rest is not drawn.
        not_written += static_cast<int>((last - day).count()) + 1;
        stopped = true;
        break;
      }
      // Each day is drawn as the last of a table of six ending with it, as a run on that day
      // draws it.
      session.use_days(year_month_day{day}, request.today);
      const Station* station = nullptr;
      if (day < century_start && state.observation_dir_status == PlotState::FolderStatus::usable) {
        state.day_index = 6;
        session.measurements().current(state, day_stems(state.days[6]));
        station = &session.measurements().station();
      }
      if (station != nullptr && station->problem == Station::Problem::none &&
          has_two_digit_years(station->kind)) {
        ++refused;
        session.diagnostics().fail(
            "station style " + std::to_string(station->kind) +
            " names its files with two-digit years, which tell apart only the days from " +
            iso_date(year_month_day{century_start}) + " on: the days before are not drawn");
      } else {
        session.draw_day(6);
        switch (state.archive_outcome) {
          case PictureOutcome::written:
            ++written;
            break;
          case PictureOutcome::unchanged:
            ++unchanged;
            break;
          case PictureOutcome::kept:
            ++kept;
            break;
          default:
            ++not_written;
            break;
        }
        if (state.day_measurements == PlotState::DayMeasurements::none_found) ++without_files;
      }
      ++done;
      if (request.progress) {
        request.progress("backfill: " + iso_date(year_month_day{day}) + ", " +
                         std::to_string(done) + " of " + std::to_string(day_count) + " days\r");
      }
      // A backfill keeps no day's summary: its range may be years long.
      session.take_days();
      // The lock goes between days, but not after the last, whose lock the end needs.
      if (day != last) session.release_lock();
    }
  }
  // The index learns every day from the records, under the lock, at the end.
  if (!stopped) session.index_archive();
  if (request.progress) request.progress("\r\x1b[K");

  std::string summary = "backfill " + iso_date(request.from) + " to " + iso_date(request.to) +
                        ": " + count_text(written, "archive picture") + " written, " +
                        std::to_string(unchanged) + " unchanged, " + std::to_string(kept) +
                        " kept as they were, " + std::to_string(not_written) + " not written";
  if (refused > 0) summary += ", " + count_text(refused, "day") + " refused";
  summary += "; " + count_text(without_files, "day") + " without a measurement file\n";
  const ExitStatus status = end_backfill(request, session);
  request.summary(summary);
  return status;
}

}  // namespace norvane
