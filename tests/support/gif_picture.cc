// SPDX-License-Identifier: MIT
#include "support/gif_picture.h"

#include <gd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace norvane::testing {

Picture Picture::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool is_gif = bytes.size() > 3 && std::string(bytes.data(), 3) == "GIF";
  gdImagePtr image = is_gif ? gdImageCreateFromGifPtr(static_cast<int>(bytes.size()), bytes.data())
                            : gdImageCreateFromBmpPtr(static_cast<int>(bytes.size()), bytes.data());
  if (image == nullptr) throw std::runtime_error("not a GIF or BMP picture: " + path);
  const std::unique_ptr<gdImage, decltype(&gdImageDestroy)> owner(image, &gdImageDestroy);
  Picture picture;
  picture.width_ = gdImageSX(image);
  picture.height_ = gdImageSY(image);
  for (int row = 0; row < picture.height_; ++row) {
    for (int column = 0; column < picture.width_; ++column) {
      const int colour = gdImageGetPixel(image, column, row);
      picture.pixels_.push_back({static_cast<std::uint8_t>(gdImageRed(image, colour)),
                                 static_cast<std::uint8_t>(gdImageGreen(image, colour)),
                                 static_cast<std::uint8_t>(gdImageBlue(image, colour))});
    }
  }
  return picture;
}

Picture Picture::of(const DrawingSurface& surface) {
  Picture picture;
  picture.width_ = surface.width_px();
  picture.height_ = surface.height_px();
  for (int row = 0; row < picture.height_; ++row) {
    for (int column = 0; column < picture.width_; ++column) {
      picture.pixels_.push_back(surface.pixel(column, row));
    }
  }
  return picture;
}

Rgb Picture::at(int column, int row) const {
  if (column < 0 || row < 0 || column >= width_ || row >= height_) {
    throw std::out_of_range("pixel outside the picture");
  }
  return pixels_[static_cast<std::size_t>(row) * width_ + column];
}

int Picture::count(Rgb colour) const {
  return static_cast<int>(std::count(pixels_.begin(), pixels_.end(), colour));
}

std::vector<Rgb> Picture::colours() const {
  std::vector<Rgb> distinct;
  for (const Rgb& pixel : pixels_) {
    if (std::find(distinct.begin(), distinct.end(), pixel) == distinct.end()) {
      distinct.push_back(pixel);
    }
  }
  return distinct;
}

namespace {
int nearest(double position) { return static_cast<int>(std::floor(position + 0.5)); }
}  // namespace

Rgb colour_at(const DrawingSurface& surface, double x, double y) {
  return surface.pixel(nearest(surface.column_at(x)), nearest(surface.row_at(y)));
}

int count_between(const DrawingSurface& surface, Rgb colour, double x_from, double x_to,
                  double y_from, double y_to) {
  const int row_a = nearest(surface.row_at(y_from));
  const int row_b = nearest(surface.row_at(y_to));
  int count = 0;
  for (int row = std::min(row_a, row_b) + 1; row < std::max(row_a, row_b); ++row) {
    for (int column = nearest(surface.column_at(x_from));
         column <= nearest(surface.column_at(x_to)); ++column) {
      count += surface.pixel(column, row) == colour;
    }
  }
  return count;
}

}  // namespace norvane::testing
