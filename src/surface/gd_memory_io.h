// SPDX-License-Identifier: MIT
// libgd encodes and decodes pictures through an I/O context, one byte at a time. Its own memory
// context makes each byte cost some eighty instructions, which for the BMP snapshots of a run
// came to most of the run's time. These contexts keep the bytes in a plain buffer instead; the
// encoding and decoding themselves stay libgd's.
#pragma once

#include <gd_io.h>

#include <cstddef>
#include <span>
#include <vector>

namespace norvane {

// Collects what libgd writes.
class GdMemoryWriter {
 public:
  GdMemoryWriter();
  GdMemoryWriter(const GdMemoryWriter&) = delete;
  GdMemoryWriter& operator=(const GdMemoryWriter&) = delete;

  gdIOCtx* context() { return &context_; }
  std::vector<unsigned char> take() { return std::move(bytes_); }

 private:
  static void put_byte(gdIOCtx* context, int byte);
  static int put_bytes(gdIOCtx* context, const void* bytes, int count);
  static int seek(gdIOCtx* context, int position);
  static long tell(gdIOCtx* context);

  gdIOCtx context_{};
  std::vector<unsigned char> bytes_;
  std::size_t position_ = 0;
};

// Lets libgd read a picture from bytes in memory.
class GdMemoryReader {
 public:
  explicit GdMemoryReader(std::span<const unsigned char> bytes);
  GdMemoryReader(const GdMemoryReader&) = delete;
  GdMemoryReader& operator=(const GdMemoryReader&) = delete;

  gdIOCtx* context() { return &context_; }

 private:
  static int get_byte(gdIOCtx* context);
  static int get_bytes(gdIOCtx* context, void* bytes, int count);
  static int seek(gdIOCtx* context, int position);
  static long tell(gdIOCtx* context);

  gdIOCtx context_{};
  std::span<const unsigned char> bytes_;
  std::size_t position_ = 0;
};

}  // namespace norvane
