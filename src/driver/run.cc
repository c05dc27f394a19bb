#include "driver/run.h"

#include <exception>

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

namespace norvane {
namespace {

// The figure of the day at state.day_index, from the cleared surface to its exported pictures.
void draw_and_export_day(PlotState& state, DrawingSurface& surface, ImageConverter& converter,
                         MeasurementListing& measurements, Diagnostics& diagnostics) {
  const std::string& file_previsioni = state.forecast_names[state.day_index];
  disegno_dello_stage(surface);
  grafico_previsione(state, surface, diagnostics, file_previsioni);
  grafico_valori_autoscalati(state, surface, diagnostics, file_previsioni, measurements);
  surface.set_text_position(75, 210);
  surface.print_text("Date: " + state.date_labels[state.day_index]);
  salva_figura(state, surface, converter, diagnostics, file_previsioni);
}

}  // namespace

ExitStatus run(const RunRequest& request) {
  Diagnostics diagnostics(request.messages);
  PlotState state;
  DrawingSurface surface;
  ImageConverter converter;
  MeasurementListing measurements;

  fill_minute_labels(state);
  read_settings(state, request.working_dir, diagnostics);
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
  return diagnostics.failed() ? ExitStatus::failure : ExitStatus::success;
}

}  // namespace norvane
