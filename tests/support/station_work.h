// SPDX-License-Identifier: MIT
// A station's working folder for end-to-end runs of the program on today's date: settings,
// folders, forecasts and measurements for the six days of a run.
#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "state/plot_state.h"
#include "support/gif_picture.h"
#include "support/program.h"
#include "support/temp_folder.h"

namespace norvane::testing {

std::chrono::year_month_day local_today();

// Fills `work` for a run on the days of `days`: the settings file naming fc/, obs/ and www/,
// the archive folder, the forecast of each month involved (a flat curve at 5.5 MHz + the
// month's number / 10) and a Rome station's files at hh:30 of every hour of the six days,
// valued 2 MHz + the slot + hour / 4.
void prepare_station_work(const TempFolder& work, const PlotState& days);

// The relative name of the measurement file of `slot` at hh:mm in `work` as prepared above.
std::string measurement_name(const PlotState& days, int slot, int hour, int minute);

// Runs the program in `work` on a date that does not change during the run; returns its
// result and the table of the six days it drew.
std::pair<ProgramResult, PlotState> run_today(const TempFolder& work,
                                              const ProgramOptions& options = {});

// The pixel of user point (x, y) on a figure.
Rgb figure_pixel(const Picture& picture, int x, double y);

}  // namespace norvane::testing
