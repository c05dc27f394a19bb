#include "support/gif_picture.h"

#include <gd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

namespace norvane::testing {

Picture Picture::load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw std::runtime_error("cannot open " + path);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const bool is_gif = bytes.size() > 3 && std::string(bytes.data(), 3) == "GIF";
  gdImagePtr image = is_gif ? gdImageCreateFromGifPtr(static_cast<int>(bytes.size()), bytes.data())
                            : gdImageCreateFromBmpPtr(static_cast<int>(bytes.size()), bytes.data());
  if (image == nullptr)
    throw std::runtime_error("not a GIF or BMP picture: " + path);
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

}  // namespace norvane::testing
