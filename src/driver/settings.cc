// SPDX-License-Identifier: MIT
#include "driver/settings.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "observations/station.h"
#include "state/file_names.h"
#include "util/file_write.h"
#include "util/input_file.h"

namespace norvane {
namespace {

// A settings line that sets a folder.
struct FolderLine {
  int number;
  std::string PlotState::*folder;
  PlotState::FolderStatus PlotState::*status;
  std::string (*example_name)();  // a file name the run puts behind the folder
  std::string_view name;          // what the folder is called in messages
  std::string_view if_missing;    // what a run does without it, in parentheses
};

constexpr std::array<FolderLine, 3> folder_lines{{
    {2, &PlotState::forecast_dir, &PlotState::forecast_dir_status,
     [] { return file_names::temporary_bmp(1); }, "forecast folder",
     " (nothing written: the run lock, the temporary BMPs and the archive are kept there)"},
    {4, &PlotState::observation_dir, &PlotState::observation_dir_status,
     [] { return std::string("RM041_2026342153000.TXT"); }, "measurement folder",
     unseen_data_consequence},
    {6, &PlotState::picture_dir, &PlotState::picture_dir_status,
     [] { return file_names::current_picture(1); }, "picture folder",
     " (no current pictures written)"},
}};

bool has_control_character(std::string_view line) {
  return std::any_of(line.begin(), line.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

bool is_folder(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Sets the folder of `line` from its `value`, refusing a value that is not plain text and
// warning of the two ways a value can quietly send files elsewhere than meant.
void set_folder(PlotState& state, const FolderLine& line, std::string_view value,
                const std::string& settings_path, Diagnostics& diagnostics, bool report_missing) {
  const std::string where =
      "settings file " + quoted(settings_path) + " line " + std::to_string(line.number);
  if (has_control_character(value)) {
    state.*line.status = PlotState::FolderStatus::refused;
    state.*line.folder = state.work_dir;
    diagnostics.fail(where + " holds a control character: " + quoted(value) +
                     "; nothing is read or written through that folder");
    return;
  }
  const std::string folder = folder_value(state.work_dir, value);
  state.*line.folder = folder;
  // A folder that is not there is said first, and nothing else is said of it.
  struct stat info {};
  const std::string holder = folder_of(folder);
  if (::stat(holder.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    state.*line.status = PlotState::FolderStatus::missing;
    if (!report_missing) return;
    diagnostics.fail(std::string(line.name) + " " + quoted(holder) + " of " + where + " " +
                     quoted(value) + " is missing" + std::string(line.if_missing));
    return;
  }
  const std::string example = quoted(folder + line.example_name());
  if (folder.back() != '/' && is_folder(folder)) {
    diagnostics.warn(where + " " + quoted(value) +
                     " names a folder but does not end in \"/\": its files are named like " +
                     example);
  }
  if (!value.empty() && (value.front() == ' ' || value.back() == ' ')) {
    diagnostics.warn(where + " " + quoted(value) +
                     " begins or ends with a blank, which is part of the file names: " + example);
  }
}

}  // namespace

std::string folder_value(const std::string& work_dir, std::string_view line) {
  std::string folder(line);
  std::replace(folder.begin(), folder.end(), '\\', '/');
  if (folder.empty() || folder.front() != '/') folder.insert(0, work_dir);
  return folder;
}

bool read_settings(PlotState& state, const std::string& current_dir, Diagnostics& diagnostics,
                   std::vector<std::string>* lines_as_written) {
  state.work_dir = current_dir;
  if (state.work_dir.empty() || state.work_dir.back() != '/') state.work_dir += '/';
  state.forecast_dir = state.observation_dir = state.picture_dir = state.work_dir;

  const std::string path = state.work_dir + std::string(file_names::settings);
  int open_error = 0;
  auto file = InputFile::open(path, &open_error);
  if (!file) {
    diagnostics.fail("cannot read settings file " + quoted(path) + ": " + error_text(open_error) +
                     "; all folders are taken as the working folder");
    return true;
  }

  // Lines 1, 3 and 5 are free text and not used. Nothing past the six lines is read.
  file->limit_reading(InputFile::bytes_for_lines(6));
  int lines_read = 0;
  std::string line;
  while (lines_read < 6 && file->read_line(line)) {
    ++lines_read;
    if (lines_as_written != nullptr) lines_as_written->push_back(line);
    // A file saved as UTF-16 shows its byte order mark first; its lines would be read as
    // folder names with a NUL after every letter.
    if (lines_read == 1 && (line.starts_with("\xFF\xFE") || line.starts_with("\xFE\xFF"))) {
      diagnostics.fail("settings file " + quoted(path) +
                       " is UTF-16 text: save it as plain text (ASCII or UTF-8); nothing is "
                       "read or written");
      return false;
    }
    for (const FolderLine& folder_line : folder_lines) {
      if (folder_line.number == lines_read) {
        set_folder(state, folder_line, line, path, diagnostics, lines_as_written == nullptr);
      }
    }
  }
  if (lines_read == 6) return true;
  if (file->read_error() != 0) {
    diagnostics.fail("cannot read settings file " + quoted(path) + ": " +
                     error_text(file->read_error()));
  } else {
    diagnostics.fail("settings file " + quoted(path) + " has " + std::to_string(lines_read) +
                     " lines, 6 needed; the folders of the missing lines are taken as the "
                     "working folder");
  }
  return true;
}

}  // namespace norvane
