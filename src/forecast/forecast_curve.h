// SPDX-License-Identifier: MIT
// Each figure shows the month's forecast as a white curve: a filled dot for every hour that has
// a value, at x = 0, 10, ..., 230 (0 to 23 UT), and a line from each such dot to the dot of the
// hour before. An hour without a value leaves a gap: no dot, and no line leads to it, from it or
// across it. The curve is drawn over the frame and under the measurements, and is not clipped
// to the frame.
#pragma once

#include <optional>
#include <string>

#include "forecast/forecast_file.h"
#include "state/plot_state.h"
#include "surface/drawing_surface.h"
#include "util/diagnostics.h"

namespace norvane {

// The curve's geometry, which both its drawing and its value at a time follow: the x of the dot
// of `hour` (0 to 23), and whether the dots of `hour` and the hour after it are joined by a line
// (both have a value; the curve ends at 23 UT).
inline int forecast_dot_x(int hour) { return 10 * hour; }
bool forecast_hours_joined(const ForecastValues& values, int hour);

// The value, in tenths of MHz, that the curve of `values` shows at `minute_of_day` (0 to 1439,
// UT): the dot's value at a whole hour that has one, the value on the line between two joined
// dots, and nothing where no curve is drawn (next to an hour without a value, after 23:00).
std::optional<double> forecast_curve_value(const ForecastValues& values, int minute_of_day);

// Draws the curve of `values`.
void draw_forecast_curve(DrawingSurface& surface, const ForecastValues& values);

// The warning of a figure without its forecast curve, for the forecast file at `path` as
// `file` found it (it cannot be read, or it holds no value); none when it gives a curve. A
// check of the set-up says what a run would. `from_record` when the day's record gives the
// curve instead.
std::optional<std::string> forecast_warning(const std::string& path, const ForecastFile& file,
                                            bool from_record = false);

// Reads the forecast file of the day's month (`file_previsioni`, from the forecast folder),
// leaves its values in state.day_forecast and draws its curve. A file that cannot be read or yields
// no value is reported as a warning: the figure is still complete without it. Its day then keeps
// the forecast its record holds, when `recorded` has a value: a forecast file that is being
// replaced, or last month's that was cleared away, must not take the forecast out of the
// archive.
void grafico_previsione(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                        const std::string& file_previsioni,
                        const ForecastValues* recorded = nullptr);

}  // namespace norvane
