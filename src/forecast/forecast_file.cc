// SPDX-License-Identifier: MIT
#include "forecast/forecast_file.h"

#include <algorithm>

#include "util/input_file.h"
#include "util/number_text.h"
#include "util/text_fields.h"

namespace norvane {

std::string forecast_file_path(const std::string& forecast_dir,
                               const std::string& file_previsioni) {
  return forecast_dir + file_previsioni + ".txt";
}

std::optional<std::int16_t> forecast_field_value(std::string_view values_line, int forecast_hour) {
  const auto h = static_cast<std::size_t>(forecast_hour);
  std::string text(trim_blanks(columns(values_line, 5 * h - 3, 2)));
  text += columns(values_line, 5 * h, 1);
  const auto value = read_number(text);
  if (!value) return std::nullopt;
  return round_to_int16(*value);
}

ForecastValues read_forecast_values(std::string_view values_line) {
  ForecastValues forecast_values;
  for (int forecast_hour = 1; forecast_hour <= forecast_hours; ++forecast_hour) {
    forecast_values[forecast_hour - 1] = forecast_field_value(values_line, forecast_hour);
  }
  return forecast_values;
}

ForecastFile read_forecast_file(const std::string& path) {
  ForecastFile forecast;
  auto file = InputFile::open(path, &forecast.error, InputFile::Links::not_followed_as_root);
  if (!file) return forecast;
  file->limit_reading(InputFile::bytes_for_lines(2));
  // Line 1 is a heading. A file of one line keeps it as its values line.
  std::string values_line;
  file->read_line(values_line);
  file->read_line(values_line);
  forecast.error = file->read_error();
  if (forecast.error == 0) forecast.values = read_forecast_values(values_line);
  return forecast;
}

bool has_forecast_value(const ForecastValues& values) {
  return std::any_of(values.begin(), values.end(),
                     [](const auto& value) { return value.has_value(); });
}

}  // namespace norvane
