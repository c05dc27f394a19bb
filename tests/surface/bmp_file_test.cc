// SPDX-License-Identifier: MIT
#include "surface/bmp_file.h"

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

}  // namespace
}  // namespace norvane
