// SPDX-License-Identifier: MIT
#include "archive/gif_comment.h"

#include <algorithm>
#include <cstddef>

namespace norvane {
namespace {

// The header ("GIF87a" or "GIF89a"), the logical screen descriptor and the global colour
// table: where the blocks begin, or nothing when `gif` does not start as a GIF does.
std::optional<std::size_t> blocks_start(std::span<const unsigned char> gif) {
  constexpr std::size_t screen_end = 13;
  if (gif.size() < screen_end) return std::nullopt;
  const std::string_view signature(reinterpret_cast<const char*>(gif.data()), 6);
  if (signature != "GIF87a" && signature != "GIF89a") return std::nullopt;
  const unsigned char flags = gif[10];
  std::size_t start = screen_end;
  if ((flags & 0x80) != 0) start += 3u << ((flags & 0x07) + 1);
  if (start > gif.size()) return std::nullopt;
  return start;
}

// Skips the data sub-blocks at `at`; collects their bytes in `data` when given. Returns the
// position after the closing empty block, or nothing when they run past the end.
std::optional<std::size_t> skip_sub_blocks(std::span<const unsigned char> gif, std::size_t at,
                                           std::string* data) {
  while (at < gif.size()) {
    const std::size_t length = gif[at++];
    if (length == 0) return at;
    if (length > gif.size() - at) return std::nullopt;
    if (data != nullptr) data->append(reinterpret_cast<const char*>(gif.data() + at), length);
    at += length;
  }
  return std::nullopt;
}

}  // namespace

std::vector<unsigned char> with_gif_comment(std::span<const unsigned char> gif,
                                            std::string_view text) {
  const auto start = blocks_start(gif);
  if (!start) return {gif.begin(), gif.end()};
  std::vector<unsigned char> out;
  out.reserve(gif.size() + text.size() + text.size() / 255 + 4);
  out.insert(out.end(), gif.begin(), gif.begin() + static_cast<std::ptrdiff_t>(*start));
  std::copy_n("GIF89a", 6, out.begin());
  out.push_back(0x21);  // an extension
  out.push_back(0xFE);  // a comment
  while (!text.empty()) {
    const std::size_t length = std::min<std::size_t>(text.size(), 255);
    out.push_back(static_cast<unsigned char>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
    text.remove_prefix(length);
  }
  out.push_back(0);
  out.insert(out.end(), gif.begin() + static_cast<std::ptrdiff_t>(*start), gif.end());
  return out;
}

std::vector<std::string> gif_comments(std::span<const unsigned char> gif) {
  std::vector<std::string> comments;
  auto at = blocks_start(gif);
  // Extensions come as 0x21, a label and sub-blocks; a picture (0x2C) or the end (0x3B) ends
  // the search.
  while (at && *at + 1 < gif.size() && gif[*at] == 0x21) {
    const bool comment = gif[*at + 1] == 0xFE;
    std::string text;
    at = skip_sub_blocks(gif, *at + 2, comment ? &text : nullptr);
    if (at && comment) comments.push_back(std::move(text));
  }
  return comments;
}

}  // namespace norvane
