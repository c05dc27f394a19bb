// SPDX-License-Identifier: MIT
#include "forecast/forecast_curve.h"

#include <algorithm>

#include "util/file_write.h"

namespace norvane {

std::optional<std::string> forecast_warning(const std::string& path, const ForecastFile& file) {
  if (file.error != 0) {
    return "cannot read forecast file " + quoted(path) + ": " + error_text(file.error) +
           " (no forecast curve drawn)";
  }
  if (std::none_of(file.values.begin(), file.values.end(),
                   [](const auto& value) { return value.has_value(); })) {
    return "forecast file " + quoted(path) + " holds no forecast value (no forecast curve drawn)";
  }
  return std::nullopt;
}

void grafico_previsione(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                        const std::string& file_previsioni) {
  state.day_forecast = {};
  // A forecast folder refused in the settings is not read; the refusal has been reported.
  if (state.forecast_dir_status != PlotState::FolderStatus::usable) return;
  const std::string path = forecast_file_path(state.forecast_dir, file_previsioni);
  const ForecastFile file = read_forecast_file(path);
  state.day_forecast = file.values;
  if (const auto warning = forecast_warning(path, file)) {
    diagnostics.warn(*warning);
    return;
  }
  const ForecastValues& forecast_values = file.values;

  const Rgb white = colours::forecast;
  for (int i = 1; i <= forecast_hours; ++i) {
    const auto& value = forecast_values[i - 1];
    if (!value) continue;
    const int x = 10 * (i - 1);
    surface.set_fill_style(FillStyle::solid);
    surface.set_fill_colour(white);
    surface.draw_circle(x, *value, 2, white);
    if (i >= 2) {
      if (const auto& previous = forecast_values[i - 2]) {
        const int prev_x = 10 * (i - 2);
        surface.draw_line(prev_x, *previous, x, *value, white);
      }
    }
  }
}

}  // namespace norvane
