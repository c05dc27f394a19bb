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

// Fills `days` at index i with the day 6 - i days before `today`, and `doy_codes`,
// `forecast_names` and `date_labels` with its day of the year, month key and label. Each day
// carries its own month and year, so a run in early January draws days of December of the year
// before.
void build_day_table(PlotState& state, std::chrono::year_month_day today);

}  // namespace norvane
