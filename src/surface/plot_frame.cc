// SPDX-License-Identifier: MIT
#include "surface/plot_frame.h"

#include <array>
#include <string_view>

namespace norvane {
namespace {

// One step of the frame: a line from (x1, y1) to (x2, y2) in `colour`, or, when `text` is not
// empty, that text with its top-left corner at (x1, y1).
struct FrameStep {
  int x1, y1, x2, y2;
  Rgb colour;
  std::string_view text;
};

constexpr FrameStep line(int x1, int y1, int x2, int y2, Rgb colour) {
  return {x1, y1, x2, y2, colour, {}};
}
constexpr FrameStep label(int x, int y, std::string_view text) {
  return {x, y, 0, 0, colours::text, text};
}

// The border encloses x 0 to 241 and y 0 to 191; the bottom and top borders run on to x = 242.
// Vertical grid lines stop at y = 189, horizontal ones span x = 1 to 241. Time labels hang
// below the axis, 3 units left of their grid line for one digit and 7 for two; value labels
// stand 5 units above their grid line, at x = -13 for one digit and -18 for two.
constexpr std::array<FrameStep, 23> frame_steps{{
    line(0, 0, 242, 0, colours::border),      // bottom border, the time axis
    line(0, 191, 0, 0, colours::border),      // left border, the value axis
    line(0, 191, 242, 191, colours::border),  // top border
    line(241, 191, 241, 0, colours::border),  // right border
    line(50, 189, 50, 0, colours::grid),
    label(47, -5, "5"),
    line(100, 189, 100, 0, colours::grid),
    label(93, -5, "10"),
    line(150, 189, 150, 0, colours::grid),
    label(143, -5, "15"),
    line(200, 189, 200, 0, colours::grid),
    label(193, -5, "20"),
    label(100, -20, "Time(UT)"),
    label(-13, 7, "0"),
    line(1, 50, 241, 50, colours::grid),
    label(-13, 55, "5"),
    line(1, 100, 241, 100, colours::grid),
    label(-18, 105, "10"),
    line(1, 150, 241, 150, colours::grid),
    label(-18, 155, "15"),
    label(-18, 195, "19"),
    label(-30, 138, "foF2"),
    label(-33, 125, "(MHz)"),
}};

}  // namespace

void disegno_dello_stage(DrawingSurface& surface) {
  for (const FrameStep& step : frame_steps) {
    if (step.text.empty()) {
      surface.draw_line(step.x1, step.y1, step.x2, step.y2, step.colour);
    } else {
      surface.set_text_position(step.x1, step.y1);
      surface.print_text(step.text);
    }
  }
}

}  // namespace norvane
