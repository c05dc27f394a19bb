#include "observations/observation_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
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
                                          std::span<const std::string> day_stems) {
  ObservationFolder folder;
  const std::string listed = folder_of(observation_dir);
  folder.name_prefix_ = observation_dir.substr(listed.size());
  folder.directory_.reset(::opendir(listed.c_str()));
  DIR* dir = folder.directory_.get();
  if (dir == nullptr) {
    folder.list_error_ = errno;
    return folder;
  }
  std::vector<std::string> upper_stems;
  for (const std::string& stem : day_stems) upper_stems.push_back(upper_ascii(stem));

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
    for (const std::string& stem : upper_stems) {
      if (!begins_with_stem(name, stem)) continue;
      auto [listed_file, added] = folder.day_files_.try_emplace(upper_ascii(name));
      if (added || listed_file->first == name) {
        listed_file->second = {std::string(name), entry->d_type == DT_REG};
      }
      break;
    }
  }
  return folder;
}

std::vector<std::string_view> ObservationFolder::upper_day_file_names() const {
  std::vector<std::string_view> names;
  names.reserve(day_files_.size());
  for (const auto& listed : day_files_) names.push_back(listed.first);
  return names;
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
