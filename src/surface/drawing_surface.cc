// SPDX-License-Identifier: MIT
#include "surface/drawing_surface.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "surface/bitmap_font.h"

namespace norvane {
namespace {

// Lines reaching further than this beyond the raster (a value far off the scale, say) are cut
// to it before conversion to integers; nearer ones are drawn exactly as given.
constexpr double far_outside_px = 4096;

// The one rounding rule: to the nearest pixel. Positions are limited first so that no value,
// however absurd, overflows an int; anything that far out is off the raster anyway.
int whole_pixel(double position) {
  constexpr double limit = 1 << 20;
  if (!(position > -limit)) position = -limit;  // also catches NaN
  if (position > limit) position = limit;
  return static_cast<int>(std::floor(position + 0.5));
}

// Cuts the segment (x1, y1)-(x2, y2) to the box [low, high] in both axes (Liang-Barsky).
// Returns false when nothing of it lies inside.
bool clip_segment(double& x1, double& y1, double& x2, double& y2, double low_x, double low_y,
                  double high_x, double high_y) {
  const double dx = x2 - x1;
  const double dy = y2 - y1;
  double enter = 0;
  double leave = 1;
  const auto cut = [&](double p, double q) {
    if (p == 0) return q >= 0;
    const double t = q / p;
    if (p < 0) {
      if (t > leave) return false;
      if (t > enter) enter = t;
    } else {
      if (t < enter) return false;
      if (t < leave) leave = t;
    }
    return true;
  };
  if (!cut(-dx, x1 - low_x) || !cut(dx, high_x - x1) || !cut(-dy, y1 - low_y) ||
      !cut(dy, high_y - y1)) {
    return false;
  }
  const double start_x = x1;
  const double start_y = y1;
  x1 = start_x + enter * dx;
  y1 = start_y + enter * dy;
  x2 = start_x + leave * dx;
  y2 = start_y + leave * dy;
  return true;
}

}  // namespace

DrawingSurface::DrawingSurface()
    : scale_right_(static_cast<float>(initial_width_px)),
      scale_bottom_(static_cast<float>(initial_height_px)) {
  new_raster(initial_width_px, initial_height_px);
}

void DrawingSurface::new_raster(int width, int height) {
  if (width <= 0 || height <= 0) throw std::invalid_argument("raster size must be positive");
  // The raster it replaces goes first, so that the new one can take its memory.
  raster_ = {};
  // The background is the palette's first colour, so a raster of zeros is all background.
  raster_ = {width,
             height,
             {colours::background},
             std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, 0)};
  rows_.clear();
  for (int row = 0; row < height; ++row) {
    rows_.push_back(raster_.indexes.data() + static_cast<std::size_t>(row) * width);
  }
  width_px_ = width;
  height_px_ = height;
}

void DrawingSurface::set_window_size(int outer_width, int outer_height) {
  new_raster(outer_width - 6, outer_height - 25);
}

void DrawingSurface::set_scale(float x1, float y1, float x2, float y2) {
  if (x1 == x2 || y1 == y2) throw std::invalid_argument("user scale must not be empty");
  scale_left_ = x1;
  scale_top_ = y1;
  scale_right_ = x2;
  scale_bottom_ = y2;
}

double DrawingSurface::column_at(double x) const {
  return (x - scale_left_) * width_px_ / (static_cast<double>(scale_right_) - scale_left_);
}

double DrawingSurface::row_at(double y) const {
  return (y - scale_top_) * height_px_ / (static_cast<double>(scale_bottom_) - scale_top_);
}

void DrawingSurface::draw_line(double x1, double y1, double x2, double y2, Rgb colour) {
  double column1 = column_at(x1);
  double row1 = row_at(y1);
  double column2 = column_at(x2);
  double row2 = row_at(y2);
  if (!std::isfinite(column1 + row1 + column2 + row2)) return;
  if (!clip_segment(column1, row1, column2, row2, -far_outside_px, -far_outside_px,
                    width_px_ + far_outside_px, height_px_ + far_outside_px)) {
    return;
  }
  const std::uint8_t index = palette_index(colour);
  int column = whole_pixel(column1);
  int row = whole_pixel(row1);
  const int end_column = whole_pixel(column2);
  const int end_row = whole_pixel(row2);
  if (column == end_column && row == end_row) {
    set_pixel_in_raster(column, row, index);  // a line of no length is still a point
    return;
  }
  // Bresenham, leaving out the end pixel.
  const int step_column = column < end_column ? 1 : -1;
  const int step_row = row < end_row ? 1 : -1;
  const int span_column = std::abs(end_column - column);
  const int span_row = -std::abs(end_row - row);
  int error = span_column + span_row;
  while (column != end_column || row != end_row) {
    set_pixel_in_raster(column, row, index);
    const int twice = 2 * error;
    if (twice >= span_row) {
      error += span_row;
      column += step_column;
    }
    if (twice <= span_column) {
      error += span_column;
      row += step_row;
    }
  }
}

std::uint8_t DrawingSurface::palette_index(Rgb colour) {
  std::vector<Rgb>& palette = raster_.palette;
  const auto found = std::find(palette.begin(), palette.end(), colour);
  if (found != palette.end()) return static_cast<std::uint8_t>(found - palette.begin());
  if (palette.size() == 256) throw std::length_error("a raster holds at most 256 colours");
  palette.push_back(colour);
  return static_cast<std::uint8_t>(palette.size() - 1);
}

void DrawingSurface::set_pixel_in_raster(int column, int row, std::uint8_t index) {
  if (column < 0 || row < 0 || column >= width_px_ || row >= height_px_) return;
  raster_.indexes[static_cast<std::size_t>(row) * static_cast<std::size_t>(width_px_) +
                  static_cast<std::size_t>(column)] = index;
}

void DrawingSurface::draw_circle(double x, double y, double radius, Rgb colour) {
  const int radius_px =
      whole_pixel(std::abs(radius) * width_px_ / (static_cast<double>(scale_right_) - scale_left_));
  const int centre_column = whole_pixel(column_at(x));
  const int centre_row = whole_pixel(row_at(y));
  if (centre_column < -radius_px || centre_column >= width_px_ + radius_px ||
      centre_row < -radius_px || centre_row >= height_px_ + radius_px) {
    return;
  }
  if (fill_style_ == FillStyle::solid) {
    const std::uint8_t fill_index = palette_index(fill_colour_);
    for (int dy = -radius_px; dy <= radius_px; ++dy) {
      for (int dx = -radius_px; dx <= radius_px; ++dx) {
        if (dx * dx + dy * dy < radius_px * radius_px) {
          set_pixel_in_raster(centre_column + dx, centre_row + dy, fill_index);
        }
      }
    }
  }
  // Midpoint circle: the outline pixels of one octant, mirrored into all eight.
  const std::uint8_t index = palette_index(colour);
  int dx = radius_px;
  int dy = 0;
  int decision = 1 - radius_px;
  while (dx >= dy) {
    const int points[8][2] = {{dx, dy},   {dy, dx},   {-dy, dx}, {-dx, dy},
                              {-dx, -dy}, {-dy, -dx}, {dy, -dx}, {dx, -dy}};
    for (const auto& point : points) {
      set_pixel_in_raster(centre_column + point[0], centre_row + point[1], index);
    }
    ++dy;
    if (decision < 0) {
      decision += 2 * dy + 1;
    } else {
      --dx;
      decision += 2 * (dy - dx) + 1;
    }
  }
}

void DrawingSurface::set_text_position(double x, double y) {
  text_x_ = static_cast<float>(x);
  text_y_ = static_cast<float>(y);
}

void DrawingSurface::print_text(std::string_view text) {
  const std::uint8_t index = palette_index(colours::text);
  int left = whole_pixel(column_at(text_x_));
  const int top = whole_pixel(row_at(text_y_));
  for (const char character : text) {
    if (const GlyphRows* glyph = glyph_of(character)) {
      for (int row = 0; row < glyph_height; ++row) {
        for (int column = 0; column < glyph_width; ++column) {
          if (((*glyph)[row] & (0x80 >> column)) != 0) {
            set_pixel_in_raster(left + column, top + row, index);
          }
        }
      }
    }
    left += glyph_width;
  }
}

void DrawingSurface::clear() {
  std::fill(raster_.indexes.begin(), raster_.indexes.end(), palette_index(colours::background));
  text_x_ = 0;
  text_y_ = 0;
}

IndexedRows DrawingSurface::indexed_rows(std::vector<Rgb>& palette) const {
  palette = raster_.palette;
  return {width_px_, height_px_, palette, rows_};
}

std::optional<FileError> DrawingSurface::save_bmp(const std::string& path) const {
  std::vector<Rgb> palette;
  return write_file_atomically(path, encode_bmp(indexed_rows(palette), BmpCompression::rle8));
}

Rgb DrawingSurface::pixel(int column, int row) const {
  if (column < 0 || row < 0 || column >= width_px_ || row >= height_px_) {
    throw std::out_of_range("pixel outside the raster");
  }
  return raster_.palette[raster_.at(column, row)];
}

}  // namespace norvane
