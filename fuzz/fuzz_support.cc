// SPDX-License-Identifier: MIT
#include "fuzz_support.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace norvane::fuzz {
namespace {

[[noreturn]] void give_up(const char* what) {
  std::perror(what);
  std::abort();
}

// $TMPDIR when set; else a folder in memory where there is one, since a disk file system may
// write a file out whenever it is truncated and written again, as the targets do all the time.
std::string base_folder() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir && *tmpdir) return tmpdir;
  if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  return "/tmp";
}

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string name = base_folder() + "/norvane_fuzz.XXXXXX";
    if (!::mkdtemp(name.data())) give_up("norvane fuzz: cannot make a scratch folder");
    path_ = name + "/";
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool write_bytes(const std::string& path, std::span<const std::uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t got = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (got <= 0) break;
    written += static_cast<std::size_t>(got);
  }
  return ::close(fd) == 0 && written == bytes.size();
}

std::span<const std::uint8_t> bytes_of(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

const std::string& scratch_folder() {
  static const ScratchFolder folder;
  return folder.path();
}

void write_file(const std::string& path, std::span<const std::uint8_t> bytes) {
  if (!write_bytes(path, bytes)) give_up(path.c_str());
}

void write_file(const std::string& path, std::string_view text) {
  write_file(path, bytes_of(text));
}

bool try_write_file(const std::string& path, std::string_view text) {
  return write_bytes(path, bytes_of(text));
}

void for_each_section(std::string_view text,
                      const std::function<void(std::string_view, std::string_view)>& section) {
  std::string_view header;
  std::size_t content = 0;
  bool in_section = false;
  for (std::size_t line = 0; line < text.size();) {
    const std::size_t line_end = std::min(text.find('\n', line), text.size());
    const std::size_t next_line = std::min(line_end + 1, text.size());
    if (text[line] == '#') {
      if (in_section) section(header, text.substr(content, line - content));
      header = text.substr(line + 1, line_end - line - 1);
      content = next_line;
      in_section = true;
    }
    line = next_line;
  }
  if (in_section) section(header, text.substr(content));
}

MemoryFile::MemoryFile() : fd_(::memfd_create("norvane_fuzz", MFD_CLOEXEC)) {
  if (fd_ < 0) give_up("norvane fuzz: memfd_create");
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

MemoryFile::~MemoryFile() { ::close(fd_); }

void MemoryFile::set(std::span<const std::uint8_t> bytes) {
  if (::ftruncate(fd_, 0) != 0) give_up("norvane fuzz: ftruncate");
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t got =
        ::pwrite(fd_, bytes.data() + written, bytes.size() - written, static_cast<off_t>(written));
    if (got <= 0) give_up("norvane fuzz: pwrite");
    written += static_cast<std::size_t>(got);
  }
}

}  // namespace norvane::fuzz
