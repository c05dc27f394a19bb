#include "driver/run.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <variant>

#include "driver/day_table.h"
#include "driver/settings.h"
#include "export/figure_export.h"
#include "export/image_converter.h"
#include "forecast/forecast_curve.h"
#include "observations/observation_plot.h"
#include "state/plot_state.h"
#include "surface/drawing_surface.h"
#include "surface/plot_frame.h"
#include "surface/sizing.h"
#include "util/diagnostics.h"
#include "util/file_write.h"
#include "util/run_lock.h"

namespace norvane {
namespace {

// The figure of the day at state.day_index, from the cleared surface to its exported pictures.
void draw_and_export_day(PlotState& state, DrawingSurface& surface, ImageConverter& converter,
                         MeasurementListing& measurements, Diagnostics& diagnostics) {
  const std::string& file_previsioni = state.forecast_names[state.day_index];
  // Until the measurements say otherwise, the day's data is taken as unseen.
  state.day_measurements = PlotState::DayMeasurements::not_seen;
  disegno_dello_stage(surface);
  grafico_previsione(state, surface, diagnostics, file_previsioni);
  grafico_valori_autoscalati(state, surface, diagnostics, file_previsioni, measurements);
  surface.set_text_position(75, 210);
  surface.print_text("Date: " + state.date_labels[state.day_index]);
  salva_figura(state, surface, converter, diagnostics, file_previsioni);
}

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
  if (!state.picture_dir_refused)
    remove_file(temporary_path_for(state.picture_dir + "plotfoF21.gif"));
}

}  // namespace

ExitStatus run(const RunRequest& request) {
  Diagnostics diagnostics(request.messages);
  PlotState state;
  DrawingSurface surface;
  ImageConverter converter;
  MeasurementListing measurements;

  fill_minute_labels(state);
  if (!read_settings(state, request.working_dir, diagnostics)) return ExitStatus::failure;
  const std::optional<RunLock> lock = take_run_lock(state, request.lock_wait, diagnostics);
  if (!lock) return ExitStatus::failure;
  remove_leftover_temporaries(state);
  build_day_table(state, request.today);
  impostazioni_dimensioni_e_scala_del_form(state, surface);

  for (state.day_index = 1; state.day_index <= 6; ++state.day_index) {
    // A day that fails in an unforeseen way costs that day only.
    try {
      draw_and_export_day(state, surface, converter, measurements, diagnostics);
    } catch (const std::exception& error) {
      diagnostics.fail("figure of " + state.date_labels[state.day_index] +
                       " not exported: " + error.what());
      converter.reset();
    }
    surface.clear();
  }
  measurements.report_unreadable(diagnostics);
  return diagnostics.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
