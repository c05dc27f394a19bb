// SPDX-License-Identifier: MIT
#include "support/gif_picture.h"

#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <stdexcept>

#include "surface/bmp_file.h"

namespace norvane::testing {
namespace {

std::vector<unsigned char> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A GIF decoded whole by giflib.
struct DecodedGif {
  struct Closer {
    void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
  };
  std::span<const unsigned char> rest;
  std::unique_ptr<GifFileType, Closer> gif;

  DecodedGif(std::span<const unsigned char> bytes, const std::string& path) : rest(bytes) {
    int error = 0;
    gif.reset(DGifOpen(this, &read, &error));
    if (!gif) throw std::runtime_error(path + ": " + GifErrorString(error));
    if (DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1) {
      throw std::runtime_error(path + ": " + GifErrorString(gif->Error));
    }
  }

  static int read(GifFileType* gif, GifByteType* into, int count) {
    auto& self = *static_cast<DecodedGif*>(gif->UserData);
    const auto taken = std::min(self.rest.size(), static_cast<std::size_t>(count));
    std::memcpy(into, self.rest.data(), taken);
    self.rest = self.rest.subspan(taken);
    return static_cast<int>(taken);
  }
};

Rgb colour_of(const ColorMapObject* map, int index) {
  if (map == nullptr || index >= map->ColorCount) throw std::runtime_error("no such colour");
  const GifColorType& colour = map->Colors[index];
  return {colour.Red, colour.Green, colour.Blue};
}

}  // namespace

Picture Picture::load(const std::string& path) {
  const std::vector<unsigned char> bytes = read_bytes(path);
  Picture picture;
  if (bytes.size() > 2 && bytes[0] == 'B' && bytes[1] == 'M') {
    const auto bmp = decode_indexed_bmp(bytes);
    if (!bmp) throw std::runtime_error("not a BMP of this program: " + path);
    picture.width_ = bmp->width;
    picture.height_ = bmp->height;
    for (const std::uint8_t index : bmp->indexes) picture.pixels_.push_back(bmp->palette[index]);
    return picture;
  }
  // The first image on the screen, the rest of the screen in its background colour.
  const DecodedGif decoded(bytes, path);
  const GifFileType& gif = *decoded.gif;
  const SavedImage& image = gif.SavedImages[0];
  const GifImageDesc& place = image.ImageDesc;
  const ColorMapObject* map = place.ColorMap != nullptr ? place.ColorMap : gif.SColorMap;
  picture.width_ = gif.SWidth;
  picture.height_ = gif.SHeight;
  picture.pixels_.assign(
      static_cast<std::size_t>(gif.SWidth) * gif.SHeight,
      gif.SColorMap != nullptr ? colour_of(gif.SColorMap, gif.SBackGroundColor) : Rgb{});
  // DGifSlurp gives the rows of an interlaced image in their places already.
  for (int stored = 0; stored < place.Height; ++stored) {
    const int row = place.Top + stored;
    for (int column = 0; column < place.Width; ++column) {
      const int x = place.Left + column;
      if (row >= gif.SHeight || x >= gif.SWidth) continue;
      picture.pixels_[static_cast<std::size_t>(row) * gif.SWidth + x] =
          colour_of(map, image.RasterBits[static_cast<std::size_t>(stored) * place.Width + column]);
    }
  }
  return picture;
}

std::vector<std::string> gif_comment_texts(const std::string& path) {
  const std::vector<unsigned char> bytes = read_bytes(path);
  const DecodedGif decoded(bytes, path);
  std::vector<std::string> texts;
  // A comment's first sub-block carries its code, the rest follow as continuations.
  const auto collect = [&](int count, const ExtensionBlock* blocks) {
    bool in_comment = false;
    for (int i = 0; i < count; ++i) {
      const ExtensionBlock& block = blocks[i];
      if (block.Function != CONTINUE_EXT_FUNC_CODE) {
        in_comment = block.Function == COMMENT_EXT_FUNC_CODE;
        if (in_comment) texts.emplace_back();
      }
      if (in_comment) {
        texts.back().append(reinterpret_cast<const char*>(block.Bytes),
                            static_cast<std::size_t>(block.ByteCount));
      }
    }
  };
  collect(decoded.gif->SavedImages[0].ExtensionBlockCount,
          decoded.gif->SavedImages[0].ExtensionBlocks);
  return texts;
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
