// SPDX-License-Identifier: MIT
#include "archive/archive_files.h"

#include "state/file_names.h"

namespace norvane {

std::string archive_folder_of(const PlotState& state) {
  return state.forecast_dir + std::string(file_names::archive_folder);
}

ArchiveDayFiles archive_day_files(const std::string& archive_dir, const Day& day) {
  return {archive_dir + file_names::archive_picture(day), archive_dir + file_names::day_record(day),
          archive_dir + file_names::day_csv(day)};
}

}  // namespace norvane
