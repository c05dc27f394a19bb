// SPDX-License-Identifier: MIT
// Every figure is composed on one off-screen raster, in user coordinates that are the data's
// own units: x is universal time at 10 units per hour, y is foF2 in tenths of MHz, upward. The
// surface keeps the raster, the user scale, the current text position and the circle fill
// settings, and offers the handful of operations the figure is drawn with; nothing else knows
// how the raster is kept.
//
// Conversion to whole pixels has one rule, used by every operation: a user point maps to the
// raster position given by the scale, rounded to the nearest pixel. So lines that share an end
// point share its pixel, and the four border lines of the frame meet at the corners. Lines are
// 1 pixel wide and, as in the window system the figures were designed on, leave out their end
// pixel: the frame's borders run to x = 242 to end on the right border at 241, and grid lines
// that end on a border do not paint over it. Circles are round in pixels; text is the bold
// 7 x 13 bitmap face of surface/bitmap_font.h. Drawing outside the raster is clipped without
// error.
//
// The raster keeps a palette, a byte a pixel: a figure has seven colours, and a palette raster
// holds each of them exactly (up to 256 colours, in the order of their first use) while making
// the snapshot written for each figure a third of the size of a true-colour one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "surface/bmp_file.h"
#include "surface/colours.h"
#include "util/file_write.h"

namespace norvane {

enum class FillStyle { solid = 0, transparent = 1 };

class DrawingSurface {
 public:
  // The raster's size before the sizing procedure replaces it.
  static constexpr int initial_width_px = 312;
  static constexpr int initial_height_px = 213;

  // A raster of the initial size, all background, with pixel coordinates as user coordinates.
  DrawingSurface();

  int width_px() const { return width_px_; }
  int height_px() const { return height_px_; }
  float scale_left() const { return scale_left_; }
  float scale_top() const { return scale_top_; }
  float scale_right() const { return scale_right_; }
  float scale_bottom() const { return scale_bottom_; }
  float text_x() const { return text_x_; }
  float text_y() const { return text_y_; }

  // Gives the (never shown) window its outer size in pixels. The frame of the window takes 3
  // pixels at the left, right and bottom and 22 at the top, so the raster becomes
  // (outer width - 6) x (outer height - 25), all background.
  void set_window_size(int outer_width, int outer_height);

  // (x1, y1) becomes the user point of the raster's top-left corner, (x2, y2) that of its
  // bottom-right corner; with y2 < y1 the y axis points up.
  void set_scale(float x1, float y1, float x2, float y2);

  void draw_line(double x1, double y1, double x2, double y2, Rgb colour);
  // A circle whose radius is measured in horizontal user units, outlined in `colour` and, when
  // the fill style is solid, filled with the fill colour.
  void draw_circle(double x, double y, double radius, Rgb colour);
  void set_fill_style(FillStyle style) { fill_style_ = style; }
  void set_fill_colour(Rgb colour) { fill_colour_ = colour; }

  void set_text_position(double x, double y);
  // Paints the glyphs of `text` in the text colour, the top-left corner of the first character
  // cell at the text position; nothing behind the glyphs is painted.
  void print_text(std::string_view text);

  // Paints the whole raster with the background and puts the text position at (0, 0); the
  // scale and the fill settings stay.
  void clear();

  // The raster as rows of palette indexes, with its colours put in `palette`; valid while the
  // surface and `palette` are unchanged.
  IndexedRows indexed_rows(std::vector<Rgb>& palette) const;

  // Writes the raster to `path` as an RLE8 BMP file of 8 bits a pixel, replacing any file of
  // that name.
  std::optional<FileError> save_bmp(const std::string& path) const;

  // Raster position of a user point before conversion to whole pixels (column from the left,
  // row from the top).
  double column_at(double x) const;
  double row_at(double y) const;
  // The colour of a pixel of the raster.
  Rgb pixel(int column, int row) const;

 private:
  // The raster's palette entry for `colour`, added at first use (a figure has seven colours of
  // the 256 a palette holds).
  std::uint8_t palette_index(Rgb colour);
  // Sets the pixel when it lies on the raster.
  void set_pixel_in_raster(int column, int row, std::uint8_t index);
  // A raster of `width` x `height` pixels, all background.
  void new_raster(int width, int height);

  IndexedPicture raster_;
  std::vector<const std::uint8_t*> rows_;  // the start of each row of raster_
  int width_px_ = 0;
  int height_px_ = 0;
  float scale_left_ = 0;
  float scale_top_ = 0;
  float scale_right_ = 0;
  float scale_bottom_ = 0;
  float text_x_ = 0;
  float text_y_ = 0;
  FillStyle fill_style_ = FillStyle::transparent;
  Rgb fill_colour_ = colours::background;
};

}  // namespace norvane
