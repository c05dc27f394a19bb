// SPDX-License-Identifier: MIT
// Each figure passes from the drawing surface to the image converter as a BMP file in the
// forecast folder. That snapshot is always of one form, a BMP of 8 bits a pixel with its
// palette, run-length encoded (RLE8), and both ends handle it here. A figure is mostly long
// runs of one colour, so RLE8 makes its snapshot about a tenth of the size of an uncompressed
// one, which is that much less to write and read back. The uncompressed form of 8 bits a pixel
// is read as well; the image converter refuses a BMP of any other form.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "surface/colours.h"

namespace norvane {

// A picture of palette indexes, as its rows from the top, each `width` indexes long.
struct IndexedRows {
  int width = 0;
  int height = 0;
  std::span<const Rgb> palette;               // 1 to 256 colours
  std::span<const std::uint8_t* const> rows;  // `height` rows
};

// A picture of palette indexes that holds its pixels.
struct IndexedPicture {
  int width = 0;
  int height = 0;
  std::vector<Rgb> palette;           // 1 to 256 colours
  std::vector<std::uint8_t> indexes;  // width x height, row after row

  std::uint8_t at(int column, int row) const {
    return indexes[static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                   static_cast<std::size_t>(column)];
  }
};

enum class BmpCompression { none, rle8 };

// The picture as a BMP file of 8 bits a pixel.
std::vector<unsigned char> encode_bmp(const IndexedRows& picture, BmpCompression compression);
std::vector<unsigned char> encode_bmp(const IndexedPicture& picture, BmpCompression compression);

// Where a decoded picture goes: given its size and palette, the `height` rows (from the top) to
// fill, each `width` bytes long and all 0 to begin with, or no rows to refuse the picture.
using RowsFor = std::function<std::span<std::uint8_t* const>(int width, int height,
                                                             std::span<const Rgb> palette)>;

// Decodes `bytes` into the rows `rows_for` gives when they are a well-formed BMP of 8 bits a
// pixel, uncompressed or RLE8, whose pixels all lie within the picture and its palette. Returns
// false for any other file; rows given may then be partly written.
bool decode_indexed_bmp(std::span<const unsigned char> bytes, const RowsFor& rows_for);

// The picture in `bytes`, decoded as above; nothing for any other file, or for a picture wider
// than `max_width` or higher than `max_height`.
std::optional<IndexedPicture> decode_indexed_bmp(std::span<const unsigned char> bytes,
                                                 int max_width = 1 << 15, int max_height = 1 << 15);

}  // namespace norvane
