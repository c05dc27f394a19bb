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

DayNames day_names(std::chrono::year_month_day date) {
  using namespace std::chrono;
  const std::string day_text = two_digits(static_cast<unsigned>(date.day()));
  const std::string month_text = two_digits(static_cast<unsigned>(date.month()));
  char year_text[16];
  std::snprintf(year_text, sizeof year_text, "%04d", static_cast<int>(date.year()));
  const year_month_day year_start{date.year(), January, day{1}};
  const int day_of_year = (sys_days{date} - sys_days{year_start}).count() + 1;
  char doy_text[16];
  std::snprintf(doy_text, sizeof doy_text, "%03d", day_of_year);
  return {doy_text, month_text + year_text, day_text + "/" + month_text + "/" + year_text};
}

void build_day_table(PlotState& state, std::chrono::year_month_day today) {
  using namespace std::chrono;
  for (int day_offset = -5; day_offset <= 0; ++day_offset) {
    const int i = day_offset + 6;
    DayNames names = day_names(year_month_day{sys_days{today} + days{day_offset}});
    state.doy_codes[i] = std::move(names.doy_code);
    state.forecast_names[i] = std::move(names.forecast_name);
    state.date_labels[i] = std::move(names.date_label);
  }
}

}  // namespace norvane
