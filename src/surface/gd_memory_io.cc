// SPDX-License-Identifier: MIT
#include "surface/gd_memory_io.h"

#include <algorithm>
#include <cstring>

namespace norvane {
namespace {

template <typename Owner>
Owner& owner_of(gdIOCtx* context) {
  return *static_cast<Owner*>(context->data);
}

}  // namespace

GdMemoryWriter::GdMemoryWriter() {
  context_.putC = &put_byte;
  context_.putBuf = &put_bytes;
  context_.seek = &seek;
  context_.tell = &tell;
  context_.data = this;
}

void GdMemoryWriter::put_byte(gdIOCtx* context, int byte) {
  auto& writer = owner_of<GdMemoryWriter>(context);
  const auto value = static_cast<unsigned char>(byte);
  if (writer.position_ == writer.bytes_.size()) {
    writer.bytes_.push_back(value);
  } else {
    writer.bytes_[writer.position_] = value;
  }
  ++writer.position_;
}

int GdMemoryWriter::put_bytes(gdIOCtx* context, const void* bytes, int count) {
  auto& writer = owner_of<GdMemoryWriter>(context);
  if (count <= 0) return 0;
  const auto size = static_cast<std::size_t>(count);
  if (writer.position_ + size > writer.bytes_.size()) writer.bytes_.resize(writer.position_ + size);
  std::memcpy(writer.bytes_.data() + writer.position_, bytes, size);
  writer.position_ += size;
  return count;
}

int GdMemoryWriter::seek(gdIOCtx* context, int position) {
  auto& writer = owner_of<GdMemoryWriter>(context);
  if (position < 0 || static_cast<std::size_t>(position) > writer.bytes_.size()) return 0;
  writer.position_ = static_cast<std::size_t>(position);
  return 1;
}

long GdMemoryWriter::tell(gdIOCtx* context) {
  return static_cast<long>(owner_of<GdMemoryWriter>(context).position_);
}

GdMemoryReader::GdMemoryReader(std::span<const unsigned char> bytes) : bytes_(bytes) {
  context_.getC = &get_byte;
  context_.getBuf = &get_bytes;
  context_.seek = &seek;
  context_.tell = &tell;
  context_.data = this;
}

int GdMemoryReader::get_byte(gdIOCtx* context) {
  auto& reader = owner_of<GdMemoryReader>(context);
  if (reader.position_ >= reader.bytes_.size()) return EOF;
  return reader.bytes_[reader.position_++];
}

int GdMemoryReader::get_bytes(gdIOCtx* context, void* bytes, int count) {
  auto& reader = owner_of<GdMemoryReader>(context);
  if (count <= 0) return 0;
  const std::size_t left = reader.bytes_.size() - reader.position_;
  const std::size_t taken = std::min(left, static_cast<std::size_t>(count));
  if (taken == 0) return EOF;
  std::memcpy(bytes, reader.bytes_.data() + reader.position_, taken);
  reader.position_ += taken;
  return static_cast<int>(taken);
}

int GdMemoryReader::seek(gdIOCtx* context, int position) {
  auto& reader = owner_of<GdMemoryReader>(context);
  if (position < 0 || static_cast<std::size_t>(position) > reader.bytes_.size()) return 0;
  reader.position_ = static_cast<std::size_t>(position);
  return 1;
}

long GdMemoryReader::tell(gdIOCtx* context) {
  return static_cast<long>(owner_of<GdMemoryReader>(context).position_);
}

}  // namespace norvane
