// SPDX-License-Identifier: MIT
// The BMP reader: the program's own form decoded by bmp_file, which must give back what it
// encodes, and any BMP as the image converter loads it, which refuses every other form; a
// picture loaded is written as a GIF, as every figure is.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "export/image_converter.h"
#include "fuzz_support.h"
#include "surface/bmp_file.h"
#include "surface/sizing.h"

namespace {

// Decodes `bytes` as the converter does, into a picture of at most a figure's size.
std::optional<norvane::IndexedPicture> decode(std::span<const std::uint8_t> bytes) {
  return norvane::decode_indexed_bmp(bytes, norvane::figure_width, norvane::figure_height);
}

bool same(const norvane::IndexedPicture& a, const norvane::IndexedPicture& b) {
  return a.width == b.width && a.height == b.height && a.palette == b.palette &&
         a.indexes == b.indexes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace norvane;
  static fuzz::MemoryFile file;
  static const std::string gif = fuzz::scratch_folder() + "picture.gif";
  static ImageConverter converter;

  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto picture = decode(bytes)) {
    for (const auto compression : {BmpCompression::none, BmpCompression::rle8}) {
      const auto again = decode(encode_bmp(*picture, compression));
      if (!again || !same(*again, *picture)) std::abort();
    }
  }

  file.set(bytes);
  if (!converter.load_bmp(file.path())) {
    if (!converter.holds_picture()) std::abort();
    (void)converter.save_gif(gif, false);
  }
  converter.reset();
  return 0;
}
