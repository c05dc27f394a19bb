// SPDX-License-Identifier: MIT
#include "export/image_converter.h"

#include <gd.h>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <unordered_map>
#include <vector>

#include "archive/gif_comment.h"
#include "surface/bmp_file.h"
#include "surface/gd_memory_io.h"
#include "surface/sizing.h"
#include "util/input_file.h"

namespace norvane {
namespace {

// The largest BMP file of a figure's size in any form read here: the longest header, a full
// palette and 32 bits a pixel. The figure's own snapshot is about 8 KB.
constexpr std::size_t max_bmp_file_bytes =
    14 + 124 + 256 * 4 + std::size_t{figure_width} * figure_height * 4;

// Reads the whole BMP file at `path`, refusing one larger than a figure's can be; only a regular
// file is read.
std::optional<FileError> read_whole_file(const std::string& path, std::vector<unsigned char>& out) {
  int error = 0;
  auto file = InputFile::open(path, &error);
  if (!file) return FileError{FileError::Scope::file, path, error_text(error)};
  if (!file->read_all(out, max_bmp_file_bytes)) {
    return FileError{FileError::Scope::file, path, error_text(file->read_error())};
  }
  return std::nullopt;
}

// A palette copy of a true-colour picture whose palette holds exactly the picture's colours,
// in the order they first appear; empty when the picture has more than 256 colours.
GdImage exact_palette_copy(gdImagePtr picture) {
  const int width = gdImageSX(picture);
  const int height = gdImageSY(picture);
  GdImage copy(gdImageCreate(width, height));
  if (!copy) throw std::bad_alloc();
  std::unordered_map<int, int> index_of_colour;
  int last_colour = -1;
  int last_index = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const int colour = gdImageGetTrueColorPixel(picture, column, row) & 0xFFFFFF;
      if (colour != last_colour) {
        auto found = index_of_colour.find(colour);
        if (found == index_of_colour.end()) {
          if (index_of_colour.size() == gdMaxColors) return nullptr;
          const int index = gdImageColorAllocate(copy.get(), (colour >> 16) & 0xFF,
                                                 (colour >> 8) & 0xFF, colour & 0xFF);
          found = index_of_colour.emplace(colour, index).first;
        }
        last_colour = colour;
        last_index = found->second;
      }
      gdImageSetPixel(copy.get(), column, row, last_index);
    }
  }
  return copy;
}

// The picture as a palette picture for the GIF: exact when it has at most 256 colours, else
// libgd's best 256 without dithering.
GdImage to_palette_picture(gdImagePtr picture) {
  GdImage palette_picture = exact_palette_copy(picture);
  if (!palette_picture) {
    palette_picture.reset(gdImageCreatePaletteFromTrueColor(picture, 0, gdMaxColors));
    if (!palette_picture) throw std::bad_alloc();
  }
  return palette_picture;
}

// The picture in `bytes` as a libgd palette picture when they are a BMP of 8 bits a pixel that
// bmp_file reads, of at most a figure's size; nothing else.
GdImage decode_indexed(std::span<const unsigned char> bytes) {
  GdImage picture;
  const bool decoded =
      decode_indexed_bmp(bytes, [&](int width, int height, std::span<const Rgb> palette) {
        if (width > figure_width || height > figure_height) return std::span<std::uint8_t* const>();
        picture.reset(gdImageCreate(width, height));
        if (!picture) throw std::bad_alloc();
        for (const Rgb& colour : palette) {
          gdImageColorAllocate(picture.get(), colour.red, colour.green, colour.blue);
        }
        return std::span<std::uint8_t* const>(picture->pixels, static_cast<std::size_t>(height));
      });
  if (!decoded) picture.reset();
  return picture;
}

}  // namespace

std::optional<FileError> ImageConverter::load_bmp(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (auto error = read_whole_file(path, bytes)) return error;
  GdImage picture = decode_indexed(bytes);
  if (!picture) {
    // Any other form goes to libgd, once its header has been found sound and its size possible.
    if (auto fault = bmp_fault(bytes, figure_width, figure_height)) {
      return FileError{FileError::Scope::file, path, *fault};
    }
    shorten_header_for_libgd(bytes);
    GdMemoryReader reader(bytes);
    picture.reset(gdImageCreateFromBmpCtx(reader.context()));
  }
  if (!picture) return FileError{FileError::Scope::file, path, "not a BMP picture"};
  // A BMP of 8 bits a pixel or less loads with its palette, which a GIF takes as it is; a
  // true-colour one gets a palette of its own colours.
  if (gdImageTrueColor(picture.get())) picture = to_palette_picture(picture.get());
  picture_ = std::move(picture);
  comment_.clear();
  encoded_.clear();
  return std::nullopt;
}

void ImageConverter::load_indexed(const IndexedRows& picture) {
  GdImage copy(gdImageCreate(picture.width, picture.height));
  if (!copy) throw std::bad_alloc();
  for (const Rgb& colour : picture.palette) {
    gdImageColorAllocate(copy.get(), colour.red, colour.green, colour.blue);
  }
  for (int row = 0; row < picture.height; ++row) {
    std::memcpy(copy->pixels[row], picture.rows[static_cast<std::size_t>(row)],
                static_cast<std::size_t>(picture.width));
  }
  picture_ = std::move(copy);
  comment_.clear();
  encoded_.clear();
}

void ImageConverter::set_comment(std::string text) {
  comment_ = std::move(text);
  encoded_.clear();
}

std::optional<FileError> ImageConverter::save_gif(const std::string& path, bool interlaced,
                                                  bool* kept) {
  if (!picture_) throw std::logic_error("save_gif without a loaded picture");
  // The held picture does not change, so a second save of it writes the same encoding again.
  if (encoded_.empty() || encoded_interlaced_ != interlaced) {
    gdImageInterlace(picture_.get(), interlaced ? 1 : 0);
    GdMemoryWriter writer;
    gdImageGifCtx(picture_.get(), writer.context());
    encoded_ = writer.take();
    encoded_interlaced_ = interlaced;
    if (encoded_.empty()) throw std::runtime_error("libgd could not encode the GIF");
    if (!comment_.empty()) encoded_ = with_gif_comment(encoded_, comment_);
  }
  return update_file_atomically(path, encoded_, kept);
}

void ImageConverter::reset() {
  picture_.reset();
  comment_.clear();
  encoded_.clear();
}

}  // namespace norvane
