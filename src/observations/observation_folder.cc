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

// Whether `name` begins with `upper_stem` (which is in upper case), ignoring case.
bool begins_with_stem(std::string_view name, std::string_view upper_stem) {
  if (name.size() < upper_stem.size()) return false;
  for (std::size_t i = 0; i < upper_stem.size(); ++i) {
    if (upper(name[i]) != upper_stem[i]) return false;
  }
  return true;
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
  for (const std::string& stem : day_stems) folder.upper_stems_.push_back(upper_ascii(stem));
  // A listing that cannot be kept serves this day only.
  if (folder.reusable_) {
    for (const std::string& stem : later_stems) folder.upper_stems_.push_back(upper_ascii(stem));
  }
  folder.names_by_stem_.resize(folder.upper_stems_.size());

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

    if (entry_name.front() != '.' && (!folder.first_file_ || name < *folder.first_file_) &&
        is_regular_file(dir, *entry)) {
      folder.first_file_ = std::string(name);
    }
    for (std::size_t stem = 0; stem < folder.upper_stems_.size(); ++stem) {
      if (!begins_with_stem(name, folder.upper_stems_[stem])) continue;
      auto [listed_file, added] = folder.day_files_.try_emplace(upper_ascii(name));
      if (added) folder.names_by_stem_[stem].push_back(listed_file->first);
      if (added || listed_file->first == name) {
        listed_file->second = {std::string(name), entry->d_type == DT_REG};
      }
      break;
    }
  }
  if (folder.list_error_ != 0) folder.reusable_ = false;
  return folder;
}

bool ObservationFolder::unchanged() const {
  struct stat now {};
  return reusable_ && ::stat(listed_path_.c_str(), &now) == 0 &&
         now.st_dev == listed_status_.st_dev && now.st_ino == listed_status_.st_ino &&
         now.st_mtim.tv_sec == listed_status_.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == listed_status_.st_mtim.tv_nsec;
}

std::optional<std::size_t> ObservationFolder::stem_index(std::string_view day_stem) const {
  const auto stem = std::find(upper_stems_.begin(), upper_stems_.end(), upper_ascii(day_stem));
  if (stem == upper_stems_.end()) return std::nullopt;
  return static_cast<std::size_t>(stem - upper_stems_.begin());
}

bool ObservationFolder::listed_for(std::string_view day_stem) const {
  return stem_index(day_stem).has_value();
}

std::vector<std::string_view> ObservationFolder::upper_day_file_names(
    std::string_view day_stem) const {
  const auto stem = stem_index(day_stem);
  return stem ? names_by_stem_[*stem] : std::vector<std::string_view>{};
}

std::optional<InputFile> ObservationFolder::open_day_file(std::string_view name, int* error) const {
  // The names of every station style are in upper case already.
  const bool in_upper_case =
      std::all_of(name.begin(), name.end(), [](char c) { return upper(c) == c; });
  const auto listed = in_upper_case ? day_files_.find(name) : day_files_.find(upper_ascii(name));
  if (listed == day_files_.end() || !directory_) {
    *error = ENOENT;
    return std::nullopt;
  }
  // A name listed in exactly this case and shown as a regular file needs no second look.
  const bool listed_regular = listed->second.name == name && listed->second.regular;
  std::string listed_name = name_prefix_;
  listed_name += name;
  return InputFile::open_in(::dirfd(directory_.get()), listed_name, listed_regular, error);
}

}  // namespace norvane
