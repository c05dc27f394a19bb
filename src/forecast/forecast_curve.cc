// SPDX-License-Identifier: MIT
#include "forecast/forecast_curve.h"

#include "util/file_write.h"

namespace norvane {

bool forecast_hours_joined(const ForecastValues& values, int hour) {
  return hour >= 0 && hour + 1 < forecast_hours && values[static_cast<std::size_t>(hour)] &&
         values[static_cast<std::size_t>(hour + 1)];
}

std::optional<double> forecast_curve_value(const ForecastValues& values, int minute_of_day) {
  const int hour = minute_of_day / 60;
  const int minute = minute_of_day % 60;
  if (minute_of_day < 0 || hour >= forecast_hours) return std::nullopt;
  const auto& at_hour = values[static_cast<std::size_t>(hour)];
  if (minute == 0) {
    if (!at_hour) return std::nullopt;
    return *at_hour;
  }
  if (!forecast_hours_joined(values, hour)) return std::nullopt;
  const double next = *values[static_cast<std::size_t>(hour + 1)];
  return *at_hour + (next - *at_hour) * minute / 60.0;
}

void draw_forecast_curve(DrawingSurface& surface, const ForecastValues& values) {
  const Rgb white = colours::forecast;
  for (int hour = 0; hour < forecast_hours; ++hour) {
    const auto& value = values[static_cast<std::size_t>(hour)];
    if (!value) continue;
    const int x = forecast_dot_x(hour);
    surface.set_fill_style(FillStyle::solid);
    surface.set_fill_colour(white);
    surface.draw_circle(x, *value, 2, white);
    if (hour >= 1 && forecast_hours_joined(values, hour - 1)) {
      surface.draw_line(forecast_dot_x(hour - 1), *values[static_cast<std::size_t>(hour - 1)], x,
                        *value, white);
    }
  }
}

std::optional<std::string> forecast_warning(const std::string& path, const ForecastFile& file,
                                            bool from_record) {
  const std::string consequence = from_record ? " (the forecast curve of the day's record drawn)"
                                              : " (no forecast curve drawn)";
  if (file.error != 0) {
    return "cannot read forecast file " + quoted(path) + ": " + error_text(file.error) +
           consequence;
  }
  if (!has_forecast_value(file.values)) {
    return "forecast file " + quoted(path) + " holds no forecast value" + consequence;
  }
  return std::nullopt;
}

void grafico_previsione(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                        const std::string& file_previsioni, const ForecastValues* recorded) {
  state.day_forecast = {};
  // A forecast folder refused in the settings is not read; the refusal has been reported.
  if (state.forecast_dir_status != PlotState::FolderStatus::usable) return;
  const std::string path = forecast_file_path(state.forecast_dir, file_previsioni);
  const ForecastFile file = read_forecast_file(path);
  state.day_forecast = file.values;
  const bool from_record = recorded != nullptr && has_forecast_value(*recorded);
  if (const auto warning = forecast_warning(path, file, from_record)) {
    diagnostics.warn(*warning);
    if (!from_record) return;
    state.day_forecast = *recorded;
  }
  draw_forecast_curve(surface, state.day_forecast);
}

}  // namespace norvane
