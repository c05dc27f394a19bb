// SPDX-License-Identifier: MIT
#include "driver/run_session.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>
#include <variant>

#include "archive/archive_files.h"
#include "archive/archive_index.h"
#include "archive/archive_rule.h"
#include "driver/day_table.h"
#include "driver/settings.h"
#include "driver/version.h"
#include "export/figure_export.h"
#include "forecast/forecast_curve.h"
#include "observations/day_reading.h"
#include "observations/observation_plot.h"
#include "state/file_names.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"
#include "util/file_write.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

using FolderStatus = PlotState::FolderStatus;

// "60 s", or "0.25 s" for a wait shorter than a second.
std::string seconds_text(std::chrono::milliseconds wait) {
  if (wait.count() % 1000 == 0) return std::to_string(wait.count() / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000);
  return text;
}

// The name of the folder `path` (ending in "/" or not): "rome" for "/srv/norvane/rome/".
std::string folder_name(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A killed run leaves its temporary file behind in the folder it was writing in; the next run
// of the station (the same lock, the same temporary names) removes them, even where it has
// nothing new to write. Other writers' temporary files have other names and are left alone.
void remove_leftover_temporaries(const PlotState& state, const std::string& writer) {
  if (state.forecast_dir_status == FolderStatus::usable) {
    remove_temporaries_in(folder_of(state.forecast_dir), writer);
    remove_temporaries_in(state.forecast_dir + std::string(file_names::archive_folder), writer);
  }
  if (state.picture_dir_status == FolderStatus::usable) {
    remove_temporaries_in(folder_of(state.picture_dir), writer);
  }
}

// The file name of `path`.
std::string file_name(const std::string& path) { return path.substr(folder_of(path).size()); }

}  // namespace

RunSession::RunSession(MessageSink messages, Clock clock)
    : diagnostics_(std::move(messages)), clock_(std::move(clock)) {
  summary_.started = clock_();
}

bool RunSession::take_lock() {
  // A refused forecast folder is not used at all; the working folder stands in for it.
  const std::string& folder =
      state_.forecast_dir_status == FolderStatus::refused ? state_.work_dir : state_.forecast_dir;
  std::optional<RunLock::Failure> failure;
  if (lock_) {
    failure = lock_->retake(lock_wait_);
  } else {
    auto lock = RunLock::acquire(folder, lock_wait_);
    if (auto* taken = std::get_if<RunLock>(&lock)) {
      lock_ = std::move(*taken);
    } else {
      failure = std::get<RunLock::Failure>(std::move(lock));
    }
  }
  if (!failure) return true;
  if (failure->busy) {
    diagnostics_.fail("another run holds the lock " + norvane::quoted(failure->path) +
                      "; gave up after " + seconds_text(lock_wait_) + " (nothing written)");
  } else {
    diagnostics_.fail("cannot take the run lock " + norvane::quoted(failure->path) + ": " +
                      failure->reason + " (nothing written)");
  }
  return false;
}

bool RunSession::prepare(const std::string& working_dir, std::chrono::milliseconds lock_wait) {
  // Named before anything can fail: a run that cannot start is reported under its station too.
  summary_.station_folder = folder_name(working_dir);
  fill_minute_labels(state_);
  if (!read_settings(state_, working_dir, diagnostics_)) return false;
  // Without its forecast folder a run has no lock to take; the folder has been reported.
  if (state_.forecast_dir_status == FolderStatus::missing) return false;
  if (state_.forecast_dir_status == FolderStatus::usable) {
    const std::string archive_dir = archive_folder_of(state_);
    if (const auto refused = archive_link_refused(archive_dir)) {
      diagnostics_.fail("archive folder " + norvane::quoted(archive_dir) + " is " + *refused +
                        " (nothing written)");
      return false;
    }
  }
  lock_wait_ = lock_wait;
  if (!take_lock()) return false;
  // From now on this process writes as the runs of this station do.
  name_temporary_files_after(lock_->folder_identity());
  remove_leftover_temporaries(state_, lock_->folder_identity());
  archive_sealed_ = state_.forecast_dir_status == FolderStatus::usable &&
                    archive_index_sealed(archive_folder_of(state_));
  impostazioni_dimensioni_e_scala_del_form(state_, surface_);
  return true;
}

void RunSession::release_lock() {
  if (lock_) lock_->release();
  archive_sealed_ = false;
}

bool RunSession::retake_lock() { return (lock_ && lock_->held()) || take_lock(); }

void RunSession::use_days(std::chrono::year_month_day last_day, std::chrono::year_month_day today) {
  using std::chrono::sys_days;
  build_day_table(state_, last_day);
  summary_.today = today;
  const auto days_before_today = (sys_days{today} - sys_days{last_day}).count();
  state_.today_slot = static_cast<std::int16_t>(days_before_today == 0 ? 6 : 7);
}

void RunSession::look_for_station_files(std::span<const Day> days, std::string_view which_days) {
  state_.station_unseen = false;
  if (state_.observation_dir_status != FolderStatus::usable) return;
  const ObservationFolder& folder =
      measurements_.current(state_, day_stems(state_.days[state_.day_index]));
  const Station& station = measurements_.station();
  // A station that cannot be told is reported when the first day is drawn.
  if (station.problem != Station::Problem::none) return;
  if (station_has_files(folder, station, state_, days)) return;
  state_.station_unseen = true;
  diagnostics_.fail(station_without_files_text(station, state_, which_days));
}

void RunSession::draw_day(int day_index) {
  PlotState& state = state_;
  state.day_index = static_cast<std::int16_t>(day_index);
  const Day& day = state.days[day_index];
  DayPlan plan;
  DayRecord record;
  try {
    // Until the measurements say otherwise, the day's data is taken as unseen.
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    state.day_counts = {};
    state.day_forecast = {};
    state.keep_archive = false;
    state.current_outcome = state.archive_outcome = PictureOutcome::not_written;
    // Names, files, values, and their merge with the day's record.
    const DaySight sight = look_at_day(state, measurements_, diagnostics_);
    const ArchiveDayFiles files = archive_day_files(archive_folder_of(state), day);
    const ArchivedDay archived = state.forecast_dir_status == FolderStatus::usable
                                     ? look_at_archive(files, day, sight, diagnostics_)
                                     : ArchivedDay{};
    plan = plan_day(archived, sight, {day_index >= state.today_slot, state.redraw_archive});
    if (plan.archive == ArchivePicture::keep_other_station) {
      diagnostics_.fail(other_station_text(files, day, *archived.head->station, sight.station,
                                           state.observation_dir));
    } else if (plan.archive == ArchivePicture::keep_richer) {
      diagnostics_.warn(thinner_day_text(files, day, archived, sight));
    }
    state.day_counts = count_measurements(plan.measurements);
    state.keep_archive = plan.archive != ArchivePicture::write;

    // The drawing.
    disegno_dello_stage(surface_);
    if (plan.forecast_from_record) {
      state.day_forecast = archived.record->forecast;
      draw_forecast_curve(surface_, state.day_forecast);
    } else {
      grafico_previsione(state, surface_, diagnostics_, state.forecast_names[day_index],
                         archived.head ? &archived.head->forecast : nullptr);
    }
    grafico_valori_autoscalati(surface_, plan.measurements);
    surface_.set_text_position(75, 210);
    surface_.print_text("Date: " + state.date_labels[day_index]);
    // A finished day's figure usually comes out as its record says it was encoded.
    converter_.expect(archived.head ? archived.head->picture : std::nullopt);
    salva_figura(state, surface_, converter_, diagnostics_);

    // The record of what the archive picture now shows, beside it.
    record = make_day_record(day, station_of_day(archived, sight), state.day_forecast,
                             std::move(plan.measurements), iso_moment(summary_.started),
                             "norvane_foF2 " + std::string(program_version));
    record.picture = converter_.saved();
    bool changed = state.archive_outcome == PictureOutcome::written;
    if (changed || state.archive_outcome == PictureOutcome::unchanged) {
      changed =
          keep_day_record(files, record, archived.head, diagnostics_) != RecordWrite::unchanged ||
          changed;
    }
    if (plan.archive == ArchivePicture::keep_other_station && !archived.picture) {
      state.archive_outcome = PictureOutcome::not_written;
    }
    if (archive_sealed_) {
      drawn_days_.push_back(day);
      if (changed) changed_days_.push_back(day);
    }
  } catch (const std::exception& error) {
    diagnostics_.fail("figure of " + state.date_labels[day_index] +
                      " not exported: " + error.what());
    if (state.current_outcome == PictureOutcome::not_written && !state.archive_only) {
      state.current_outcome = PictureOutcome::failed;
    }
    if (state.archive_outcome == PictureOutcome::not_written) {
      state.archive_outcome = PictureOutcome::failed;
    }
    converter_.reset();
    // Whatever the archive holds of the day now, the index will find it.
    archive_sealed_ = false;
  }
  surface_.clear();
  add_to_summary(day_index, record, plan.drawn_from);
}

void RunSession::index_archive() {
  if (state_.forecast_dir_status == FolderStatus::usable) {
    summary_.archive = update_archive_index(archive_folder_of(state_), drawn_days_, changed_days_,
                                            archive_sealed_, diagnostics_);
  }
  drawn_days_.clear();
  changed_days_.clear();
}

void RunSession::add_to_summary(int day_index, const DayRecord& record, DrawnFrom drawn_from) {
  using namespace std::chrono;
  const PlotState& state = state_;
  DaySummary day;
  day.slot = day_index;
  day.date = state.days[day_index].date;
  day.date_label = state.date_labels[day_index];
  const ExportPaths paths = export_paths(state);
  day.archive_name = file_name(paths.archive_gif);
  if (!state.archive_only) day.current_name = file_name(paths.current_gif);
  day.extremes = extremes_of(record);
  day.figures = figures_of(record, day.extremes);
  day.drawn_from = drawn_from;
  if (const auto& newest_of_day = day.figures.newest) {
    const sys_seconds newest = sys_days{day.date} + minutes{newest_of_day->minute};
    if (!summary_.newest_measurement || newest > *summary_.newest_measurement) {
      summary_.newest_measurement = newest;
      summary_.newest = newest_of_day;
    }
  }
  day.current = state.current_outcome;
  day.archive = state.archive_outcome;
  for (const PictureOutcome outcome : {day.current, day.archive}) {
    if (outcome == PictureOutcome::written || outcome == PictureOutcome::unchanged) {
      ++summary_.pictures_written;
    }
  }
  if (day.archive == PictureOutcome::kept) ++summary_.archive_pictures_kept;
  if (!has_forecast_value(state.day_forecast)) {
    ++summary_.days_without_forecast;
  }
  summary_.drew = true;
  summary_.days.push_back(std::move(day));
}

void RunSession::finish() {
  measurements_.report_unreadable(diagnostics_);
  if (const std::string* line = measurements_.told_station_line()) summary_.station = *line;
  summary_.finished = clock_();
  summary_.success = !diagnostics_.failed();
}

}  // namespace norvane
