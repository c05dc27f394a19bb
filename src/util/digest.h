// SPDX-License-Identifier: MIT
// The program tells whether something is as it was without keeping a copy of it: the
// measurements a day record holds, the picture a figure was drawn as, the GIF it was encoded
// as. One mixing of 64-bit words serves all of them, so that a digest is the same on every
// machine and in every version, and another content gives the same digest with no likelihood
// worth a thought. It guards against accidents, not against someone who can write the files
// it vouches for: such a one can write anything there anyway.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace norvane {

class Digest {
 public:
  void add(std::uint64_t word) {
    value_ = (value_ ^ word) * 0x9E3779B97F4A7C15u;
    value_ ^= value_ >> 29;
  }
  // Adds `bytes` eight at a time (the last word padded with zeros), not their count.
  void add_bytes(std::span<const unsigned char> bytes);
  void add_bytes(std::string_view text);

  std::uint64_t value() const { return value_; }

 private:
  std::uint64_t value_ = 0x243F6A8885A308D3u;
};

// The digest of `bytes` and their count.
std::uint64_t digest_of(std::span<const unsigned char> bytes);

// A digest as 16 lowercase hexadecimal digits, and back; nothing for any other text.
std::string digest_text(std::uint64_t digest);
std::optional<std::uint64_t> read_digest_text(std::string_view text);

}  // namespace norvane
