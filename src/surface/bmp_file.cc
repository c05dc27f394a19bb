#include "surface/bmp_file.h"

#include <cstring>
#include <stdexcept>

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

}  // namespace

std::vector<unsigned char> encode_bmp(const IndexedPicture& picture) {
  if (picture.width <= 0 || picture.height <= 0 || picture.width > max_side ||
      picture.height > max_side || picture.palette.empty() || picture.palette.size() > 256 ||
      picture.indexes.size() !=
          static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height)) {
    throw std::invalid_argument("not a picture a BMP of 8 bits a pixel can hold");
  }
  const std::size_t stride = row_stride(picture.width);
  const std::size_t pixel_offset = file_header_size + info_header_size + 4 * picture.palette.size();
  const std::size_t pixel_bytes = stride * static_cast<std::size_t>(picture.height);

  std::vector<unsigned char> out;
  out.reserve(pixel_offset + pixel_bytes);
  out.push_back('B');
  out.push_back('M');
  put_u32(out, static_cast<std::uint32_t>(pixel_offset + pixel_bytes));
  put_u32(out, 0);  // reserved
  put_u32(out, static_cast<std::uint32_t>(pixel_offset));

  put_u32(out, info_header_size);
  put_u32(out, static_cast<std::uint32_t>(picture.width));
  put_u32(out, static_cast<std::uint32_t>(picture.height));  // positive: rows from the bottom
  put_u16(out, 1);                                           // planes
  put_u16(out, 8);                                           // bits a pixel
  put_u32(out, 0);                                           // no compression
  put_u32(out, static_cast<std::uint32_t>(pixel_bytes));
  put_u32(out, 3780);  // 96 dots per inch, in dots per metre
  put_u32(out, 3780);
  put_u32(out, static_cast<std::uint32_t>(picture.palette.size()));
  put_u32(out, 0);  // all colours important

  for (const Rgb& colour : picture.palette) {
    out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
  }
  for (int row = picture.height - 1; row >= 0; --row) {
    const auto* first = &picture.indexes[static_cast<std::size_t>(row) * picture.width];
    out.insert(out.end(), first, first + picture.width);
    out.resize(out.size() + stride - static_cast<std::size_t>(picture.width), 0);
  }
  return out;
}

std::optional<IndexedPicture> decode_indexed_bmp(std::span<const unsigned char> bytes) {
  if (bytes.size() < file_header_size + info_header_size || bytes[0] != 'B' || bytes[1] != 'M') {
    return std::nullopt;
  }
  const std::uint32_t pixel_offset = get_u32(bytes, 10);
  const std::uint32_t header_size = get_u32(bytes, 14);
  const std::int64_t width = get_i32(bytes, 18);
  const std::int64_t signed_height = get_i32(bytes, 22);
  const std::int64_t height = signed_height < 0 ? -signed_height : signed_height;
  const std::uint32_t colours_used = get_u32(bytes, 46);
  if (header_size < info_header_size || get_u16(bytes, 26) != 1 || get_u16(bytes, 28) != 8 ||
      get_u32(bytes, 30) != 0 || width <= 0 || width > max_side || height <= 0 ||
      height > max_side || colours_used > 256) {
    return std::nullopt;
  }
  const std::size_t palette_size = colours_used == 0 ? 256 : colours_used;
  const std::size_t palette_offset = file_header_size + header_size;
  const std::size_t stride = row_stride(static_cast<int>(width));
  if (palette_offset + 4 * palette_size > pixel_offset ||
      pixel_offset + stride * static_cast<std::size_t>(height) > bytes.size()) {
    return std::nullopt;
  }

  IndexedPicture picture;
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  for (std::size_t i = 0; i < palette_size; ++i) {
    const std::size_t at = palette_offset + 4 * i;
    picture.palette.push_back({bytes[at + 2], bytes[at + 1], bytes[at]});
  }
  picture.indexes.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < picture.height; ++row) {
    // Rows are stored from the bottom unless the height is negative.
    const int stored_row = signed_height < 0 ? row : picture.height - 1 - row;
    const auto* first = bytes.data() + pixel_offset + stride * static_cast<std::size_t>(stored_row);
    std::memcpy(&picture.indexes[static_cast<std::size_t>(row) * picture.width], first,
                static_cast<std::size_t>(picture.width));
  }
  for (const std::uint8_t index : picture.indexes) {
    if (index >= palette_size) return std::nullopt;
  }
  return picture;
}

}  // namespace norvane
