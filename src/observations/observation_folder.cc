// SPDX-License-Identifier: MIT
#include "observations/observation_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include "util/file_write.h"

namespace norvane {
namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether the entry is a regular file, or a link to one.
bool is_regular_file(DIR* dir, const dirent& entry) {
  if (entry.d_type == DT_REG) return true;
  if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) return false;
  struct stat info {};
  return ::fstatat(::dirfd(dir), entry.d_name, &info, 0) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

bool is_program_file_name(std::string_view name) {
  const std::string upper = upper_ascii(name);
  const std::string_view text = upper;
  const auto digits = [](std::string_view part) {
    return !part.empty() &&
           std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  const auto numbered = [&](std::string_view prefix, std::string_view suffix) {
    return text.size() == prefix.size() + 1 + suffix.size() && text.starts_with(prefix) &&
           text.ends_with(suffix) && text[prefix.size()] >= '1' && text[prefix.size()] <= '6';
  };
  if (text.starts_with('.')) return true;
  if (text == "NORVANE_FOF2.INI" || text == "PLOTFOF2.JSON" || text == "INDEX.JSON") return true;
  if (numbered("GRAFICO", ".BMP") || numbered("PLOTFOF2", ".GIF")) return true;
  // Archive pictures (year and day of the year) and the archive's yearly index files.
  if (text.size() == 11 && text.ends_with(".GIF") && digits(text.substr(0, 7))) return true;
  if (text.size() == 9 && text.ends_with(".JSON") && digits(text.substr(0, 4))) return true;
  return false;
}

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
    if (std::find(folder.stem_lengths_.begin(), folder.stem_lengths_.end(), upper_stem.size()) ==
        folder.stem_lengths_.end()) {
      folder.stem_lengths_.push_back(upper_stem.size());
    }
  };
  for (const std::string& stem : day_stems) add_stem(stem);
  for (const std::string& stem : later_stems) add_stem(stem);
  std::sort(folder.stem_lengths_.begin(), folder.stem_lengths_.end());
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
        !is_program_file_name(name) && is_regular_file(dir, *entry)) {
      folder.first_file_ = std::string(name);
    }
    if (const auto stem = folder.stem_of(name)) {
      folder.add_file(name, *stem, entry->d_type == DT_REG);
    }
  }
  if (folder.list_error_ != 0) folder.reusable_ = false;
  return folder;
}

std::string_view ObservationFolder::upper_name(const ListedFile& file) const {
  return std::string_view(names_).substr(file.offset, file.length);
}

std::string_view ObservationFolder::listed_name(const ListedFile& file) const {
  return file.listed_in_upper
             ? upper_name(file)
             : std::string_view(names_).substr(file.offset + file.length, file.length);
}

std::optional<std::size_t> ObservationFolder::stem_of(std::string_view name) const {
  char upper_prefix[256];
  for (const std::size_t length : stem_lengths_) {
    if (length > name.size() || length > sizeof upper_prefix) break;
    for (std::size_t i = 0; i < length; ++i) upper_prefix[i] = upper(name[i]);
    const auto found = stem_by_text_.find(std::string_view(upper_prefix, length));
    if (found != stem_by_text_.end()) return found->second;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> ObservationFolder::find_file(std::string_view upper_name) const {
  if (file_table_.empty()) return std::nullopt;
  const std::size_t mask = file_table_.size() - 1;
  for (std::size_t slot = std::hash<std::string_view>{}(upper_name)&mask;;
       slot = (slot + 1) & mask) {
    const std::uint32_t entry = file_table_[slot];
    if (entry == 0) return std::nullopt;
    if (this->upper_name(files_[entry - 1]) == upper_name) return entry - 1;
  }
}

void ObservationFolder::add_file(std::string_view name, std::size_t stem, bool regular) {
  const std::string upper_text = upper_ascii(name);
  const bool in_upper = upper_text == name;
  if (const auto found = find_file(upper_text)) {
    // The same name in another case: the one in upper case is kept.
    if (in_upper) {
      ListedFile& file = files_[*found];
      file.listed_in_upper = true;
      file.regular = regular;
    }
    return;
  }
  // The table stays at most half full, its size a power of two.
  if ((files_.size() + 1) * 2 > file_table_.size()) {
    std::vector<std::uint32_t> table(std::max<std::size_t>(64, file_table_.size() * 2), 0);
    const std::size_t mask = table.size() - 1;
    for (std::uint32_t index = 0; index < files_.size(); ++index) {
      std::size_t slot = std::hash<std::string_view>{}(upper_name(files_[index])) & mask;
      while (table[slot] != 0) slot = (slot + 1) & mask;
      table[slot] = index + 1;
    }
    file_table_ = std::move(table);
  }
  ListedFile file;
  file.offset = static_cast<std::uint32_t>(names_.size());
  file.length = static_cast<std::uint16_t>(name.size());
  file.regular = regular;
  file.listed_in_upper = in_upper;
  names_ += upper_text;
  if (!in_upper) names_ += name;
  const auto index = static_cast<std::uint32_t>(files_.size());
  files_.push_back(file);
  const std::size_t mask = file_table_.size() - 1;
  std::size_t slot = std::hash<std::string_view>{}(upper_text)&mask;
  while (file_table_[slot] != 0) slot = (slot + 1) & mask;
  file_table_[slot] = index + 1;
  files_by_stem_[stem].push_back(index);
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

std::vector<std::string_view> ObservationFolder::upper_day_file_names(
    std::string_view day_stem) const {
  std::vector<std::string_view> names;
  if (const auto stem = stem_index(day_stem)) {
    for (const std::uint32_t index : files_by_stem_[*stem]) {
      names.push_back(upper_name(files_[index]));
    }
  }
  return names;
}

std::optional<InputFile> ObservationFolder::open_day_file(std::string_view name, int* error) const {
  // The names of every station style are in upper case already.
  const bool in_upper_case =
      std::all_of(name.begin(), name.end(), [](char c) { return upper(c) == c; });
  const auto listed = in_upper_case ? find_file(name) : find_file(upper_ascii(name));
  if (!listed || !directory_) {
    *error = ENOENT;
    return std::nullopt;
  }
  // A name listed in exactly this case and shown as a regular file needs no second look.
  const ListedFile& file = files_[*listed];
  const bool listed_regular = listed_name(file) == name && file.regular;
  std::string listed_name = name_prefix_;
  listed_name += name;
  return InputFile::open_in(::dirfd(directory_.get()), listed_name, listed_regular, error);
}

}  // namespace norvane
