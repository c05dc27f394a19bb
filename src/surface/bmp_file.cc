// SPDX-License-Identifier: MIT
#include "surface/bmp_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <stdexcept>
#include <string>

namespace norvane {
namespace {

constexpr std::size_t file_header_size = 14;
constexpr std::size_t info_header_size = 40;
// Pictures larger than this are not figures of this program.
constexpr std::int64_t max_side = 1 << 15;

// Bytes of one stored row: a byte a pixel, padded to a multiple of four.
std::size_t row_stride(int width) { return (static_cast<std::size_t>(width) + 3) / 4 * 4; }

void put_u16(std::vector<unsigned char>& out, std::uint32_t value) {
  out.push_back(static_cast<unsigned char>(value & 0xFF));
  out.push_back(static_cast<unsigned char>((value >> 8) & 0xFF));
}

void put_u32(std::vector<unsigned char>& out, std::uint32_t value) {
  put_u16(out, value & 0xFFFF);
  put_u16(out, value >> 16);
}

std::uint32_t get_u16(std::span<const unsigned char> bytes, std::size_t at) {
  return bytes[at] | static_cast<std::uint32_t>(bytes[at + 1]) << 8;
}

std::uint32_t get_u32(std::span<const unsigned char> bytes, std::size_t at) {
  return get_u16(bytes, at) | get_u16(bytes, at + 2) << 16;
}

std::int32_t get_i32(std::span<const unsigned char> bytes, std::size_t at) {
  return static_cast<std::int32_t>(get_u32(bytes, at));
}

// How many indexes from `column` on equal the one there, at most `limit`; eight are compared at
// a time, since the runs of a figure are long.
int run_length(const std::uint8_t* row, int column, int limit) {
  const std::uint8_t* first = row + column;
  const std::uint64_t repeated = 0x0101010101010101ull * first[0];
  int run = 1;
  while (run + 8 <= limit) {
    std::uint64_t eight;
    std::memcpy(&eight, first + run, sizeof eight);
    if (const std::uint64_t differing = eight ^ repeated; differing != 0) {
      const int equal_bits = std::endian::native == std::endian::little
                                 ? std::countr_zero(differing)
                                 : std::countl_zero(differing);
      return run + equal_bits / 8;
    }
    run += 8;
  }
  while (run < limit && first[run] == first[0]) ++run;
  return run;
}

// A row as RLE8 runs of one index each, at most 255 long.
void put_rle8_row(std::vector<unsigned char>& out, const std::uint8_t* row, int width) {
  int column = 0;
  while (column < width) {
    const int run = run_length(row, column, std::min(width - column, 255));
    out.push_back(static_cast<unsigned char>(run));
    out.push_back(row[column]);
    column += run;
  }
}

// Decodes RLE8 `data` into `rows` (from the top); refuses anything that would write outside
// the picture, an index beyond the palette, and data without its end mark.
bool decode_rle8(std::span<const unsigned char> data, int width, int height,
                 std::size_t palette_size, std::span<std::uint8_t* const> rows) {
  std::size_t at = 0;
  std::int64_t column = 0;
  std::int64_t stored_row = 0;  // counted from the bottom, as RLE8 stores rows
  const auto row = [&] { return rows[static_cast<std::size_t>(height - 1 - stored_row)]; };
  while (at + 2 <= data.size()) {
    const unsigned count = data[at];
    const unsigned value = data[at + 1];
    at += 2;
    if (count > 0) {  // a run of one index
      if (stored_row >= height || column + count > width || value >= palette_size) return false;
      std::memset(row() + column, static_cast<int>(value), count);
      column += count;
      continue;
    }
    switch (value) {
      case 0:  // end of the row
        column = 0;
        if (++stored_row > height) return false;
        break;
      case 1:  // end of the picture
        return true;
      case 2:  // a move right and up
        if (at + 2 > data.size()) return false;
        column += data[at];
        stored_row += data[at + 1];
        at += 2;
        if (column > width || stored_row > height) return false;
        break;
      default: {  // `value` indexes as they are, padded to an even count
        const std::size_t literal = value;
        if (at + literal > data.size() || stored_row >= height || column + value > width) {
          return false;
        }
        for (std::size_t i = 0; i < literal; ++i) {
          if (data[at + i] >= palette_size) return false;
          row()[column + static_cast<std::int64_t>(i)] = data[at + i];
        }
        column += value;
        at += literal + literal % 2;
      }
    }
  }
  return false;
}

}  // namespace

std::vector<unsigned char> encode_bmp(const IndexedRows& picture, BmpCompression compression) {
  if (picture.width <= 0 || picture.height <= 0 || picture.width > max_side ||
      picture.height > max_side || picture.palette.empty() || picture.palette.size() > 256 ||
      picture.rows.size() != static_cast<std::size_t>(picture.height)) {
    throw std::invalid_argument("not a picture a BMP of 8 bits a pixel can hold");
  }
  const std::size_t stride = row_stride(picture.width);
  const std::size_t pixel_offset = file_header_size + info_header_size + 4 * picture.palette.size();

  std::vector<unsigned char> out;
  out.reserve(pixel_offset + (compression == BmpCompression::none
                                  ? stride * static_cast<std::size_t>(picture.height)
                                  : 8 * 1024));
  out.resize(file_header_size + info_header_size);  // written once the pixels' size is known
  for (const Rgb& colour : picture.palette) {
    out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
  }
  // Rows are stored from the bottom.
  for (int row = picture.height - 1; row >= 0; --row) {
    const std::uint8_t* indexes = picture.rows[static_cast<std::size_t>(row)];
    if (compression == BmpCompression::none) {
      out.insert(out.end(), indexes, indexes + picture.width);
      out.resize(out.size() + stride - static_cast<std::size_t>(picture.width), 0);
    } else {
      put_rle8_row(out, indexes, picture.width);
      out.insert(out.end(), {0, static_cast<unsigned char>(row == 0 ? 1 : 0)});
    }
  }
  const std::size_t pixel_bytes = out.size() - pixel_offset;

  std::vector<unsigned char> headers;
  headers.reserve(file_header_size + info_header_size);
  headers.push_back('B');
  headers.push_back('M');
  put_u32(headers, static_cast<std::uint32_t>(out.size()));
  put_u32(headers, 0);  // reserved
  put_u32(headers, static_cast<std::uint32_t>(pixel_offset));

  put_u32(headers, info_header_size);
  put_u32(headers, static_cast<std::uint32_t>(picture.width));
  put_u32(headers, static_cast<std::uint32_t>(picture.height));  // positive: rows from the bottom
  put_u16(headers, 1);                                           // planes
  put_u16(headers, 8);                                           // bits a pixel
  put_u32(headers, compression == BmpCompression::none ? 0 : 1);
  put_u32(headers, static_cast<std::uint32_t>(pixel_bytes));
  put_u32(headers, 3780);  // 96 dots per inch, in dots per metre
  put_u32(headers, 3780);
  put_u32(headers, static_cast<std::uint32_t>(picture.palette.size()));
  put_u32(headers, 0);  // all colours important
  std::copy(headers.begin(), headers.end(), out.begin());
  return out;
}

std::vector<unsigned char> encode_bmp(const IndexedPicture& picture, BmpCompression compression) {
  std::vector<const std::uint8_t*> rows;
  for (int row = 0; row < picture.height; ++row) {
    rows.push_back(picture.indexes.data() + static_cast<std::size_t>(row) * picture.width);
  }
  return encode_bmp(IndexedRows{picture.width, picture.height, picture.palette, rows}, compression);
}

bool decode_indexed_bmp(std::span<const unsigned char> bytes, const RowsFor& rows_for) {
  if (bytes.size() < file_header_size + info_header_size || bytes[0] != 'B' || bytes[1] != 'M') {
    return false;
  }
  const std::uint32_t pixel_offset = get_u32(bytes, 10);
  const std::uint32_t header_size = get_u32(bytes, 14);
  const std::int64_t width = get_i32(bytes, 18);
  const std::int64_t signed_height = get_i32(bytes, 22);
  const std::int64_t height = signed_height < 0 ? -signed_height : signed_height;
  const std::uint32_t compression = get_u32(bytes, 30);
  const std::uint32_t colours_used = get_u32(bytes, 46);
  if (header_size < info_header_size || get_u16(bytes, 26) != 1 || get_u16(bytes, 28) != 8 ||
      compression > 1 || (compression == 1 && signed_height < 0) || width <= 0 ||
      width > max_side || height <= 0 || height > max_side || colours_used > 256) {
    return false;
  }
  const std::size_t palette_size = colours_used == 0 ? 256 : colours_used;
  const std::size_t palette_offset = file_header_size + header_size;
  const std::size_t stride = row_stride(static_cast<int>(width));
  if (palette_offset + 4 * palette_size > pixel_offset || pixel_offset > bytes.size() ||
      (compression == 0 &&
       pixel_offset + stride * static_cast<std::size_t>(height) > bytes.size())) {
    return false;
  }

  std::vector<Rgb> palette;
  for (std::size_t i = 0; i < palette_size; ++i) {
    const std::size_t at = palette_offset + 4 * i;
    palette.push_back({bytes[at + 2], bytes[at + 1], bytes[at]});
  }
  const std::span<std::uint8_t* const> rows =
      rows_for(static_cast<int>(width), static_cast<int>(height), palette);
  if (rows.size() != static_cast<std::size_t>(height)) return false;

  if (compression == 1) {
    return decode_rle8(bytes.subspan(pixel_offset), static_cast<int>(width),
                       static_cast<int>(height), palette_size, rows);
  }
  for (std::int64_t row = 0; row < height; ++row) {
    // Rows are stored from the bottom unless the height is negative.
    const std::int64_t stored_row = signed_height < 0 ? row : height - 1 - row;
    const unsigned char* stored =
        bytes.data() + pixel_offset + stride * static_cast<std::size_t>(stored_row);
    std::uint8_t* indexes = rows[static_cast<std::size_t>(row)];
    std::memcpy(indexes, stored, static_cast<std::size_t>(width));
    // The largest index of the row tells whether all lie within the palette.
    if (*std::max_element(indexes, indexes + width) >= palette_size) return false;
  }
  return true;
}

std::optional<IndexedPicture> decode_indexed_bmp(std::span<const unsigned char> bytes,
                                                 int max_width, int max_height) {
  IndexedPicture picture;
  std::vector<std::uint8_t*> rows;
  const bool decoded = decode_indexed_bmp(bytes, [&](int width, int height,
                                                     std::span<const Rgb> palette) {
    if (width > max_width || height > max_height) return std::span<std::uint8_t* const>();
    picture.width = width;
    picture.height = height;
    picture.palette.assign(palette.begin(), palette.end());
    picture.indexes.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    for (int row = 0; row < height; ++row) {
      rows.push_back(picture.indexes.data() + static_cast<std::size_t>(row) * width);
    }
    return std::span<std::uint8_t* const>(rows);
  });
  if (!decoded) return std::nullopt;
  return picture;
}

}  // namespace norvane
