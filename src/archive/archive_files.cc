// SPDX-License-Identifier: MIT
#include "archive/archive_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include "state/file_names.h"

namespace norvane {

std::string archive_folder_of(const PlotState& state) {
  return state.forecast_dir + std::string(file_names::archive_folder);
}

ArchiveDayFiles archive_day_files(const std::string& archive_dir, const Day& day) {
  return {archive_dir + file_names::archive_picture(day), archive_dir + file_names::day_record(day),
          archive_dir + file_names::day_csv(day)};
}

std::optional<std::string> archive_link_refused(const std::string& archive_dir) {
  if (::geteuid() != 0) return std::nullopt;
  std::string link = archive_dir;
  while (link.size() > 1 && link.back() == '/') link.pop_back();
  struct stat info {};
  if (::lstat(link.c_str(), &info) != 0 || !S_ISLNK(info.st_mode) || info.st_uid == 0) {
    return std::nullopt;
  }
  return "a link made by user " + std::to_string(info.st_uid) +
         ", which a run as root does not follow";
}

}  // namespace norvane
