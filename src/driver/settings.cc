#include "driver/settings.h"

#include <algorithm>

#include "util/file_write.h"
#include "util/input_file.h"

namespace norvane {

std::string folder_value(const std::string& work_dir, std::string_view line) {
  std::string folder(line);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty() || folder.front() != '/') folder.insert(0, work_dir);
  return folder;
}

void read_settings(PlotState& state, const std::string& current_dir, Diagnostics& diagnostics) {
  state.work_dir = current_dir;
  if (state.work_dir.empty() || state.work_dir.back() != '/') state.work_dir += '/';
  state.forecast_dir = state.observation_dir = state.picture_dir = state.work_dir;

  const std::string path = state.work_dir + std::string(settings_file_name);
  int open_error = 0;
  auto file = InputFile::open(path, &open_error);
  if (!file) {
    diagnostics.fail("cannot read settings file " + quoted(path) + ": " + error_text(open_error) +
                     "; all folders are taken as the working folder");
    return;
  }

  // Lines 1, 3 and 5 are read into settings_line and not used.
  std::string settings_line;
  std::string* const targets[6] = {&settings_line,         &state.forecast_dir, &settings_line,
                                   &state.observation_dir, &settings_line,      &state.picture_dir};
  int lines_read = 0;
  std::string line;
  while (lines_read < 6 && file->read_line(line)) {
    std::string* target = targets[lines_read++];
    *target = target == &settings_line ? line : folder_value(state.work_dir, line);
  }
  if (lines_read == 6) return;
  if (file->read_error() != 0) {
    diagnostics.fail("cannot read settings file " + quoted(path) + ": " +
                     error_text(file->read_error()));
  } else {
    diagnostics.fail("settings file " + quoted(path) + " has " + std::to_string(lines_read) +
                     " lines, 6 needed; the folders of the missing lines are taken as the "
                     "working folder");
  }
}

}  // namespace norvane
