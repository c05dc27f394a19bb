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
  using namespace std::chrono;
  for (int day_offset = -5; day_offset <= 0; ++day_offset) {
    const int i = day_offset + 6;
    const year_month_day day_date{sys_days{today} + days{day_offset}};
    const std::string day_text = two_digits(static_cast<unsigned>(day_date.day()));
    const std::string month_text = two_digits(static_cast<unsigned>(day_date.month()));
    char year_text[16];
    std::snprintf(year_text, sizeof year_text, "%04d", static_cast<int>(day_date.year()));
    const year_month_day year_start{day_date.year(), January, day{1}};
    const int day_of_year = (sys_days{day_date} - sys_days{year_start}).count() + 1;
    char doy_text[16];
    std::snprintf(doy_text, sizeof doy_text, "%03d", day_of_year);

    state.doy_codes[i] = doy_text;
    state.forecast_names[i] = month_text + year_text;
    state.date_labels[i] = day_text + "/" + month_text + "/" + year_text;
  }
}

}  // namespace norvane
