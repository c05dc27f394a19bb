// SPDX-License-Identifier: MIT
#include "driver/day_table.h"

#include <cstdio>
#include <string>

namespace norvane {
namespace {

std::string two_digits(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02u", value);
  return text;
}

}  // namespace

void fill_minute_labels(PlotState& state) {
  for (int index = 1; index <= 59; ++index) {
    state.minute_labels[index] = two_digits(static_cast<unsigned>(index));
  }
  state.minute_labels[60] = "00";
}

void build_day_table(PlotState& state, std::chrono::year_month_day today) {
  const Day last = Day::of(today);
  for (int day_offset = -5; day_offset <= 0; ++day_offset) {
    const int i = day_offset + 6;
    const Day& day = state.days[i] = last.plus(day_offset);
    state.doy_codes[i] = day.doy_code;
    state.forecast_names[i] = day.month_key;
    state.date_labels[i] = day.label;
  }
}

}  // namespace norvane
