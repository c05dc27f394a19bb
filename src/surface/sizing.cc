// SPDX-License-Identifier: MIT
#include "surface/sizing.h"

namespace norvane {
namespace {

// Width and height of the plot area in user units. The raster's height is sized for 160
// units, not 190, so the value axis is drawn at 231 / 261 pixels per unit.
constexpr int plot_width = 240;
constexpr int plot_height = 190;
constexpr int sizing_height = 160;

// Pixels the never-shown window's frame takes: 3 left and right, 22 top and 3 bottom.
constexpr int frame_width = 6;
constexpr int frame_height = 25;

}  // namespace

void impostazioni_dimensioni_e_scala_del_form(PlotState& state, DrawingSurface& surface) {
  state.margin_top = 25;
  state.margin_bottom = 45;
  state.margin_right = 10;
  state.margin_left = 35;

  const int outer_width = state.margin_right + plot_width + state.margin_left + frame_width + 1;
  const int outer_height =
      state.margin_top + sizing_height + state.margin_bottom + frame_height + 1;
  surface.set_window_size(outer_width, outer_height);

  surface.set_scale(static_cast<float>(-state.margin_left),
                    static_cast<float>(state.margin_top + plot_height),
                    static_cast<float>(state.margin_right + plot_width + 1),
                    static_cast<float>(-(state.margin_bottom + 1)));
}

}  // namespace norvane
