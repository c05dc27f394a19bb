#include "observations/observation_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

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

ObservationFolder list_observation_folder(const std::string& observation_dir,
                                          std::span<const std::string> day_stems) {
  ObservationFolder folder;
  const std::string listed = folder_of(observation_dir);
  const std::string_view name_prefix = std::string_view(observation_dir).substr(listed.size());
  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(listed.c_str()), &::closedir);
  if (!dir) {
    folder.list_error = errno;
    return folder;
  }
  std::vector<std::string> upper_stems;
  for (const std::string& stem : day_stems) upper_stems.push_back(upper_ascii(stem));

  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) {
      folder.list_error = errno;
      break;
    }
    const std::string_view entry_name = entry->d_name;
    if (!entry_name.starts_with(name_prefix) || entry_name.size() == name_prefix.size()) continue;
    const std::string_view name = entry_name.substr(name_prefix.size());

    if (entry_name.front() != '.' && (!folder.first_file || name < *folder.first_file) &&
        is_regular_file(dir.get(), *entry)) {
      folder.first_file = std::string(name);
    }
    for (const std::string& stem : upper_stems) {
      if (begins_with_stem(name, stem)) {
        folder.day_names.push_back(upper_ascii(name));
        break;
      }
    }
  }
  return folder;
}

}  // namespace norvane
