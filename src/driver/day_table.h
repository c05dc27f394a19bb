// SPDX-License-Identifier: MIT
// A run draws the six days from five days ago to today. Before anything is drawn, the names and
// labels those days need are worked out once: the day-of-year code and the month-and-year name
// of each day (which name its measurement files, its forecast file and its archive picture),
// its date label, and the two-digit minute texts used in the measurement-file names.
#pragma once

#include <chrono>
#include <string>

#include "state/plot_state.h"

namespace norvane {

// Fills `minute_labels`: "01" to "59" at indexes 1 to 59, "00" at index 60.
void fill_minute_labels(PlotState& state);

// What names a day: its day of the year ("001" to "366"), its month and year ("032024", which
// names its forecast file and gives the year of its measurement files and archive picture) and
// its date label ("02/03/2024").
struct DayNames {
  std::string doy_code;
  std::string forecast_name;
  std::string date_label;
};
DayNames day_names(std::chrono::year_month_day date);

// Fills `doy_codes`, `forecast_names` and `date_labels` at index i for the day 6 - i days
// before `today`. Each day carries its own month and year, so a run in early January draws
// days of December of the year before.
void build_day_table(PlotState& state, std::chrono::year_month_day today);

}  // namespace norvane
