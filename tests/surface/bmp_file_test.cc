#include "surface/bmp_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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

TEST(BmpFile, RoundTripsAnIndexedPicture) {
  const IndexedPicture picture = small_picture();
  const std::vector<unsigned char> bytes = encode_bmp(picture);
  EXPECT_EQ(bytes.size(), 14u + 40u + 3 * 4 + 3 * 8);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[28], 8);  // bits a pixel
  EXPECT_EQ(bytes[30], 0);  // no compression
  const auto decoded = decode_indexed_bmp(bytes);
  ASSERT_TRUE(decoded);
  expect_same(*decoded, picture);
}

TEST(BmpFile, ReadsRowsStoredFromTheTop) {
  std::vector<unsigned char> bytes = encode_bmp(small_picture());
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
  const std::vector<unsigned char> good = encode_bmp(small_picture());
  auto with = [&](std::size_t at, unsigned char value) {
    std::vector<unsigned char> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  EXPECT_FALSE(decode_indexed_bmp({good.data(), good.size() - 1}));  // truncated pixels
  EXPECT_FALSE(decode_indexed_bmp({good.data(), 30}));               // truncated header
  EXPECT_FALSE(decode_indexed_bmp(with(0, 'X')));                    // not "BM"
  EXPECT_FALSE(decode_indexed_bmp(with(28, 24)));                    // 24 bits a pixel
  EXPECT_FALSE(decode_indexed_bmp(with(30, 1)));                     // compressed
  EXPECT_FALSE(decode_indexed_bmp(with(21, 0x7f)));                  // absurd width
  EXPECT_FALSE(decode_indexed_bmp(with(good.size() - 8, 3)));        // index beyond the palette
  EXPECT_FALSE(decode_indexed_bmp(with(46, 4)));              // a palette overlapping the pixels
  EXPECT_TRUE(decode_indexed_bmp(with(good.size() - 4, 2)));  // a valid change reads
}

}  // namespace
}  // namespace norvane
