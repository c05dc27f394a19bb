// SPDX-License-Identifier: MIT
#include "support/station_files.h"

#include <cmath>
#include <cstdio>

namespace norvane::testing {

std::string value_field(double mhz) {
  const long tenths = std::lround(mhz * 10);
  char field[48];
  std::snprintf(field, sizeof field, "%2ld.%ld", tenths / 10, tenths % 10);
  return field;
}

std::string forecast_values_line(const std::array<double, 24>& mhz) {
  std::string line;
  for (const double value : mhz) line += " " + value_field(value);
  return line;
}

std::string forecast_file(const std::array<double, 24>& mhz) {
  return "monthly median forecast of foF2\r\n" + forecast_values_line(mhz) + "\r\n";
}

std::string measurement_file(std::string_view first_line, std::string_view value_field) {
  std::string content(first_line);
  content += "\r\nautomatic scaling\r\nfoF2 (MHz)     ";
  content += value_field;
  content += " end\r\n";
  return content;
}

}  // namespace norvane::testing
