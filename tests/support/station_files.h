// SPDX-License-Identifier: MIT
// Forecast and measurement files as stations write them, for tests.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace norvane::testing {

// A forecast values line: 24 fields of " MM.T" for the given values in MHz.
std::string forecast_values_line(const std::array<double, 24>& mhz);

// A forecast file: a heading line, then the values line, CR LF line ends.
std::string forecast_file(const std::array<double, 24>& mhz);

// A measurement file: `first_line` (which tells the station), a second line, and a third line
// with `value_field` in characters 16 to 19 (" 5.4", "N/A ", ...), CR LF line ends.
std::string measurement_file(std::string_view first_line, std::string_view value_field);

// A value field for `mhz`: two characters of whole MHz right-aligned, ".", the tenths digit.
std::string value_field(double mhz);

}  // namespace norvane::testing
