// SPDX-License-Identifier: MIT
// The figure's geometry is fixed once per run, before the first day is drawn: the margins
// around the plot area that hold the labels, the raster size that leaves room for them, and the
// user coordinate system in which the plot area is 0..240 (24 hours) by 0..190 (19 MHz).
#pragma once

#include "state/plot_state.h"
#include "surface/drawing_surface.h"

namespace norvane {

// The size of every figure's raster, in pixels.
inline constexpr int figure_width = 286;
inline constexpr int figure_height = 231;

// Sets the margins (top 25, bottom 45, right 10, left 35), the raster to 286 x 231 pixels and
// the user scale to (-35, 215) at the top-left corner and (251, -46) at the bottom-right one.
void impostazioni_dimensioni_e_scala_del_form(PlotState& state, DrawingSurface& surface);

}  // namespace norvane
