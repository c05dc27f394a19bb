// SPDX-License-Identifier: MIT
#include "driver/check.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_files.h"
#include "archive/archive_rule.h"
#include "driver/command_line.h"
#include "driver/day_table.h"
#include "driver/settings.h"
#include "export/figure_export.h"
#include "forecast/forecast_curve.h"
#include "forecast/forecast_file.h"
#include "observations/day_reading.h"
#include "observations/measurement_listing.h"
#include "observations/observation_folder.h"
#include "observations/station.h"
#include "state/file_names.h"
#include "state/plot_state.h"
#include "util/diagnostics.h"
#include "util/file_write.h"
#include "util/iso_date.h"
#include "util/run_lock.h"

namespace norvane {
namespace {

using FolderStatus = PlotState::FolderStatus;

// The report: its lines, what keeps a run from writing all twelve pictures with forecasts and
// measurements, and the warnings it would print all the same, for the verdict.
class Report {
 public:
  explicit Report(MessageSink out) : out_(std::move(out)) {}
  void line(std::string text) {
    text += '\n';
    out_(text);
  }
  // A warning, in the words a run prints it.
  void warning(const std::string& text) {
    line("warning: " + text);
    ++warnings_;
  }
  int warnings() const { return warnings_; }
  void problem(std::string what) {
    if (std::find(problems_.begin(), problems_.end(), what) == problems_.end()) {
      problems_.push_back(std::move(what));
    }
  }
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  MessageSink out_;
  std::vector<std::string> problems_;
  int warnings_ = 0;
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
  // Each line as a line of the report, those that `diagnostics` printed as warnings as warnings.
  void report_to(Report& report, const Diagnostics& diagnostics) const {
    const std::vector<std::string>& warnings = diagnostics.warnings();
    for (const std::string& line : lines_) {
      if (std::find(warnings.begin(), warnings.end(), line) != warnings.end()) {
        report.warning(line);
      } else {
        report.line(line);
      }
    }
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

// The problem for the verdict of a folder that `look` found unusable.
std::string folder_problem(std::string_view name, const FolderLook& look, std::string_view what) {
  if (look.text == "missing") return "the " + std::string(name) + " is missing";
  return "the " + std::string(name) + " cannot be " + std::string(what);
}

// Where a folder of the settings comes from: `line "fc\\" gives "/w/fc/"`.
std::string folder_origin(const std::vector<std::string>& lines, std::size_t line_number,
                          const std::string& value) {
  std::string text = "line " + std::to_string(line_number);
  if (lines.size() < line_number)
    return "no " + text + ", so the working folder " + norvane::quoted(value);
  text += ' ';
  text += norvane::quoted(lines[line_number - 1]);
  text += " gives ";
  text += norvane::quoted(value);
  const std::string folder = folder_of(value);
  if (folder.size() != value.size()) {
    text += ", that is names beginning " + norvane::quoted(value.substr(folder.size())) + " in " +
            norvane::quoted(folder);
  }
  return text;
}

// `text` quoted for a POSIX shell.
std::string shell_quoted(std::string_view text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::optional<std::string> user_name(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  if (entry == nullptr) return std::nullopt;
  return std::string(entry->pw_name);
}

// The user the scheduled runs most likely run as: the owner of the folders they write, or the
// system user the package makes, when that is not root.
std::optional<std::string> service_user(const PlotState& state) {
  for (const std::string& folder : {folder_of(state.forecast_dir), folder_of(state.picture_dir)}) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) == 0 && info.st_uid != 0) return user_name(info.st_uid);
  }
  if (::getpwnam("norvane") != nullptr) return std::string("norvane");
  return std::nullopt;
}

// Says whose permissions the check looked at: a run by the scheduler may see others.
void report_user(const PlotState& state, Report& report) {
  const uid_t uid = ::geteuid();
  report.line("checked as user " + norvane::quoted(user_name(uid).value_or("?")) + " (uid " +
              std::to_string(uid) + "): what it may read and write is what is reported");
  if (uid != 0) return;
  if (const auto user = service_user(state)) {
    report.line("a scheduled run as " + norvane::quoted(*user) +
                " may be refused what root is allowed: check as that user with: runuser -u " +
                shell_quoted(*user) + " -- " + std::string(program_name) + " -C " +
                shell_quoted(state.work_dir) + " --check");
  }
}

// The line of a folder whose settings line was refused: a run reads and writes nothing through
// it (the refusal itself is among the settings' messages).
void report_refused(std::string_view folder, int line_number, Report& report) {
  report.line(std::string(folder) + ": line " + std::to_string(line_number) +
              " refused, so nothing is read or written through it");
  const std::string name(folder.substr(0, folder.find(" (")));
  report.problem("the " + name + " is refused");
}

// What kind of thing other than a file (or a link, which a run replaces) stands at `info`.
std::optional<std::string_view> obstacle_kind(const struct stat& info) {
  if (S_ISREG(info.st_mode) || S_ISLNK(info.st_mode)) return std::nullopt;
  if (S_ISDIR(info.st_mode)) return "a folder";
  if (S_ISFIFO(info.st_mode)) return "a FIFO";
  if (S_ISSOCK(info.st_mode)) return "a socket";
  return "a device";
}

// Reports anything but a file that stands where a run writes a file: a folder the run could
// neither create nor replace; a FIFO, socket or device that nothing the program writes should
// be, and that a reader of the file would stop at.
void check_obstacles(const std::vector<std::string>& paths, Report& report) {
  for (const std::string& path : paths) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    const auto kind = obstacle_kind(info);
    if (!kind) continue;
    report.line(norvane::quoted(path) + ": " + std::string(*kind) +
                " stands where a run writes a file");
    report.problem(std::string(*kind) + " stands where a run writes " + norvane::quoted(path));
  }
}

// Whether every user of the machine may pass through each folder above `folder` (ending in
// "/") to reach it.
bool others_may_reach(const std::string& folder) {
  for (std::string above = folder_of(folder.substr(0, folder.size() - 1)); above.size() > 1;
       above = folder_of(above.substr(0, above.size() - 1))) {
    struct stat info {};
    if (::stat(above.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0) return false;
  }
  return true;
}

std::string mode_text(mode_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
  return text;
}

// Whether the run could take its lock in `folder` (the forecast folder, ending in "/"), and
// whether users who may not run the station could hold it: anyone who may open the folder for
// reading may take its folder lock, and anyone who may open the lock file, its record lock.
// Others keep what the web server needs, passing through the folder (x).
void check_run_lock(const std::string& folder, Report& report) {
  const std::string lock_file = folder + run_lock_file_name;
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0) {
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (error == ENOENT) return;  // reported with the folder
    report.line(
        "run lock: the forecast folder " + norvane::quoted(folder) +
        " cannot be opened for reading, so a run cannot take its lock: " + error_text(error));
    report.problem("the run lock cannot be taken");
    return;
  }
  ::close(fd);
  bool usable = true;
  struct stat file_info {};
  const bool file_exists = ::lstat(lock_file.c_str(), &file_info) == 0;
  if (file_exists && S_ISREG(file_info.st_mode)) {
    const int file_fd = ::open(lock_file.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (file_fd < 0) {
      usable = false;
      report.line(
          "run lock: the lock file " + norvane::quoted(lock_file) +
          " cannot be opened for writing, so a run cannot take its lock: " + error_text(errno));
      report.problem("the run lock cannot be taken");
    } else {
      ::close(file_fd);
    }
  }
  // Where others may not reach the folder, they cannot open it or its lock file.
  const bool reachable = others_may_reach(folder);
  bool shared = false;
  // Says that any user may open `what` at `path`, which has mode `mode`, and the chmod that stops
  // it.
  const auto open_to_all = [&](const std::string& what, const std::string& path, mode_t mode) {
    shared = true;
    const mode_t closed = mode & ~mode_t{S_IROTH | S_IWOTH};
    report.line("run lock: any user of this machine may open " + what + " " +
                norvane::quoted(path) + " (mode " + mode_text(mode) +
                ") and so hold the run lock, stalling the station: chmod " + mode_text(closed) +
                " " + shell_quoted(path));
    report.problem("any user could hold the run lock (chmod " + mode_text(closed) + " " +
                   shell_quoted(path) + ")");
  };
  if (reachable && (info.st_mode & S_IROTH) != 0) {
    open_to_all("the forecast folder", folder, info.st_mode);
  }
  if (file_exists && S_ISREG(file_info.st_mode) && reachable && (info.st_mode & S_IXOTH) != 0 &&
      (file_info.st_mode & (S_IROTH | S_IWOTH)) != 0) {
    open_to_all("the lock file", lock_file, file_info.st_mode);
  }
  if (usable && !shared) {
    report.line(
        "run lock: can be taken, and other users of this machine cannot open the forecast "
        "folder or its lock file");
  }
}

// Looks at the folders a run writes in, and at the names it writes there.
void check_folders(PlotState state, const std::vector<std::string>& lines, Report& report) {
  // The files a run writes, by the run's own names for them; its temporary files are named
  // after the identity of the lock it takes.
  std::vector<ExportPaths> paths;
  for (int day = 1; day <= 6; ++day) {
    state.day_index = static_cast<std::int16_t>(day);
    paths.push_back(export_paths(state));
  }
  const std::string writer = folder_identity(folder_of(
      state.forecast_dir_status == FolderStatus::refused ? state.work_dir : state.forecast_dir));

  if (state.forecast_dir_status == FolderStatus::refused) {
    report_refused("forecast folder (temporary BMPs, run lock, archive folder)", 2, report);
  } else {
    const std::string forecast_dir = folder_of(paths[0].temporary_bmp);
    const FolderLook forecast = look_at_folder(forecast_dir, W_OK, "writable");
    report.line("forecast folder (temporary BMPs, run lock): " +
                folder_origin(lines, 2, state.forecast_dir) + ": " + forecast.text);
    if (!forecast.usable) report.problem(folder_problem("forecast folder", forecast, "written"));
    check_run_lock(forecast_dir, report);

    const std::string archive_dir = folder_of(paths[0].archive_gif);
    const FolderLook archive = look_at_folder(archive_dir, W_OK, "writable");
    report.line("archive folder (archive pictures): " + norvane::quoted(archive_dir) + ": " +
                archive.text);
    if (!archive.usable) report.problem(folder_problem("archive folder", archive, "written"));
    if (const auto refused = archive_link_refused(archive_dir)) {
      report.line("archive folder " + norvane::quoted(archive_dir) + ": " + *refused);
      report.problem("the archive folder is " + *refused);
    }

    std::vector<std::string> files{temporary_path_in(forecast_dir, writer),
                                   temporary_path_in(archive_dir, writer),
                                   forecast_dir + run_lock_file_name};
    for (const ExportPaths& day : paths) {
      files.push_back(day.temporary_bmp);
      files.push_back(day.archive_gif);
    }
    // The archive's other files: the days' records and CSVs, the year files, the index.
    for (const Day& day : state.days.items()) {
      const ArchiveDayFiles day_files = archive_day_files(archive_dir, day);
      files.push_back(day_files.record);
      files.push_back(day_files.csv);
      const std::string year_file = archive_dir + file_names::year_file(day.year());
      if (std::find(files.begin(), files.end(), year_file) == files.end()) {
        files.push_back(year_file);
      }
    }
    files.push_back(archive_dir + std::string(file_names::archive_index));
    check_obstacles(files, report);
  }

  if (state.picture_dir_status == FolderStatus::refused) {
    report_refused("picture folder (current pictures)", 6, report);
  } else {
    const std::string picture_dir = folder_of(paths[0].current_gif);
    const FolderLook pictures = look_at_folder(picture_dir, W_OK, "writable");
    report.line("picture folder (current pictures): " + folder_origin(lines, 6, state.picture_dir) +
                ": " + pictures.text);
    if (!pictures.usable) report.problem(folder_problem("picture folder", pictures, "written"));
    std::vector<std::string> files{temporary_path_in(picture_dir, writer),
                                   picture_dir + std::string(file_names::run_record)};
    for (const ExportPaths& day : paths) files.push_back(day.current_gif);
    check_obstacles(files, report);
  }
}

// Reads the forecast file of each month among the six days.
void check_forecasts(const PlotState& state, Report& report) {
  if (state.forecast_dir_status != FolderStatus::usable) return;
  // The first day of each month among the six.
  std::vector<const Day*> months;
  for (const Day& day : state.days.items()) {
    if (std::none_of(months.begin(), months.end(),
                     [&](const Day* month) { return month->month_key == day.month_key; })) {
      months.push_back(&day);
    }
  }
  for (const Day* month : months) {
    const std::string label = "forecast of " + month->month_label() + ": ";
    const std::string path = forecast_file_path(state.forecast_dir, month->month_key);
    const ForecastFile file = read_forecast_file(path);
    // A figure without its forecast is still written: the run warns, and so does the check.
    if (const auto warning = forecast_warning(path, file)) {
      report.line(label + "none");
      report.warning(*warning);
      continue;
    }
    const auto hours = std::count_if(file.values.begin(), file.values.end(),
                                     [](const auto& value) { return value.has_value(); });
    report.line(label + norvane::quoted(path) + ", " + std::to_string(hours) + " of " +
                std::to_string(forecast_hours) + " hours hold a value");
  }
}

// Names a measurement file too large to hold a measurement, with its size: a run reads only its
// first page, so the file costs nothing but its day's archive picture, which is kept.
void report_oversized(const std::string& path, Report& report) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return;
  report.line("measurement file " + norvane::quoted(path) + " is " +
              std::to_string(static_cast<std::uintmax_t>(info.st_size)) +
              " bytes, larger than a measurement file can be");
  report.problem("measurement file " + norvane::quoted(path) +
                 " is larger than a measurement file can be");
}

// Lists the measurement folder once for all six days, as a run lists it when it does not change,
// tells the station, and reads each day's files as a run reads them; leaves what it saw of each
// day in `sights` (at index day - 1).
void check_measurements(PlotState& state, const std::vector<std::string>& lines, Report& report,
                        std::vector<DaySight>& sights) {
  if (state.observation_dir_status == FolderStatus::refused) {
    report_refused("measurement folder", 4, report);
    return;
  }
  const FolderLook look = look_at_folder(folder_of(state.observation_dir), R_OK, "listable");
  report.line("measurement folder: " + folder_origin(lines, 4, state.observation_dir) + ": " +
              look.text);
  if (!look.usable) report.problem(folder_problem("measurement folder", look, "listed"));
  if (state.observation_dir_status == FolderStatus::missing) return;

  std::vector<std::string> later_stems;
  for (int day = 2; day <= 6; ++day) {
    for (std::string& stem : day_stems(state.days[day])) {
      later_stems.push_back(std::move(stem));
    }
  }
  const ObservationFolder folder =
      ObservationFolder::list(state.observation_dir, day_stems(state.days[1]), later_stems);
  if (folder.list_error() == 0) {
    std::string text =
        "measurement folder: " + count_text(static_cast<long>(folder.file_count()), "file");
    if (folder.first_file()) text += ", the first " + norvane::quoted(*folder.first_file());
    report.line(text);
  }

  const Station station = identify_station(folder, state.observation_dir);
  if (station.problem != Station::Problem::none) {
    report.line(station_problem_text(station, state.observation_dir));
    report.problem(
        station.problem == Station::Problem::cannot_list ? "the measurement folder cannot be listed"
        : station.problem == Station::Problem::no_file   ? "the measurement folder holds no file"
                                                         : "no known station");
    return;
  }
  report.line("station: style " + std::to_string(station.kind) + ", the first line of " +
              norvane::quoted(state.observation_dir + station.first_file) + " begins " +
              norvane::quoted(station.first_line.substr(0, 4)));
  if (!station_has_files(folder, station, state, state.days.items())) {
    report.line(station_without_files_text(station, state));
    report.problem("no measurement file of the station for any of the six days");
    return;
  }

  MeasurementListing unreadable;
  bool recent_files = false;
  for (int day = 1; day <= 6; ++day) {
    const DayFileNames names = day_file_names(station.kind, state.days[day]);
    DaySight& sight = sights[static_cast<std::size_t>(day - 1)];
    sight = {true, station, read_day(folder, names, state)};
    const DayReading& reading = sight.reading;
    if (reading.first_error == larger_than_a_measurement) {
      report_oversized(state.observation_dir + reading.first_unreadable, report);
    }
    unreadable.note_unreadable(reading.unreadable, state.observation_dir + reading.first_unreadable,
                               reading.first_error);
    std::string text = "measurements of " + state.date_labels[day];
    if (day == 6) text += " (today)";
    const PlotState::DayCounts& counts = reading.counts;
    if (counts.files() == 0 && reading.unreadable == 0) {
      text += ": no file (their names begin " + norvane::quoted(names.stem) + ")";
    } else {
      text += ": " + count_text(counts.files(), "file");
      if (counts.files_without_value > 0) {
        text += " (" + std::to_string(counts.files_without_value) + " without a value)";
      }
      if (counts.newest_minute)
        text += ", the newest at " + time_of_day_text(*counts.newest_minute) + " UT";
      if (reading.unreadable > 0) {
        text += ", " + std::to_string(reading.unreadable) + " more that cannot be read";
      }
      // The local date of a station east of Greenwich begins before the day in universal time
      // does, so its "today" has no files for up to half a day: yesterday's files do.
      if (day >= 5 && counts.files() > 0) recent_files = true;
    }
    report.line(text);
  }
  CollectedMessages messages;
  Diagnostics diagnostics(messages.sink());
  unreadable.report_unreadable(diagnostics);
  messages.report_to(report, diagnostics);
  if (unreadable.unreadable_count() > 0) {
    report.problem(count_text(unreadable.unreadable_count(), "measurement file") +
                   " cannot be read");
  }
  // A run draws all the same, and says nothing of it (monitoring sees the newest measurement
  // age): a station whose measurements stopped, or do not yet come, at the time of the check.
  if (!recent_files) {
    report.warning(
        "no measurement file of today or yesterday (the pictures show no recent "
        "measurement)");
  }
}

// The verdict of a set-up a run would use to the full: with warnings, it would still write all
// twelve pictures and exit with 0, so the check does too.
std::string ready_verdict(int warnings) {
  if (warnings == 0) {
    return "verdict: ready: a run now would write all twelve pictures with forecasts and "
           "measurements";
  }
  return "verdict: ready, with " + count_text(warnings, "warning") +
         ": a run now would write all twelve pictures; see the warnings above";
}

// What a run would do with each day's archive picture, by the archive rules, and why.
void check_archive(PlotState& state, const std::vector<DaySight>& sights, Report& report) {
  if (state.forecast_dir_status != FolderStatus::usable) return;
  const std::string archive_dir = archive_folder_of(state);
  CollectedMessages messages;
  Diagnostics diagnostics(messages.sink());
  std::string other_stations_days;
  for (int day_index = 1; day_index <= 6; ++day_index) {
    const Day& day = state.days[day_index];
    const DaySight& sight = sights[static_cast<std::size_t>(day_index - 1)];
    const ArchiveDayFiles files = archive_day_files(archive_dir, day);
    const ArchivedDay archived = look_at_archive(files, day, sight, diagnostics);
    const DayPlan plan = plan_day(archived, sight, {day_index == 6, false});
    std::string text = "archive of " + day.label + ": ";
    const std::string drawn =
        count_text(static_cast<long>(plan.measurements.size()), "measurement");
    switch (plan.archive) {
      case ArchivePicture::keep_other_station:
        text += "kept, " + other_station_text(files, day, *archived.head->station, sight.station,
                                              state.observation_dir);
        other_stations_days += (other_stations_days.empty() ? "" : ", ") + day.label;
        break;
      case ArchivePicture::keep_richer:
        text += "kept, " + thinner_day_text(files, day, archived, sight);
        break;
      case ArchivePicture::keep:
        text += !sight.seen ? "kept: the station's data cannot be seen"
                            : "kept: a file of the day cannot be read";
        if (plan.drawn_from == DrawnFrom::record) {
          text += " (its current picture drawn from its record, " + drawn + ")";
        }
        break;
      case ArchivePicture::write:
        if (!archived.picture) {
          text += "written, " + drawn + " (no picture yet)";
        } else if (!archived.head) {
          text += "written, " + drawn + " (no record yet)";
        } else if (plan.from_record > 0) {
          text += "merged: " + drawn + ", " + std::to_string(plan.from_record) +
                  " of them from its record, whose files are gone or cannot be read";
        } else {
          text += "written, " + drawn + " (the folder holds all its record holds)";
        }
        break;
    }
    report.line(text);
  }
  messages.report_to(report, diagnostics);
  if (!other_stations_days.empty()) {
    report.problem("another station's days in the archive: " + other_stations_days);
  }
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

  report.line("working folder " + norvane::quoted(state.work_dir) + ", today " +
              state.date_labels[6] + " (the local date)");
  report_user(state, report);
  if (!settings_diagnostics.failed()) {
    report.line("settings file " +
                norvane::quoted(state.work_dir + std::string(file_names::settings)) + ": read");
  } else {
    report.problem("the settings cannot be used as they are");
  }
  settings_messages.report_to(report, settings_diagnostics);

  // Settings that are no settings file at all make a run read and write nothing.
  if (settings_usable) {
    check_folders(state, settings_lines, report);
    check_forecasts(state, report);
    std::vector<DaySight> sights(6);
    check_measurements(state, settings_lines, report, sights);
    check_archive(state, sights, report);
  }

  if (report.problems().empty()) {
    report.line(ready_verdict(report.warnings()));
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
