// SPDX-License-Identifier: MIT
#include "surface/bmp_file.h"

#include <gd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "support/gif_picture.h"

namespace norvane {
namespace {

// A 5 x 3 picture (rows padded to 8 bytes) of three colours.
IndexedPicture small_picture() {
  IndexedPicture picture;
  picture.width = 5;
  picture.height = 3;
  picture.palette = {colours::background, colours::measured, colours::forecast};
  picture.indexes = {0, 1, 2, 1, 0,  //
                     2, 2, 2, 2, 2,  //
                     1, 0, 0, 0, 1};
  return picture;
}

void expect_same(const IndexedPicture& actual, const IndexedPicture& expected) {
  EXPECT_EQ(actual.width, expected.width);
  EXPECT_EQ(actual.height, expected.height);
  EXPECT_EQ(actual.palette, expected.palette);
  EXPECT_EQ(actual.indexes, expected.indexes);
}

TEST(BmpFile, RoundTripsAnIndexedPictureInBothForms) {
  const IndexedPicture picture = small_picture();
  const std::vector<unsigned char> bytes = encode_bmp(picture, BmpCompression::none);
  EXPECT_EQ(bytes.size(), 14u + 40u + 3 * 4 + 3 * 8);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[28], 8);  // bits a pixel
  EXPECT_EQ(bytes[30], 0);  // no compression
  auto decoded = decode_indexed_bmp(bytes);
  ASSERT_TRUE(decoded);
  expect_same(*decoded, picture);

  const std::vector<unsigned char> rle8 = encode_bmp(picture, BmpCompression::rle8);
  EXPECT_EQ(rle8[30], 1);
  // Bottom row first: runs (1,1) (3,0) (1,1), end of row; (5,2), end of row; then the top row
  // in five runs of one and the end of the picture.
  const std::vector<unsigned char> runs = {1, 1, 3, 0, 1, 1, 0, 0, 5, 2, 0, 0,
                                           1, 0, 1, 1, 1, 2, 1, 1, 1, 0, 0, 1};
  EXPECT_EQ(std::vector<unsigned char>(rle8.end() - static_cast<long>(runs.size()), rle8.end()),
            runs);
  EXPECT_EQ(rle8[2] | rle8[3] << 8, static_cast<int>(rle8.size()));
  decoded = decode_indexed_bmp(rle8);
  ASSERT_TRUE(decoded);
  expect_same(*decoded, picture);

  // Runs of every length from 1 to 20, and runs longer than 255, which are split.
  IndexedPicture wide{700, 2, {colours::background, colours::border, colours::grid}, {}};
  for (int length = 1; wide.indexes.size() < 700; ++length) {
    wide.indexes.resize(std::min<std::size_t>(wide.indexes.size() + length % 21, 700),
                        static_cast<std::uint8_t>(length % 3));
  }
  wide.indexes.resize(1400, 1);
  decoded = decode_indexed_bmp(encode_bmp(wide, BmpCompression::rle8));
  ASSERT_TRUE(decoded);
  expect_same(*decoded, wide);
}

TEST(BmpFile, ReadsRle8MovesAndLiteralIndexes) {
  std::vector<unsigned char> bytes = encode_bmp(small_picture(), BmpCompression::rle8);
  bytes.resize(14 + 40 + 3 * 4);
  // Bottom row: a move 2 right and 1 up; then in the middle row 3 literal indexes (padded to
  // an even count) and the end of the picture. Pixels not written are index 0.
  for (const unsigned char byte : {0, 2, 2, 1, 0, 3, 1, 2, 1, 0, 0, 1}) bytes.push_back(byte);
  const auto decoded = decode_indexed_bmp(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->indexes, (std::vector<std::uint8_t>{0, 0, 0, 0, 0,  //
                                                         0, 0, 1, 2, 1,  //
                                                         0, 0, 0, 0, 0}));
}

TEST(BmpFile, ReadsRowsStoredFromTheTop) {
  std::vector<unsigned char> bytes = encode_bmp(small_picture(), BmpCompression::none);
  // Store the rows top-down: negative height, rows reversed.
  const std::int32_t height = -3;
  std::memcpy(&bytes[22], &height, 4);
  const std::size_t pixels = bytes.size() - 3 * 8;
  std::vector<unsigned char> rows(bytes.begin() + static_cast<long>(pixels), bytes.end());
  for (int row = 0; row < 3; ++row) {
    std::copy_n(rows.begin() + (2 - row) * 8, 8,
                bytes.begin() + static_cast<long>(pixels) + row * 8);
  }
  const auto decoded = decode_indexed_bmp(bytes);
  ASSERT_TRUE(decoded);
  expect_same(*decoded, small_picture());
}

TEST(BmpFile, RefusesWhatItCannotReadSafely) {
  const std::vector<unsigned char> good = encode_bmp(small_picture(), BmpCompression::none);
  auto with = [](std::vector<unsigned char> bytes, std::size_t at, unsigned char value) {
    bytes[at] = value;
    return bytes;
  };
  EXPECT_FALSE(decode_indexed_bmp({good.data(), good.size() - 1}));  // truncated pixels
  EXPECT_FALSE(decode_indexed_bmp({good.data(), 30}));               // truncated header
  EXPECT_FALSE(decode_indexed_bmp(with(good, 0, 'X')));              // not "BM"
  EXPECT_FALSE(decode_indexed_bmp(with(good, 28, 24)));              // 24 bits a pixel
  EXPECT_FALSE(decode_indexed_bmp(with(good, 30, 2)));               // RLE4
  EXPECT_FALSE(decode_indexed_bmp(with(good, 21, 0x7f)));            // absurd width
  EXPECT_FALSE(decode_indexed_bmp(with(good, good.size() - 8, 3)));  // index beyond the palette
  EXPECT_FALSE(decode_indexed_bmp(with(good, 46, 4)));  // a palette overlapping the pixels
  EXPECT_TRUE(decode_indexed_bmp(with(good, good.size() - 4, 2)));  // a valid change reads

  // RLE8: the bottom row's runs are at 66 and 68, its end of row at 72, the end mark last.
  const std::vector<unsigned char> rle8 = encode_bmp(small_picture(), BmpCompression::rle8);
  ASSERT_TRUE(decode_indexed_bmp(rle8));
  EXPECT_FALSE(decode_indexed_bmp({rle8.data(), rle8.size() - 2}));  // no end mark
  EXPECT_FALSE(decode_indexed_bmp(with(rle8, 68, 4)));               // a run past the row's end
  EXPECT_FALSE(decode_indexed_bmp(with(rle8, 67, 3)));               // index beyond the palette
  auto top_down = rle8;  // a height of -3: stored from the top, which RLE8 cannot be
  std::copy_n(std::begin({0xfd, 0xff, 0xff, 0xff}), 4, top_down.begin() + 22);
  EXPECT_FALSE(decode_indexed_bmp(top_down));
  // The middle row (its runs and end of row at 74 to 77) replaced by a move up.
  auto moved_up = [&](unsigned char rows) {
    std::vector<unsigned char> bytes(rle8.begin(), rle8.begin() + 72);
    bytes.insert(bytes.end(), {0, 2, 0, rows});
    bytes.insert(bytes.end(), rle8.begin() + 76, rle8.end());
    return bytes;
  };
  EXPECT_TRUE(decode_indexed_bmp(moved_up(1)));
  EXPECT_FALSE(decode_indexed_bmp(moved_up(4)));  // above the picture
  auto literal = with(rle8, 66, 0);               // literal indexes ...
  literal[67] = 9;                                // ... past the row's end
  EXPECT_FALSE(decode_indexed_bmp(literal));
}

// A BMP of another program: the header of `header_size` bytes (12, 40, 64, 108 or 124), a
// palette of 2^bits grey colours for 8 bits a pixel or fewer, then `pixel_bytes` bytes of 0.
std::vector<unsigned char> foreign_bmp(std::uint32_t header_size, int bits, int compression,
                                       std::int32_t width, std::int32_t height,
                                       std::size_t pixel_bytes) {
  std::vector<unsigned char> out = {'B', 'M'};
  auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> 8 * i));
  };
  const std::uint32_t colours = bits <= 8 ? 1u << bits : 0;
  const std::uint32_t pixel_offset = 14 + header_size + colours * (header_size == 12 ? 3 : 4);
  put(static_cast<std::uint32_t>(pixel_offset + pixel_bytes), 4);
  put(0, 4);
  put(pixel_offset, 4);
  put(header_size, 4);
  const int side_bytes = header_size == 12 ? 2 : 4;
  put(static_cast<std::uint32_t>(width), side_bytes);
  put(static_cast<std::uint32_t>(height), side_bytes);
  put(1, 2);
  put(static_cast<std::uint32_t>(bits), 2);
  if (header_size > 12) put(static_cast<std::uint32_t>(compression), 4);
  out.resize(14 + header_size, 0);
  for (std::uint32_t i = 0; i < colours; ++i) {
    const auto grey = static_cast<unsigned char>(i * 255 / (colours - 1));
    out.insert(out.end(), {grey, grey, grey});
    if (header_size != 12) out.push_back(0);
  }
  out.resize(out.size() + pixel_bytes, 0);
  return out;
}

bool libgd_reads(const std::vector<unsigned char>& bytes) {
  gdImagePtr image = gdImageCreateFromBmpPtr(static_cast<int>(bytes.size()),
                                             const_cast<unsigned char*>(bytes.data()));
  if (image) gdImageDestroy(image);
  return image != nullptr;
}

TEST(BmpFault, PassesExactlyTheFilesLongEnoughForLibgdToRead) {
  // For every header and depth, at widths of every remainder modulo 32 pixels: a file one byte
  // shorter than the rows need is refused, by the check and by libgd alike.
  for (const std::uint32_t header_size : {12u, 40u, 64u, 108u, 124u}) {
    for (const int bits : {1, 4, 8, 16, 24, 32}) {
      if (header_size == 12 && bits == 32) continue;
      for (std::int32_t width = 1; width <= 286; width += width < 40 ? 1 : 41) {
        const std::size_t row = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
        const auto enough = foreign_bmp(header_size, bits, 0, width, 3, 3 * row);
        const auto short_by_one = foreign_bmp(header_size, bits, 0, width, 3, 3 * row - 1);
        SCOPED_TRACE(std::to_string(header_size) + "-byte header, " + std::to_string(bits) +
                     " bits, width " + std::to_string(width));
        EXPECT_EQ(bmp_fault(enough, 286, 231), std::nullopt);
        EXPECT_TRUE(libgd_reads(enough));
        EXPECT_NE(bmp_fault(short_by_one, 286, 231), std::nullopt);
        EXPECT_FALSE(libgd_reads(short_by_one));
      }
    }
  }
  // Compressed data can end the picture at once: its two-byte end mark is all it needs.
  for (const auto& [bits, compression] : {std::pair{8, 1}, std::pair{4, 2}}) {
    auto end_only = foreign_bmp(40, bits, compression, 286, 231, 2);
    end_only.back() = 1;
    EXPECT_EQ(bmp_fault(end_only, 286, 231), std::nullopt);
    EXPECT_TRUE(libgd_reads(end_only));
    EXPECT_NE(bmp_fault({end_only.data(), end_only.size() - 1}, 286, 231), std::nullopt);
  }
}

TEST(BmpFault, RefusesMalformedHeadersAndSizesOutOfBounds) {
  const auto fault = [](const std::vector<unsigned char>& bytes) {
    return bmp_fault(bytes, 286, 231).value_or("none");
  };
  // 1,185 bytes declaring 83,886,100 rows.
  const auto tall = foreign_bmp(40, 24, 0, 25, 83886100, 1185 - 54);
  ASSERT_EQ(tall.size(), 1185u);
  EXPECT_EQ(fault(tall),
            "BMP picture of 25 x 83886100 pixels is larger than a figure's 286 x 231 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 286, 231, 1185 - 54)),
            "BMP picture of 286 x 231 pixels needs 198660 bytes of pixel data from byte 54, the "
            "file has 1185 bytes");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, -5, 10, 100)),
            "BMP picture declares a size of -5 x 10 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 0, 10, 100)),
            "BMP picture declares a size of 0 x 10 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 10, 0, 100)),
            "BMP picture declares a size of 10 x 0 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 2147483647, 1, 100)),
            "BMP picture of 2147483647 x 1 pixels is larger than a figure's 286 x 231 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 287, 1, 1000)),
            "BMP picture of 287 x 1 pixels is larger than a figure's 286 x 231 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 286, -231, 231 * 860)), "none");  // stored from the top
  EXPECT_EQ(fault(foreign_bmp(40, 24, 0, 286, -232, 232 * 860)),
            "BMP picture of 286 x 232 pixels is larger than a figure's 286 x 231 pixels");
  EXPECT_EQ(fault(foreign_bmp(40, 8, 1, 10, -10, 2)),
            "compressed BMP picture stored from the top (negative height)");
  EXPECT_EQ(fault(foreign_bmp(40, 24, 1, 10, 10, 400)),
            "BMP compression 1 of 24 bits a pixel is not read");
  EXPECT_EQ(fault(foreign_bmp(40, 16, 3, 10, 10, 400)),
            "BMP compression 3 of 16 bits a pixel is not read");
  EXPECT_EQ(fault(foreign_bmp(40, 2, 0, 10, 10, 400)),
            "BMP pictures of 2 bits a pixel are not read");
  EXPECT_EQ(fault(foreign_bmp(12, 32, 0, 10, 10, 400)),
            "BMP pictures of 32 bits a pixel are not read");
  EXPECT_EQ(fault(foreign_bmp(52, 24, 0, 10, 10, 400)), "not a BMP picture");
  EXPECT_EQ(fault({'B', 'M', 0, 0}), "not a BMP picture");

  auto bytes = foreign_bmp(124, 24, 0, 10, 10, 400);
  EXPECT_EQ(fault({bytes.begin(), bytes.begin() + 100}), "BMP header cut short");
  bytes[26] = 2;
  EXPECT_EQ(fault(bytes), "BMP header gives 2 planes, not 1");
  bytes = foreign_bmp(40, 4, 0, 10, 10, 400);
  bytes[46] = 17;
  EXPECT_EQ(fault(bytes), "BMP palette of 17 colours for 4 bits a pixel");
  bytes[46] = 0;
  bytes[10] = 60;
  EXPECT_EQ(
      fault(bytes),
      "BMP pixel data begins at byte 60, before the end of its headers and palette at byte 118");
}

TEST(BmpFault, WindowsFourAndFiveHeadersAreCutSoThatLibgdReadsTheirPalette) {
  // 16 pixels of 4 bits, indexes 0 to 15 of a grey palette, after a 124-byte header.
  auto bytes = foreign_bmp(124, 4, 0, 16, 1, 8);
  for (int i = 0; i < 8; ++i)
    bytes[bytes.size() - 8 + i] = static_cast<unsigned char>(i * 0x22 + 1);
  ASSERT_EQ(bmp_fault(bytes, 286, 231), std::nullopt);
  const std::size_t size = bytes.size();
  shorten_header_for_libgd(bytes);
  EXPECT_EQ(bytes.size(), size - 84);
  EXPECT_EQ(bmp_fault(bytes, 286, 231), std::nullopt);
  gdImagePtr image = gdImageCreateFromBmpPtr(static_cast<int>(bytes.size()), bytes.data());
  ASSERT_TRUE(image);
  for (int x = 0; x < 16; ++x) {
    EXPECT_EQ(gdImageRed(image, gdImageGetPixel(image, x, 0)), x * 17) << x;
  }
  gdImageDestroy(image);

  const auto true_colour = foreign_bmp(124, 24, 0, 4, 1, 12);
  bytes = true_colour;
  shorten_header_for_libgd(bytes);
  EXPECT_EQ(bytes, true_colour);  // no palette: libgd reads it as it is
}

}  // namespace
}  // namespace norvane
