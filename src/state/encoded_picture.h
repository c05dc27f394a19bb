// SPDX-License-Identifier: MIT
// Encoding a figure as GIF is half of a run's work, and most figures of a run are of finished
// days that come out the same run after run. The same picture always makes the same GIF, so a
// day's record keeps which picture its GIF was encoded from and which bytes it came to: a later
// run that draws that very picture and finds a file of those very bytes keeps the file as it
// is, without encoding the picture again to find out (export/image_converter.h).
#pragma once

#include <cstdint>

namespace norvane {

struct EncodedPicture {
  std::uint64_t picture_digest = 0;  // of the picture: its size, palette, pixels and comment
  std::uint64_t gif_digest = 0;      // of the GIF's bytes (util/digest.h, digest_of)
  std::uint64_t gif_bytes = 0;       // the GIF's size
  bool operator==(const EncodedPicture&) const = default;
};

}  // namespace norvane
