// SPDX-License-Identifier: MIT
#include "driver/run_session.h"

#include <cstdio>
#include <exception>
#include <string_view>
#include <utility>
#include <variant>

#include "driver/day_table.h"
#include "driver/settings.h"
#include "export/figure_export.h"
#include "forecast/forecast_curve.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"
#include "util/file_write.h"

namespace norvane {
namespace {

// "60 s", or "0.25 s" for a wait shorter than a second.
std::string seconds_text(std::chrono::milliseconds wait) {
  if (wait.count() % 1000 == 0) return std::to_string(wait.count() / 1000) + " s";
  char text[32];
  std::snprintf(text, sizeof text, "%g s", static_cast<double>(wait.count()) / 1000);
  return text;
}

// Takes the lock that keeps runs on the same forecast folder from overlapping; reports why
// when it cannot.
std::optional<RunLock> take_run_lock(const PlotState& state, std::chrono::milliseconds wait,
                                     Diagnostics& diagnostics) {
  // A refused forecast folder is not used at all; the working folder stands in for it.
  const std::string& folder = state.forecast_dir_refused ? state.work_dir : state.forecast_dir;
  auto lock = RunLock::acquire(folder, wait);
  if (auto* taken = std::get_if<RunLock>(&lock)) return std::move(*taken);
  const auto& failure = std::get<RunLock::Failure>(lock);
  if (failure.busy) {
    diagnostics.fail("another run holds the lock " + quoted(failure.path) + "; gave up after " +
                     seconds_text(wait) + " (nothing written)");
  } else {
    diagnostics.fail("cannot take the run lock " + quoted(failure.path) + ": " + failure.reason +
                     " (nothing written)");
  }
  return std::nullopt;
}

// A run killed while writing a picture leaves the temporary file of that folder behind; the
// next run clears it, even when it has nothing new to write there.
void remove_leftover_temporaries(const PlotState& state) {
  // Any name of a folder's files tells its temporary file.
  if (!state.forecast_dir_refused) {
    remove_file(temporary_path_for(state.forecast_dir + "grafico1.bmp"));
    remove_file(
        temporary_path_for(state.forecast_dir + std::string(archive_folder_name) + "x.gif"));
  }
  if (!state.picture_dir_refused) {
    remove_file(temporary_path_for(state.picture_dir + "plotfoF21.gif"));
  }
}

// The name of the folder `path`: "rome" for "/srv/norvane/rome" and "/srv/norvane/rome/".
std::string folder_name(std::string_view path) {
  while (path.size() > 1 && path.ends_with('/')) path.remove_suffix(1);
  return std::string(path.substr(path.find_last_of('/') + 1));
}

}  // namespace

RunSession::RunSession(MessageSink messages) : diagnostics_(std::move(messages)) {}

bool RunSession::prepare(const std::string& working_dir, std::chrono::milliseconds lock_wait) {
  summary_.station_folder = folder_name(working_dir);
  fill_minute_labels(state_);
  if (!read_settings(state_, working_dir, diagnostics_)) return false;
  lock_ = take_run_lock(state_, lock_wait, diagnostics_);
  if (!lock_) return false;
  remove_leftover_temporaries(state_);
  impostazioni_dimensioni_e_scala_del_form(state_, surface_);
  return true;
}

void RunSession::use_days(std::chrono::year_month_day last_day, std::chrono::year_month_day today) {
  using std::chrono::sys_days;
  build_day_table(state_, last_day);
  const auto days_before_today = (sys_days{today} - sys_days{last_day}).count();
  state_.today_slot = static_cast<std::int16_t>(days_before_today == 0 ? 6 : 7);
}

void RunSession::draw_day(int day_index) {
  PlotState& state = state_;
  state.day_index = static_cast<std::int16_t>(day_index);
  const std::string& file_previsioni = state.forecast_names[state.day_index];
  try {
    // Until the measurements say otherwise, the day's data is taken as unseen.
    state.day_measurements = PlotState::DayMeasurements::not_seen;
    disegno_dello_stage(surface_);
    grafico_previsione(state, surface_, diagnostics_, file_previsioni);
    grafico_valori_autoscalati(state, surface_, diagnostics_, file_previsioni, measurements_);
    surface_.set_text_position(75, 210);
    surface_.print_text("Date: " + state.date_labels[state.day_index]);
    salva_figura(state, surface_, converter_, diagnostics_, file_previsioni);
  } catch (const std::exception& error) {
    diagnostics_.fail("figure of " + state.date_labels[state.day_index] +
                      " not exported: " + error.what());
    state.archive_outcome = PlotState::ArchiveOutcome::failed;
    converter_.reset();
  }
  surface_.clear();
}

void RunSession::finish() { measurements_.report_unreadable(diagnostics_); }

void RunSession::end(std::chrono::sys_seconds finished) {
  summary_.finished = finished;
  summary_.success = !diagnostics_.failed();
}

}  // namespace norvane
