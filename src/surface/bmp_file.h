// SPDX-License-Identifier: MIT
// Each figure passes from the drawing surface to the image converter as a BMP file in the
// forecast folder. That snapshot is always of one form, a BMP of 8 bits a pixel with its
// palette, run-length encoded (RLE8), and both ends handle it here directly: through libgd,
// which reads and writes BMP one byte and one pixel at a time, the snapshots took about half of
// a whole run. A figure is mostly long runs of one colour, so RLE8 makes its snapshot about a
// tenth of the size of an uncompressed one, which is that much less to write and read back. The
// uncompressed form of 8 bits a pixel is read as well; the image converter hands any BMP of
// another form to libgd.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
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

// A BMP of any other form goes to libgd, which allocates the whole picture its header declares
// before it reads a pixel, and then reads one pixel at a time: a file of a few hundred bytes
// declaring millions of rows would cost gigabytes and many seconds. So the file is checked
// first. Returns why `bytes` cannot be a BMP picture of at most `max_width` x `max_height`
// pixels in a form libgd reads (a header that is not well-formed, a form libgd does not read,
// a size out of bounds, or fewer bytes after the pixel offset than libgd reads for that size),
// or nothing when it can be.
std::optional<std::string> bmp_fault(std::span<const unsigned char> bytes, int max_width,
                                     int max_height);

// libgd reads the palette right after the first 40 bytes of the header, so it would take the
// palette of a BMP with a Windows 4 or 5 header (108 or 124 bytes) from the header's own
// fields. Cuts the header of such a BMP, one that bmp_fault found sound, to its first 40 bytes
// (its other fields tell colour spaces, which no figure uses); leaves any other BMP as it is.
void shorten_header_for_libgd(std::vector<unsigned char>& bytes);

}  // namespace norvane
