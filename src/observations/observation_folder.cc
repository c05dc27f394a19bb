// SPDX-License-Identifier: MIT
#include "observations/observation_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include "state/file_names.h"
#include "util/file_write.h"

namespace norvane {
namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The place of the last three of the first `length` characters of `text` (which has that
// many), in upper case: a number below 65536, a different one for each three digits, so that
// the names of the other days of a year, which differ from a stem in its day's digits, nearly
// all miss.
inline unsigned ending_of(std::string_view text, std::size_t length) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(upper(text[at])); };
  if (length >= 3) {
    return (byte(length - 3) << 10 ^ byte(length - 2) << 5 ^ byte(length - 1)) & 0xFFFF;
  }
  unsigned place = 0;
  for (std::size_t at = 0; at < length; ++at) place = place << 5 ^ byte(at);
  return place;
}

bool has_bit(const std::vector<std::uint64_t>& bits, unsigned place) {
  return (bits[place / 64] & (std::uint64_t{1} << (place % 64))) != 0;
}

void set_bit(std::vector<std::uint64_t>& bits, unsigned place) {
  bits[place / 64] |= std::uint64_t{1} << (place % 64);
}

// The place of the mark of the first `length` characters of `text` (which has that many), taken
// in upper case: a number below 65536 (FNV-1a, folded).
unsigned mark_of(std::string_view text, std::size_t length) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < length; ++i) {
    hash = (hash ^ static_cast<unsigned char>(upper(text[i]))) * 16777619u;
  }
  return (hash ^ (hash >> 16)) & 0xFFFF;
}

// Whether the entry is a regular file, or a link to one.
bool is_regular_file(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return ::fstatat(::dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string upper_ascii(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = upper(c);
  return result;
}

ObservationFolder ObservationFolder::list(const std::string& observation_dir,
                                          std::span<const std::string> day_stems,
                                          std::span<const std::string> later_stems) {
  ObservationFolder folder;
  folder.listed_path_ = folder_of(observation_dir);
  folder.name_prefix_ = observation_dir.substr(folder.listed_path_.size());
  folder.directory_.reset(::opendir(folder.listed_path_.c_str()));
  DIR* dir = folder.directory_.get();
  if (dir == nullptr) {
    folder.list_error_ = errno;
    return folder;
  }
  // The folder's state before any entry is read: a change from here on shows in it.
  timespec now{};
  folder.reusable_ = ::fstat(::dirfd(dir), &folder.listed_status_) == 0 &&
                     ::clock_gettime(CLOCK_REALTIME, &now) == 0 &&
                     now.tv_sec - folder.listed_status_.st_mtim.tv_sec >= 2;
  const auto add_stem = [&folder](const std::string& stem) {
    const std::string upper_stem = upper_ascii(stem);
    if (!folder.stem_by_text_.try_emplace(upper_stem, folder.upper_stems_.size()).second) return;
    folder.upper_stems_.push_back(upper_stem);
    auto length =
        std::find_if(folder.stem_lengths_.begin(), folder.stem_lengths_.end(),
                     [&](const StemLength& known) { return known.length == upper_stem.size(); });
    if (length == folder.stem_lengths_.end()) {
      length = folder.stem_lengths_.insert(folder.stem_lengths_.end(), {upper_stem.size()});
    }
    set_bit(length->endings, ending_of(upper_stem, upper_stem.size()));
    set_bit(length->marks, mark_of(upper_stem, upper_stem.size()));
  };
  for (const std::string& stem : day_stems) add_stem(stem);
  for (const std::string& stem : later_stems) add_stem(stem);
  std::sort(folder.stem_lengths_.begin(), folder.stem_lengths_.end(),
            [](const StemLength& a, const StemLength& b) { return a.length < b.length; });
  folder.files_by_stem_.resize(folder.upper_stems_.size());

  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir);
    if (entry == nullptr) {
      folder.list_error_ = errno;
      break;
    }
    const std::string_view entry_name = entry->d_name;
    if (!entry_name.starts_with(folder.name_prefix_) ||
        entry_name.size() == folder.name_prefix_.size()) {
      continue;
    }
    const std::string_view name = entry_name.substr(folder.name_prefix_.size());

    if (entry_name.front() != '.' &&
        (entry->d_type == DT_REG || entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN)) {
      ++folder.file_count_;
    }
    if (entry_name.front() != '.' && (!folder.first_file_ || name < *folder.first_file_) &&
        !file_names::is_program_file(name) && is_regular_file(dir, *entry)) {
      folder.first_file_ = std::string(name);
    }
    if (const auto stem = folder.stem_of(name)) {
      const std::size_t stem_length = folder.upper_stems_[*stem].size();
      const std::string_view rest = name.substr(stem_length);
      bool in_upper = true;
      for (const char c : name) in_upper = in_upper && upper(c) == c;
      std::string& files = folder.files_by_stem_[*stem];
      files += static_cast<char>(in_upper && entry->d_type == DT_REG);
      files += static_cast<char>(rest.size());
      for (const char c : rest) files += upper(c);
    }
  }
  if (folder.list_error_ != 0) folder.reusable_ = false;
  return folder;
}

std::optional<std::size_t> ObservationFolder::stem_of(std::string_view name) const {
  char upper_prefix[256];
  for (const StemLength& stem_length : stem_lengths_) {
    const std::size_t length = stem_length.length;
    if (length > name.size() || length > sizeof upper_prefix) break;
    if (!has_bit(stem_length.endings, ending_of(name, length)) ||
        !has_bit(stem_length.marks, mark_of(name, length))) {
      continue;
    }
    for (std::size_t i = 0; i < length; ++i) upper_prefix[i] = upper(name[i]);
    const auto found = stem_by_text_.find(std::string_view(upper_prefix, length));
    if (found != stem_by_text_.end()) return found->second;
  }
  return std::nullopt;
}

bool ObservationFolder::unchanged() const {
  struct stat now {};
  return reusable_ && ::stat(listed_path_.c_str(), &now) == 0 &&
         now.st_dev == listed_status_.st_dev && now.st_ino == listed_status_.st_ino &&
         now.st_mtim.tv_sec == listed_status_.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == listed_status_.st_mtim.tv_nsec;
}

std::optional<std::size_t> ObservationFolder::stem_index(std::string_view day_stem) const {
  const auto found = stem_by_text_.find(upper_ascii(day_stem));
  if (found == stem_by_text_.end()) return std::nullopt;
  return found->second;
}

bool ObservationFolder::listed_for(std::string_view day_stem) const {
  return stem_index(day_stem).has_value();
}

std::optional<InputFile> ObservationFolder::open_day_file(std::string_view name,
                                                          bool listed_regular, int* error) const {
  if (!directory_) {
    *error = ENOENT;
    return std::nullopt;
  }
  std::string listed_name = name_prefix_;
  listed_name += name;
  return InputFile::open_in(::dirfd(directory_.get()), listed_name, listed_regular, error,
                            InputFile::Links::not_followed_as_root);
}

}  // namespace norvane
