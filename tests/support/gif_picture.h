// SPDX-License-Identifier: MIT
// Pictures the program wrote, decoded back for tests: pixel colours of a GIF (through giflib's
// decoder, as other programs read them) or of a BMP of the program's own form.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "surface/colours.h"
#include "surface/drawing_surface.h"

namespace norvane {
// Lets test failures show colours as (r, g, b).
inline void PrintTo(const Rgb& colour, std::ostream* out) {
  *out << "(" << int{colour.red} << ", " << int{colour.green} << ", " << int{colour.blue} << ")";
}
}  // namespace norvane

namespace norvane::testing {

class Picture {
 public:
  // Decodes the GIF or BMP file at `path`; throws when it is not one.
  static Picture load(const std::string& path);
  // The raster of a drawing surface.
  static Picture of(const DrawingSurface& surface);

  int width() const { return width_; }
  int height() const { return height_; }
  Rgb at(int column, int row) const;
  // How many pixels have `colour`.
  int count(Rgb colour) const;
  // The distinct colours of the picture.
  std::vector<Rgb> colours() const;
  bool operator==(const Picture& other) const = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Rgb> pixels_;
};

// The texts of the comment blocks before the first image of the GIF file at `path`.
std::vector<std::string> gif_comment_texts(const std::string& path);

// The colour of the pixel of `surface` that the user point (x, y) falls on.
Rgb colour_at(const DrawingSurface& surface, double x, double y);

// How many pixels of `colour` the surface has in the rows between user y values `y_from` and
// `y_to` (both excluded) and the columns of user x from `x_from` to `x_to` (both included).
int count_between(const DrawingSurface& surface, Rgb colour, double x_from, double x_to,
                  double y_from, double y_to);

}  // namespace norvane::testing
