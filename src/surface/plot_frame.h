// SPDX-License-Identifier: MIT
// Every figure has the same frame, drawn first on the cleared surface: the yellow border of the
// plot area, the grey grid every 5 hours and every 5 MHz, the numbers along both axes and the
// two axis titles. The forecast, the measurements and the date line are drawn over it.
#pragma once

#include "surface/drawing_surface.h"

namespace norvane {

// Draws the frame. It reads no state and draws the same picture every time.
void disegno_dello_stage(DrawingSurface& surface);

}  // namespace norvane
