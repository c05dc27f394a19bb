// Each figure passes from the drawing surface to the image converter as a BMP file in the
// forecast folder. That snapshot is always of one form, an uncompressed BMP of 8 bits a pixel
// with its palette, and both ends handle it here directly: through libgd, which reads and writes
// BMP one byte and one pixel at a time, the snapshots took about half of a whole run. The image
// converter still hands any BMP of another form to libgd.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "surface/colours.h"

namespace norvane {

// A picture of palette indexes, rows from the top.
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

// The picture as an uncompressed BMP file of 8 bits a pixel.
std::vector<unsigned char> encode_bmp(const IndexedPicture& picture);

// The picture in `bytes` when they are a well-formed uncompressed BMP of 8 bits a pixel whose
// pixels all lie within its palette; nothing for any other file.
std::optional<IndexedPicture> decode_indexed_bmp(std::span<const unsigned char> bytes);

}  // namespace norvane
