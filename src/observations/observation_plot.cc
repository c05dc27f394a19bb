// SPDX-License-Identifier: MIT
#include "observations/observation_plot.h"

#include <cstdint>

#include "util/number_text.h"

namespace norvane {

int minute_offset(int minute) { return (minute + 2) / 6; }

void grafico_valori_autoscalati(DrawingSurface& surface,
                                std::span<const Measurement> measurements) {
  // The trace: the last value dot, and its value rounded (0 before any).
  std::int16_t obs_prev_x = 0;
  std::int16_t obs_prev_value = 0;
  for (const Measurement& measurement : measurements) {
    const auto x =
        static_cast<std::int16_t>(measurement.hour * 10 + minute_offset(measurement.minute()));
    surface.set_fill_style(FillStyle::solid);
    const std::optional<std::int16_t> rounded =
        measurement.value ? round_to_int16(*measurement.value) : std::nullopt;
    if (!rounded) {
      surface.set_fill_colour(colours::no_value);
      surface.draw_line(x, 1, x, 8, colours::no_value);
      continue;
    }
    const double v = *measurement.value;
    surface.set_fill_colour(colours::measured);
    surface.draw_circle(x, v, 2, colours::measured);
    if ((x == obs_prev_x + 2 || x == obs_prev_x + 3) && obs_prev_value != 0) {
      surface.draw_line(x, v, obs_prev_x, obs_prev_value, colours::measured);
    }
    obs_prev_x = x;
    obs_prev_value = *rounded;
  }
}

}  // namespace norvane
