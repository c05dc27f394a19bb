// SPDX-License-Identifier: MIT
#include "driver/check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/day_table.h"
#include "driver/settings.h"
#include "export/figure_export.h"
#include "forecast/forecast_file.h"
#include "observations/observation_folder.h"
#include "observations/station.h"
#include "state/plot_state.h"
#include "util/diagnostics.h"
#include "util/file_write.h"

namespace norvane {
namespace {

// The report: its lines, and what keeps a run from writing all twelve pictures with forecasts
// and measurements, for the verdict.
class Report {
 public:
  explicit Report(MessageSink out) : out_(std::move(out)) {}
  void line(std::string text) {
    text += '\n';
    out_(text);
  }
  void problem(std::string what) {
    if (std::find(problems_.begin(), problems_.end(), what) == problems_.end()) {
      problems_.push_back(std::move(what));
    }
  }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  MessageSink out_;
  std::vector<std::string> problems_;
};

// The messages that the run's procedures report, collected to become lines of the report.
class CollectedMessages {
 public:
  MessageSink sink() {
    return [this](std::string_view line) {
      if (line.starts_with(Diagnostics::prefix)) line.remove_prefix(Diagnostics::prefix.size());
      if (line.ends_with('\n')) line.remove_suffix(1);
      lines_.emplace_back(line);
    };
  }
  void report_to(Report& report) const {
    for (const std::string& line : lines_) report.line(line);
  }

 private:
  std::vector<std::string> lines_;
};

struct FolderLook {
  std::string text;  // "a folder, writable", or what is wrong
  bool usable = false;
};

// Whether `folder` (ending in "/") is a folder the run can use as `access_mode` says (W_OK to
// write in it, R_OK to list it), asked of the system for the user the program runs as, without
// creating anything. A read-only file system shows as not writable.
FolderLook look_at_folder(const std::string& folder, int access_mode,
                          std::string_view usable_text) {
  std::string path = folder;
  if (path.size() > 1 && path.back() == '/') path.pop_back();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const int error = errno;
    return {error == ENOENT ? "missing" : "cannot be looked at: " + error_text(error)};
  }
  if (!S_ISDIR(info.st_mode)) return {"not a folder"};
  if (::faccessat(AT_FDCWD, path.c_str(), access_mode | X_OK, AT_EACCESS) != 0) {
    return {"a folder, not " + std::string(usable_text) + ": " + error_text(errno)};
  }
  return {"a folder, " + std::string(usable_text), true};
}

// Where a folder of the settings comes from: `line "fc\\" gives "/w/fc/"`.
std::string folder_origin(const std::vector<std::string>& lines, std::size_t line_number,
                          const std::string& value) {
  std::string text = "line " + std::to_string(line_number);
  if (lines.size() < line_number) return "no " + text + ", so the working folder " + quoted(value);
  text += ' ';
  text += quoted(lines[line_number - 1]);
  text += " gives ";
  text += quoted(value);
  const std::string folder = folder_of(value);
  if (folder.size() != value.size()) {
    text += ", that is names beginning " + quoted(value.substr(folder.size())) + " in " +
            quoted(folder);
  }
  return text;
}

// "1 file", "2 files".
std::string count_text(std::size_t count, std::string_view thing) {
  return std::to_string(count) + " " + std::string(thing) + (count == 1 ? "" : "s");
}

// "08:30" for a minute of the day.
std::string time_text(int minute_of_day) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d", minute_of_day / 60, minute_of_day % 60);
  return text;
}

// The line of a folder whose settings line was refused: a run reads and writes nothing through
// it (the refusal itself is among the settings' messages).
void report_refused(std::string_view folder, int line_number, Report& report) {
  report.line(std::string(folder) + ": line " + std::to_string(line_number) +
              " refused, so nothing is read or written through it");
  const std::string name(folder.substr(0, folder.find(" (")));
  report.problem("the " + name + " is refused");
}

// Looks at the folders a run writes in.
void check_folders(const PlotState& state, const std::vector<std::string>& lines, Report& report) {
  // The folders of the run's files, from the run's own names for them (of today's slot; every
  // day's files lie in the same folders).
  PlotState today = state;
  today.day_index = 6;
  const ExportPaths paths = export_paths(today, today.forecast_names[6]);

  if (state.forecast_dir_refused) {
    report_refused("forecast folder (temporary BMPs, lock file, archive folder)", 2, report);
  } else {
    const FolderLook forecast = look_at_folder(folder_of(paths.temporary_bmp), W_OK, "writable");
    report.line("forecast folder (temporary BMPs, lock file): " +
                folder_origin(lines, 2, state.forecast_dir) + ": " + forecast.text);
    if (!forecast.usable) report.problem("the forecast folder cannot be written");

    const std::string archive_dir = folder_of(paths.archive_gif);
    const FolderLook archive = look_at_folder(archive_dir, W_OK, "writable");
    report.line("archive folder (archive pictures): " + quoted(archive_dir) + ": " + archive.text);
    if (!archive.usable) report.problem("the archive folder cannot be written");
  }

  if (state.picture_dir_refused) {
    report_refused("picture folder (current pictures)", 6, report);
  } else {
    const FolderLook pictures = look_at_folder(folder_of(paths.current_gif), W_OK, "writable");
    report.line("picture folder (current pictures): " + folder_origin(lines, 6, state.picture_dir) +
                ": " + pictures.text);
    if (!pictures.usable) report.problem("the picture folder cannot be written");
  }
}

// Reads the forecast file of each month among the six days.
void check_forecasts(const PlotState& state, Report& report) {
  if (state.forecast_dir_refused) return;
  std::vector<std::string> months;
  for (int day = 1; day <= 6; ++day) {
    const std::string& month = state.forecast_names[day];
    if (std::find(months.begin(), months.end(), month) == months.end()) months.push_back(month);
  }
  for (const std::string& month : months) {
    const std::string label = "forecast of " + month.substr(0, 2) + "/" + month.substr(2) + ": ";
    const std::string path = forecast_file_path(state.forecast_dir, month);
    const ForecastFile file = read_forecast_file(path);
    if (file.error != 0) {
      report.line(label + quoted(path) + " cannot be read: " + error_text(file.error));
      report.problem("no forecast for " + month.substr(0, 2) + "/" + month.substr(2));
      continue;
    }
    const auto hours = std::count_if(file.values.begin(), file.values.end(),
                                     [](const auto& value) { return value.has_value(); });
    report.line(label + quoted(path) + ", " + std::to_string(hours) + " of " +
                std::to_string(forecast_hours) + " hours hold a value");
    if (hours == 0) {
      report.problem("no forecast value for " + month.substr(0, 2) + "/" + month.substr(2));
    }
  }
}

// Lists the measurement folder once for all six days, as a run lists it when it does not change,
// and tells the station and how many files each day has.
void check_measurements(PlotState& state, const std::vector<std::string>& lines, Report& report) {
  if (state.observation_dir_refused) {
    report_refused("measurement folder", 4, report);
    return;
  }
  const FolderLook look = look_at_folder(folder_of(state.observation_dir), R_OK, "listable");
  report.line("measurement folder: " + folder_origin(lines, 4, state.observation_dir) + ": " +
              look.text);
  if (!look.usable) report.problem("the measurement folder cannot be listed");

  std::vector<std::string> stems;
  for (int day = 1; day <= 6; ++day) {
    for (int kind = 1; kind <= station_kinds; ++kind) {
      stems.push_back(day_file_names(kind, state.forecast_names[day], state.doy_codes[day]).stem);
    }
  }
  const ObservationFolder folder = ObservationFolder::list(state.observation_dir, stems);
  if (folder.list_error() == 0) {
    std::string text = "measurement folder: " + count_text(folder.file_count(), "file");
    if (folder.first_file()) text += ", the first " + quoted(*folder.first_file());
    report.line(text);
  }

  CollectedMessages messages;
  Diagnostics diagnostics(messages.sink());
  std::string first_line;
  const int station_kind = identify_station(state, folder, diagnostics, first_line);
  messages.report_to(report);
  if (station_kind == 0) {
    report.problem(folder.list_error() != 0 ? "the measurement folder cannot be listed"
                   : !folder.first_file()   ? "the measurement folder holds no file"
                                            : "no known station");
    return;
  }
  report.line("station: style " + std::to_string(station_kind) + ", the first line of " +
              quoted(state.observation_dir + *folder.first_file()) + " begins " +
              quoted(first_line.substr(0, 4)));

  bool recent_files = false;
  for (int day = 1; day <= 6; ++day) {
    const DayFileNames names =
        day_file_names(station_kind, state.forecast_names[day], state.doy_codes[day]);
    const auto minutes = listed_minutes(folder, names, state);
    int newest = -1;
    for (int hour = 0; hour <= 23; ++hour) {
      for (int slot = 1; slot <= 60; ++slot) {
        if (minutes.test(static_cast<std::size_t>(hour * 60 + slot - 1))) {
          newest = std::max(newest, hour * 60 + slot % 60);
        }
      }
    }
    std::string text = "measurements of " + state.date_labels[day];
    if (day == 6) text += " (today)";
    if (newest < 0) {
      text += ": no file (their names begin " + quoted(names.stem) + ")";
    } else {
      text += ": " + count_text(minutes.count(), "file") + ", the newest at " + time_text(newest) +
              " UT";
      // The local date of a station east of Greenwich begins before the day in universal time
      // does, so its "today" has no files for up to half a day: yesterday's files do.
      if (day >= 5) recent_files = true;
    }
    report.line(text);
  }
  if (!recent_files) report.problem("no measurement file of today or yesterday");
}

}  // namespace

ExitStatus check(const RunRequest& request) {
  Report report(request.messages);
  PlotState state;
  fill_minute_labels(state);

  CollectedMessages settings_messages;
  Diagnostics settings_diagnostics(settings_messages.sink());
  std::vector<std::string> settings_lines;
  const bool settings_usable =
      read_settings(state, request.working_dir, settings_diagnostics, &settings_lines);
  build_day_table(state, request.today);

  report.line("working folder " + quoted(state.work_dir) + ", today " + state.date_labels[6] +
              " (the local date)");
  if (!settings_diagnostics.failed()) {
    report.line("settings file " + quoted(state.work_dir + std::string(settings_file_name)) +
                ": read");
  } else {
    report.problem("the settings cannot be used as they are");
  }
  settings_messages.report_to(report);

  // Settings that are no settings file at all make a run read and write nothing.
  if (settings_usable) {
    check_folders(state, settings_lines, report);
    check_forecasts(state, report);
    check_measurements(state, settings_lines, report);
  }

  if (report.problems().empty()) {
    report.line(
        "verdict: ready: a run now would write all twelve pictures with forecasts and "
        "measurements");
    return ExitStatus::success;
  }
  std::string verdict = "verdict: not ready: ";
  for (std::size_t i = 0; i < report.problems().size(); ++i) {
    if (i > 0) verdict += "; ";
    verdict += report.problems()[i];
  }
  report.line(verdict);
  return ExitStatus::failure;
}

}  // namespace norvane
