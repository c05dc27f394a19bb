// SPDX-License-Identifier: MIT
#include "archive/archive_record.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>

#include "archive/gif_comment.h"

namespace norvane {
namespace {

constexpr std::string_view record_prefix = "norvane_foF2 archive record 1: ";
constexpr std::string_view with_value_text = " measurement files with a value, ";
constexpr std::string_view without_value_text = " without";

// Reads a count (decimal digits, no sign, within a day's 1,440 minutes and then some) from the
// start of `text`, which it advances; nothing when there is none.
std::optional<int> read_count(std::string_view& text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (error != std::errc() || end == text.data() || count < 0 || text.front() == '-') {
    return std::nullopt;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return count;
}

bool take(std::string_view& text, std::string_view expected) {
  if (!text.starts_with(expected)) return false;
  text.remove_prefix(expected.size());
  return true;
}

}  // namespace

std::string archive_record_text(const ArchiveRecord& record) {
  return std::string(record_prefix) + std::to_string(record.files_with_value) +
         std::string(with_value_text) + std::to_string(record.files_without_value) +
         std::string(without_value_text);
}

std::optional<ArchiveRecord> read_archive_record_text(std::string_view text) {
  ArchiveRecord record;
  if (!take(text, record_prefix)) return std::nullopt;
  const auto with_value = read_count(text);
  if (!with_value || !take(text, with_value_text)) return std::nullopt;
  const auto without_value = read_count(text);
  if (!without_value || !take(text, without_value_text) || !text.empty()) return std::nullopt;
  record.files_with_value = *with_value;
  record.files_without_value = *without_value;
  return record;
}

std::optional<ArchiveRecord> read_archive_record(std::span<const unsigned char> gif) {
  for (const std::string& comment : gif_comments(gif)) {
    if (auto record = read_archive_record_text(comment)) return record;
  }
  return std::nullopt;
}

std::optional<ArchiveRecord> read_archive_record_file(const std::string& path) {
  // The record comes before the picture's data: after the header and a colour table of at most
  // 768 bytes.
  std::array<unsigned char, 4096> start{};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  ssize_t got = -1;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    do {
      got = ::pread(fd, start.data(), start.size(), 0);
    } while (got < 0 && errno == EINTR);
  }
  ::close(fd);
  if (got <= 0) return std::nullopt;
  return read_archive_record(std::span(start.data(), static_cast<std::size_t>(got)));
}

}  // namespace norvane
