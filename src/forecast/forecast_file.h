// SPDX-License-Identifier: MIT
// The forecast of foF2 comes as one small text file per month, named after the month and year
// (022024.txt for February 2024) in the forecast folder. Line 2 holds the 24 hourly values for
// 0 to 23 UT, in fields of 5 columns: a blank, the whole MHz right-aligned in two columns, the
// decimal point and one digit of tenths. A value is read in tenths of MHz, which is also its y
// on the drawing surface. A field that holds no number has no value: it is never taken for 0.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace norvane {

inline constexpr int forecast_hours = 24;

// Value of hour h (1 to 24, that is h - 1 UT) at index h - 1.
using ForecastValues = std::array<std::optional<std::int16_t>, forecast_hours>;

// Whether any hour holds a value: a day without one has no forecast curve.
bool has_forecast_value(const ForecastValues& values);

// forecast_dir, then the month and year of the day (`file_previsioni`), then ".txt".
std::string forecast_file_path(const std::string& forecast_dir, const std::string& file_previsioni);

// The value of field `forecast_hour` (1 to 24) of a values line: the number read from columns
// 5h-3 and 5h-2 with blanks trimmed, followed by column 5h (the decimal point in column 5h-1 is
// skipped). Empty when the field holds no number, or one outside the 16-bit range.
std::optional<std::int16_t> forecast_field_value(std::string_view values_line, int forecast_hour);

// The values of a forecast file's values line: line 2, or line 1 of a file of one line.
ForecastValues read_forecast_values(std::string_view values_line);

// What the forecast file at a path gives: its values, or why it cannot be read.
struct ForecastFile {
  int error = 0;  // an errno value, 0 when the file was read
  ForecastValues values{};
};
ForecastFile read_forecast_file(const std::string& path);

}  // namespace norvane
