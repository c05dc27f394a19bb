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

// Reads the forecast file of the day's month (`file_previsioni`, from the forecast folder),
// leaves its values in state.day_forecast and draws its curve. A file that cannot be read or yields
// no value draws nothing and is reported as a warning: the figure is still complete without it.
// The warning of a figure without its forecast curve, for the forecast file at `path` as
// `file` found it (it cannot be read, or it holds no value); none when it gives a curve. A
// check of the set-up says what a run would.
std::optional<std::string> forecast_warning(const std::string& path, const ForecastFile& file);

void grafico_previsione(PlotState& state, DrawingSurface& surface, Diagnostics& diagnostics,
                        const std::string& file_previsioni);

}  // namespace norvane
