// SPDX-License-Identifier: MIT
// The fuzz targets feed the program's readers with input that libFuzzer makes up, hundreds of
// times a second. The readers take files, so each target writes its input to a file first:
// into a memory file where a path to any file will do, into a scratch folder where the name
// matters. Both are made once a process, so that an input costs a write and no more.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "util/diagnostics.h"

namespace norvane::fuzz {

// This process's scratch folder, ending in "/": made on first use under $TMPDIR, else in
// /dev/shm (or /tmp), and removed with all it holds when the process ends normally.
const std::string& scratch_folder();

// Makes `path` a regular file holding `bytes`, in place. Aborts when it cannot: a target that
// cannot write its input tests nothing.
void write_file(const std::string& path, std::span<const std::uint8_t> bytes);
void write_file(const std::string& path, std::string_view text);
// As write_file, but tells whether it could instead of aborting (for names the input gives).
bool try_write_file(const std::string& path, std::string_view text);

// A file in memory, reached through a path like any other file.
class MemoryFile {
 public:
  MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile();

  // Replaces the file's content by `bytes`.
  void set(std::span<const std::uint8_t> bytes);
  // A path that opens the file anew, at its start.
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
};

// Splits the text of an input made of sections: a line beginning with "#" opens a section, the
// rest of that line being its header, and the bytes after it up to the next such line are its
// content, line ends and all. Bytes before the first section are left out. Calls
// `section(header, content)` for each section in turn.
void for_each_section(std::string_view text,
                      const std::function<void(std::string_view, std::string_view)>& section);

// A message sink that drops every message: the targets look for crashes, not for what is said.
inline void drop_message(std::string_view) {}

}  // namespace norvane::fuzz
