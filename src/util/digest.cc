// SPDX-License-Identifier: MIT
#include "util/digest.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace norvane {

void Digest::add_bytes(std::span<const unsigned char> bytes) {
  const std::size_t whole = bytes.size() / 8 * 8;
  for (std::size_t at = 0; at < whole; at += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes.data() + at, 8);
    add(word);
  }
  if (whole < bytes.size()) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes.data() + whole, bytes.size() - whole);
    add(word);
  }
}

void Digest::add_bytes(std::string_view text) {
  add_bytes(std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

std::uint64_t digest_of(std::span<const unsigned char> bytes) {
  Digest digest;
  digest.add_bytes(bytes);
  digest.add(bytes.size());
  return digest.value();
}

std::string digest_text(std::uint64_t digest) {
  char text[24];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(digest));
  return text;
}

std::optional<std::uint64_t> read_digest_text(std::string_view text) {
  if (text.size() != 16 || text.find_first_not_of("0123456789abcdef") != std::string_view::npos) {
    return std::nullopt;
  }
  std::uint64_t digest = 0;
  std::from_chars(text.data(), text.data() + text.size(), digest, 16);
  return digest;
}

}  // namespace norvane
