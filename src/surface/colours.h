// SPDX-License-Identifier: MIT
// The colours of a figure. Every pixel of every picture is one of these: no anti-aliasing and
// no blending anywhere, so the pictures keep a small exact palette and tests can tell each
// element of a figure by its colour.
#pragma once

#include <array>
#include <cstdint>

namespace norvane {

struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

// Colour n (0 to 15) of the classic 16-colour palette.
constexpr Rgb palette_colour(int n) {
  constexpr std::array<Rgb, 16> palette{{{0, 0, 0},
                                         {0, 0, 128},
                                         {0, 128, 0},
                                         {0, 128, 128},
                                         {128, 0, 0},
                                         {128, 0, 128},
                                         {128, 128, 0},
                                         {192, 192, 192},
                                         {128, 128, 128},
                                         {0, 0, 255},
                                         {0, 255, 0},
                                         {0, 255, 255},
                                         {255, 0, 0},
                                         {255, 0, 255},
                                         {255, 255, 0},
                                         {255, 255, 255}}};
  return palette.at(static_cast<std::size_t>(n));
}

namespace colours {
inline constexpr Rgb background{0, 0, 0};
inline constexpr Rgb text{255, 255, 128};            // every label and the date line
inline constexpr Rgb border{255, 255, 0};            // frame of the plot area
inline constexpr Rgb grid{100, 100, 100};            // grid lines
inline constexpr Rgb forecast = palette_colour(15);  // white forecast curve
inline constexpr Rgb measured = palette_colour(12);  // red measured values
inline constexpr Rgb no_value = palette_colour(10);  // green ticks of measurements without value
}  // namespace colours

}  // namespace norvane
