#include "forecast/forecast_file.h"

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

}  // namespace norvane
