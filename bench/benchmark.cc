// SPDX-License-Identifier: MIT
// norvane_benchmark: measures how long a run of norvane_foF2 takes, in CPU and in wall time, and
// how much memory it needs, in a small and in a very large measurement folder and for a network
// of stations, for the installed (dynamically linked) program and, when given, a static
// program of the same sources (bench/norvane_foF2_static) beside it.
//
//   norvane_benchmark <norvane_foF2> [<static norvane_foF2>] [runs]
//
// In a fresh temporary folder it builds working folders, each with its settings file, forecast
// files, archive and picture folders, and a measurement folder of station Rome:
//
//   week:     one file every 15 minutes for the seven days up to today   (7 x 96  =     672 files)
//   stations: 1,000 working folders, each of one file an hour for a week (7 x 24  =     168 files)
//   year:     one file every 3 minutes for the 365 days up to today      (365 x 480 = 175,200
//   files)
//
// Then it starts the programs in each folder the way a scheduler does (no arguments, the folder
// as its working directory, output thrown away): two warm-up runs of each, then `runs` measured
// rounds (21 for week and 7 for year unless given), in each of which every program runs once,
// in turn, so that both see the machine in the same state. Each run's wall time is taken around
// fork and wait4, its CPU time (user and system) and peak memory from wait4's resource usage.
//
// Each figure is set against what no run can do without, timed in turn with the runs:
//   - week: the I/O floor, starting a trivial program (/bin/true, started the same way) and
//     listing the folder once and reading the files of the six days a run draws; and, with a
//     static program given, the dynamic program's CPU time against the static one's;
//   - stations: each program runs every station once, one after the other (after a first pass
//     that writes their pictures), as a machine serving a network of stations would: CPU
//     seconds and wall time per station run;
//   - year: listing the folder once (a run lists it once while it does not change) and six
//     times, and its I/O floor as for the week; `norvane_foF2 --check`, against listing it
//     once; a backfill of all 365 days (`--backfill`, the archive pictures removed before each
//     timed run so that each writes them all), against listing the folder once and opening and
//     reading each of its files once.
// Each folder is prepared and written out to disk just before its runs. The measurement
// folder's modification time is then set to a minute before, as if the station's last file had
// come then: most runs of a real station come minutes after its last file. The week folder is
// timed once more with its modification time set to the moment before each run, as if a file
// had just come, which makes the program list the folder again for each day, and then with an
// 8 GiB sparse measurement file without a line end among its files, in turn with runs without.
//
// The temporary folder is removed at the end, also after a failure or an interrupt (Ctrl-C).
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <iostream>
#include <numbers>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

constexpr std::string_view kProgram = "norvane_benchmark";
constexpr int kWarmUpRuns = 2;

// ---------------------------------------------------------------------------------------------
// Errors and interrupts

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] void fail_with_errno(const std::string& what, int error) {
  throw Failure(what + ": " + std::strerror(error));
}

volatile std::sig_atomic_t interrupted = 0;

extern "C" void on_interrupt(int) { interrupted = 1; }

// SIGINT and SIGTERM only set a flag (and break a wait), so that the benchmark can stop at the
// next check and still remove its temporary folder.
void catch_interrupts() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocking wait returns with EINTR
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

void stop_if_interrupted() {
  if (interrupted) throw Failure("interrupted");
}

// The temporary folder, removed with everything in it when the benchmark ends.
class TemporaryFolder {
 public:
  TemporaryFolder() {
    std::string pattern = (fs::temp_directory_path() / "norvane_benchmark.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr)
      fail_with_errno("cannot create a temporary folder from \"" + pattern + "\"", errno);
    path_ = pattern;
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  ~TemporaryFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
    if (error)
      std::cerr << kProgram << ": cannot remove temporary folder \"" << path_.string()
                << "\": " << error.message() << '\n';
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// ---------------------------------------------------------------------------------------------
// Dates

year_month_day today_local() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr) fail_with_errno("cannot read the local date", errno);
  return year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
         day{static_cast<unsigned>(local.tm_mday)};
}

int day_of_year(const year_month_day& date) {
  return static_cast<int>((sys_days{date} - sys_days{date.year() / January / 1}).count()) + 1;
}

std::string date_label(const year_month_day& date) {
  char text[64];
  std::snprintf(text, sizeof text, "%02u/%02u/%04d", static_cast<unsigned>(date.day()),
                static_cast<unsigned>(date.month()), static_cast<int>(date.year()));
  return text;
}

// ---------------------------------------------------------------------------------------------
// Working folders

// A plausible monthly median foF2 curve in tenths of MHz: about 3 MHz before dawn, about 9 to
// 10 MHz early in the afternoon UT.
std::array<int, 24> forecast_tenths(unsigned month_of_year) {
  const double season = std::cos(2.0 * std::numbers::pi * (month_of_year - 1) / 12.0);
  const double night = 3.2 - 0.4 * season;
  const double noon = 9.3 + 0.9 * season;
  std::array<int, 24> values{};
  for (int hour = 0; hour < 24; ++hour) {
    const double since_minimum = std::fmod(hour - 4.5 + 24.0, 24.0);
    const double shape =
        since_minimum <= 8.5
            ? 0.5 - 0.5 * std::cos(std::numbers::pi * since_minimum / 8.5)
            : 0.5 + 0.5 * std::cos(std::numbers::pi * (since_minimum - 8.5) / 15.5);
    values[static_cast<std::size_t>(hour)] =
        static_cast<int>(std::lround(10.0 * (night + (noon - night) * shape)));
  }
  return values;
}

// Writes `content` as the whole of the file `name` in the folder open as `folder_fd`.
void write_file_at(int folder_fd, const char* name, std::string_view content,
                   const fs::path& folder) {
  const int fd = ::openat(folder_fd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail_with_errno("cannot create \"" + (folder / name).string() + "\"", errno);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      fail_with_errno("cannot write \"" + (folder / name).string() + "\"", error);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) fail_with_errno("cannot write \"" + (folder / name).string() + "\"", errno);
}

void write_file(const fs::path& path, std::string_view content) {
  write_file_at(AT_FDCWD, path.c_str(), content, fs::path{});
}

// Sets the modification time of `path` to `seconds_ago` seconds before now.
void set_modification_time(const fs::path& path, int seconds_ago) {
  timespec times[2]{};
  if (::clock_gettime(CLOCK_REALTIME, &times[0]) != 0)
    fail_with_errno("cannot read the clock", errno);
  times[0].tv_sec -= seconds_ago;
  times[1] = times[0];
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
    fail_with_errno("cannot set the time of \"" + path.string() + "\"", errno);
}

void make_folder(const fs::path& path) {
  if (::mkdir(path.c_str(), 0755) != 0)
    fail_with_errno("cannot create folder \"" + path.string() + "\"", errno);
}

struct WorkingFolder {
  std::string name;
  fs::path path;
  int measurement_files = 0;
};

// A working folder whose measurement folder holds a Rome file every `minutes_apart` minutes of
// the `day_count` days up to `today`, every one of them with a value.
WorkingFolder make_working_folder(const fs::path& parent, const std::string& name,
                                  year_month_day today, int day_count, int minutes_apart) {
  WorkingFolder folder{name, parent / name, 0};
  make_folder(folder.path);
  make_folder(folder.path / "forecasts");
  make_folder(folder.path / "forecasts" / "previous_foF2_plots");
  make_folder(folder.path / "measurements");
  make_folder(folder.path / "pictures");
  write_file(folder.path / "norvane_foF2.ini",
             "forecast folder\r\nforecasts\\\r\nmeasurement folder\r\nmeasurements\\\r\n"
             "picture folder\r\npictures\\\r\n");

  const fs::path measurements = folder.path / "measurements";
  const int measurements_fd = ::open(measurements.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (measurements_fd < 0)
    fail_with_errno("cannot open folder \"" + measurements.string() + "\"", errno);
  try {
    year_month_day forecast_month{};  // the month whose forecast file was written last
    for (int offset = -(day_count - 1); offset <= 0; ++offset) {
      const year_month_day date{sys_days{today} + days{offset}};
      const auto month_of_year = static_cast<unsigned>(date.month());
      const int year_number = static_cast<int>(date.year());
      const std::array<int, 24> forecast = forecast_tenths(month_of_year);

      if (date.year() != forecast_month.year() || date.month() != forecast_month.month()) {
        std::string content = "Rome foF2 monthly median forecast (MHz, 00 to 23 UT)\r\n";
        for (const int tenths : forecast) {
          char field[64];
          std::snprintf(field, sizeof field, " %2d.%d", tenths / 10, tenths % 10);
          content += field;
        }
        content += "\r\n";
        char file_name[64];
        std::snprintf(file_name, sizeof file_name, "%02u%04d.txt", month_of_year, year_number);
        write_file(folder.path / "forecasts" / file_name, content);
        forecast_month = date;
      }

      const int doy = day_of_year(date);
      const std::string label = date_label(date);
      for (int minute_of_day = 0; minute_of_day < 24 * 60; minute_of_day += minutes_apart) {
        const int hour = minute_of_day / 60;
        const int minute = minute_of_day % 60;
        // The forecast followed closely, with a small deterministic wobble.
        const int wobble = static_cast<int>((doy * 7 + minute_of_day * 13) % 9) - 4;
        const int tenths = std::clamp(forecast[static_cast<std::size_t>(hour)] + wobble, 10, 199);
        char file_name[64];
        std::snprintf(file_name, sizeof file_name, "RM041_%04d%03d%02d%02d00.TXT", year_number, doy,
                      hour, minute);
        char content[256];
        const int length = std::snprintf(content, sizeof content,
                                         "Rome ionospheric station - automatic scaling\r\n"
                                         "Date %s  Time %02d:%02d:00 UT\r\n"
                                         "foF2 (MHz)     %2d.%d\r\n",
                                         label.c_str(), hour, minute, tenths / 10, tenths % 10);
        if (length < 0 || static_cast<std::size_t>(length) >= sizeof content)
          throw Failure("measurement file content too long");
        write_file_at(measurements_fd, file_name,
                      std::string_view(content, static_cast<std::size_t>(length)), measurements);
        ++folder.measurement_files;
        if (folder.measurement_files % 4096 == 0) stop_if_interrupted();
      }
    }
  } catch (...) {
    ::close(measurements_fd);
    throw;
  }
  ::close(measurements_fd);
  return folder;
}

// ---------------------------------------------------------------------------------------------
// Runs

// A program under test: the installed (dynamically linked) one, or a static one of the same
// sources.
struct Program {
  std::string label;
  std::string path;
};

struct RunResult {
  double wall_ms = 0;
  double cpu_ms = 0;  // user and system time of the program
  long peak_kib = 0;
  int status = 0;  // as wait4 gives it
};

bool succeeded(int status) { return WIFEXITED(status) && WEXITSTATUS(status) == 0; }

std::string describe(int status) {
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) == 127) return "exit status 127 (the program could not be started)";
    return "exit status " + std::to_string(WEXITSTATUS(status));
  }
  if (WIFSIGNALED(status))
    return std::string("killed by signal ") + std::to_string(WTERMSIG(status)) + " (" +
           strsignal(WTERMSIG(status)) + ")";
  return "ended with wait status " + std::to_string(status);
}

double milliseconds(const timeval& time) { return time.tv_sec * 1e3 + time.tv_usec / 1e3; }

// Starts `program` with `arguments` (none unless given) in `folder`, with standard input from
// /dev/null and its output to `output` (/dev/null unless given), and waits for it to end.
RunResult run_program(const std::string& program, const fs::path& folder,
                      const char* output = "/dev/null",
                      const std::vector<std::string>& program_arguments = {}) {
  const std::string folder_text = folder.string();
  std::vector<char*> arguments{const_cast<char*>(program.c_str())};
  for (const std::string& argument : program_arguments)
    arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);

  RunResult result;
  const auto start = steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) fail_with_errno("cannot start a process", errno);
  if (child == 0) {
    // Only async-signal-safe calls from here to execv.
    const int input_fd = ::open("/dev/null", O_RDONLY);
    const int output_fd = ::open(output, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (input_fd < 0 || output_fd < 0 || ::dup2(input_fd, STDIN_FILENO) < 0 ||
        ::dup2(output_fd, STDOUT_FILENO) < 0 || ::dup2(output_fd, STDERR_FILENO) < 0 ||
        ::chdir(folder_text.c_str()) != 0)
      ::_exit(127);
    ::execv(program.c_str(), arguments.data());
    ::_exit(127);
  }
  rusage usage{};
  int status = 0;
  while (::wait4(child, &status, 0, &usage) < 0) {
    if (errno != EINTR) fail_with_errno("cannot wait for the program", errno);
    if (interrupted) {
      ::kill(child, SIGKILL);
      ::wait4(child, &status, 0, &usage);
      throw Failure("interrupted");
    }
  }
  const auto end = steady_clock::now();
  result.wall_ms = duration<double, std::milli>(end - start).count();
  result.cpu_ms = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
  result.peak_kib = usage.ru_maxrss;  // KiB on Linux
  result.status = status;
  return result;
}

// The pictures a successful run leaves: six current and six archive GIFs. Returns the first one
// missing or empty, or nothing.
std::optional<fs::path> missing_picture(const WorkingFolder& folder, year_month_day today) {
  for (int slot = 1; slot <= 6; ++slot) {
    const fs::path current =
        folder.path / "pictures" / ("plotfoF2" + std::to_string(slot) + ".gif");
    const year_month_day date{sys_days{today} - days{6 - slot}};
    char archive_name[64];
    std::snprintf(archive_name, sizeof archive_name, "%04d%03d.gif", static_cast<int>(date.year()),
                  day_of_year(date));
    const fs::path archive = folder.path / "forecasts" / "previous_foF2_plots" / archive_name;
    for (const fs::path& picture : {current, archive}) {
      std::error_code error;
      if (!fs::is_regular_file(picture, error) || fs::file_size(picture, error) == 0 || error)
        return picture;
    }
  }
  return std::nullopt;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

// What the runs of one program in one folder came to.
struct ProgramReport {
  bool all_succeeded = true;
  double median_ms = 0;
  double median_cpu_ms = 0;
};

// Runs of each program, kept apart.
class RunTally {
 public:
  void note(const RunResult& run, bool timed) {
    if (!succeeded(run.status)) {
      all_succeeded_ = false;
      if (failures_++ == 0) first_failure_ = describe(run.status);
    }
    if (!timed) return;
    wall_ms_.push_back(run.wall_ms);
    cpu_ms_.push_back(run.cpu_ms);
    peak_kib_ = std::max(peak_kib_, run.peak_kib);
  }
  void fail() { all_succeeded_ = false; }
  int failures() const { return failures_; }
  const std::string& first_failure() const { return first_failure_; }

  // Prints the line of these runs and returns their medians.
  ProgramReport report(const std::string& heading) const {
    char line[320];
    std::snprintf(line, sizeof line,
                  "%s: %zu runs: median %.2f ms (min %.2f ms), CPU median %.2f ms, "
                  "peak memory max %.1f MiB",
                  heading.c_str(), wall_ms_.size(), median(wall_ms_),
                  wall_ms_.empty() ? 0.0 : *std::min_element(wall_ms_.begin(), wall_ms_.end()),
                  median(cpu_ms_), peak_kib_ / 1024.0);
    std::cout << line << '\n';
    return {all_succeeded_, median(wall_ms_), median(cpu_ms_)};
  }

 private:
  std::vector<double> wall_ms_;
  std::vector<double> cpu_ms_;
  long peak_kib_ = 0;
  bool all_succeeded_ = true;
  int failures_ = 0;
  std::string first_failure_;
};

// Runs `program` once more with its output kept, and shows what it said.
void show_output(const Program& program, const WorkingFolder& folder, const fs::path& scratch,
                 const std::vector<std::string>& arguments) {
  const fs::path output = scratch / (folder.name + "-output.txt");
  run_program(program.path, folder.path, output.c_str(), arguments);
  std::FILE* file = std::fopen(output.c_str(), "r");
  char text[512];
  for (int lines = 0; file != nullptr && lines < 10 && std::fgets(text, sizeof text, file); ++lines)
    std::cout << folder.name << ":   " << text << (std::strchr(text, '\n') ? "" : "\n");
  if (file != nullptr) std::fclose(file);
}

// Warm-up runs, then `runs` measured rounds in `folder`, with `arguments`: in each round every
// program runs once, in turn, so that all see the machine in the same state. Prints the results
// of each program. `alongside`, when given, is called after each round, so that what it times
// shares the machine's state of the moment with the runs; `before_each` before each run. Runs
// without arguments must leave all twelve pictures.
std::vector<ProgramReport> measure_runs(const std::vector<Program>& programs,
                                        const WorkingFolder& folder, int runs, year_month_day today,
                                        const fs::path& scratch,
                                        const std::function<void()>& alongside = {},
                                        const std::vector<std::string>& arguments = {},
                                        const std::function<void()>& before_each = {}) {
  std::vector<RunTally> tallies(programs.size());
  for (std::size_t p = 0; p < programs.size(); ++p) {
    for (int i = 0; i < kWarmUpRuns; ++i) {
      if (before_each) before_each();
      tallies[p].note(run_program(programs[p].path, folder.path, "/dev/null", arguments), false);
      stop_if_interrupted();
    }
    if (tallies[p].failures() == 0 && arguments.empty()) {
      if (const auto missing = missing_picture(folder, today)) {
        tallies[p].fail();
        std::cout << folder.name << " (" << programs[p].label
                  << "): the program ended with status 0 but did not write \"" << missing->string()
                  << "\"\n";
      }
    }
  }
  for (int i = 0; i < runs; ++i) {
    for (std::size_t p = 0; p < programs.size(); ++p) {
      if (before_each) before_each();
      tallies[p].note(run_program(programs[p].path, folder.path, "/dev/null", arguments), true);
      stop_if_interrupted();
    }
    if (alongside) alongside();
  }

  std::vector<ProgramReport> reports;
  for (std::size_t p = 0; p < programs.size(); ++p) {
    const std::string heading = folder.name + " (" + programs[p].label + "), " +
                                std::to_string(folder.measurement_files) + " measurement files";
    reports.push_back(tallies[p].report(heading));
    if (tallies[p].failures() > 0) {
      std::cout << folder.name << " (" << programs[p].label << "): " << tallies[p].failures()
                << " of " << kWarmUpRuns + runs << " runs failed, the first with "
                << tallies[p].first_failure() << '\n';
      show_output(programs[p], folder, scratch, arguments);
    }
  }
  return reports;
}

// Runs in `folder` with and without an 8 GiB sparse measurement file of today that holds no
// line end (a station's upload gone wrong, or a hostile neighbour), `runs` of each in turn, and
// prints what the file costs a run: the program reads no more of it than a page, so it costs
// milliseconds, where reading it whole took a minute. Each run with it must fail naming it.
// Returns whether they did.
bool measure_sparse_file(const std::string& program, const WorkingFolder& folder, int runs,
                         year_month_day today, const fs::path& scratch) {
  char name[64];
  std::snprintf(name, sizeof name, "RM041_%04d%03d000700.TXT", static_cast<int>(today.year()),
                day_of_year(today));
  const fs::path sparse = folder.path / "measurements" / name;
  write_file(sparse, "Rome");
  if (::truncate(sparse.c_str(), off_t{8} << 30) != 0)
    fail_with_errno("cannot make \"" + sparse.string() + "\" 8 GiB long", errno);
  const fs::path output = scratch / "sparse-output.txt";
  std::vector<double> with_file, without_file;
  bool named = true;
  for (int i = 0; i < runs + kWarmUpRuns; ++i) {
    const RunResult with = run_program(program, folder.path, output.c_str());
    std::FILE* file = std::fopen(output.c_str(), "r");
    char text[1024] = {};
    const std::size_t got = file != nullptr ? std::fread(text, 1, sizeof text - 1, file) : 0;
    if (file != nullptr) std::fclose(file);
    named = named && WIFEXITED(with.status) && WEXITSTATUS(with.status) == 1 &&
            std::string_view(text, got).find(name) != std::string_view::npos;
    fs::rename(sparse, folder.path / name);
    const RunResult without = run_program(program, folder.path);
    fs::rename(folder.path / name, sparse);
    if (i >= kWarmUpRuns) {
      with_file.push_back(with.wall_ms);
      without_file.push_back(without.wall_ms);
    }
    stop_if_interrupted();
  }
  fs::remove(sparse);
  std::printf(
      "week, with an 8 GiB sparse measurement file without a line end: median %.2f ms against "
      "%.2f ms without it (%d runs of each in turn): %.2f ms of its own; %s\n",
      median(with_file), median(without_file), runs, median(with_file) - median(without_file),
      named ? "every run with it failed naming it" : "NOT every run with it failed naming it");
  return named;
}

// Lists `folder` `passes` times in a row, reading every entry; returns the time in ms.
double list_folder(const fs::path& folder, long expected_entries, int passes) {
  const auto start = steady_clock::now();
  for (int pass = 0; pass < passes; ++pass) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
      fail_with_errno("cannot list folder \"" + folder.string() + "\"", errno);
    long entries = 0;
    errno = 0;
    while (::readdir(listing) != nullptr) ++entries;
    const int error = errno;
    ::closedir(listing);
    if (error != 0) fail_with_errno("cannot list folder \"" + folder.string() + "\"", error);
    if (entries != expected_entries)
      throw Failure("listing folder \"" + folder.string() + "\" gave " + std::to_string(entries) +
                    " entries, " + std::to_string(expected_entries) + " expected");
  }
  return duration<double, std::milli>(steady_clock::now() - start).count();
}

// Lists `folder` once and opens and reads each of its files, or only those whose names begin
// with one of `stems` when given; returns the time in ms.
double list_and_read_folder(const fs::path& folder, long expected_files,
                            const std::vector<std::string>& stems = {}) {
  const auto start = steady_clock::now();
  DIR* listing = ::opendir(folder.c_str());
  if (listing == nullptr) fail_with_errno("cannot list folder \"" + folder.string() + "\"", errno);
  long files = 0;
  char buffer[4096];
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(listing);
    if (entry == nullptr) break;
    if (entry->d_name[0] == '.') continue;
    const std::string_view name = entry->d_name;
    if (!stems.empty() && std::none_of(stems.begin(), stems.end(), [&](const std::string& stem) {
          return name.starts_with(stem);
        }))
      continue;
    const int fd = ::openat(::dirfd(listing), entry->d_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail_with_errno(std::string("cannot open \"") + entry->d_name + "\"", errno);
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
    ++files;
  }
  const int error = errno;
  ::closedir(listing);
  if (error != 0) fail_with_errno("cannot list folder \"" + folder.string() + "\"", error);
  if (files != expected_files)
    throw Failure("folder \"" + folder.string() + "\" gave " + std::to_string(files) +
                  " files to read, " + std::to_string(expected_files) + " expected");
  return duration<double, std::milli>(steady_clock::now() - start).count();
}

// The beginnings of the names of the Rome station's files of the six days a run on `today`
// draws.
std::vector<std::string> six_days_stems(year_month_day today) {
  std::vector<std::string> stems;
  for (int before = 0; before < 6; ++before) {
    const year_month_day date{sys_days{today} - days{before}};
    char stem[32];
    std::snprintf(stem, sizeof stem, "RM041_%04d%03d", static_cast<int>(date.year()),
                  day_of_year(date));
    stems.push_back(stem);
  }
  return stems;
}

// A date as YYYY-MM-DD.
// The bytes the archive's day files of each kind take: pictures (.gif), records (.json of a
// day) and CSVs, and how many days have a record.
struct ArchiveBytes {
  std::uintmax_t pictures = 0, records = 0, csvs = 0;
  int days = 0;
};
ArchiveBytes archive_bytes(const fs::path& archive) {
  ArchiveBytes bytes;
  for (const auto& entry : fs::directory_iterator(archive)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.size() < 8 || name[7] != '.') continue;
    const std::uintmax_t size = entry.file_size();
    if (name.ends_with(".gif")) bytes.pictures += size;
    if (name.ends_with(".csv")) bytes.csvs += size;
    if (name.ends_with(".json")) {
      bytes.records += size;
      ++bytes.days;
    }
  }
  return bytes;
}

// "week: a year of day records adds 3.4 MB (records 2.1 MB, CSVs 1.3 MB; the pictures take
// 2.9 MB)", scaled from the days the archive holds.
void print_archive_bytes(const std::string& name, const fs::path& archive) {
  const ArchiveBytes bytes = archive_bytes(archive);
  if (bytes.days == 0) return;
  const double per_year = 365.0 / bytes.days / 1e6;
  std::printf(
      "%s: a year of day records and CSVs adds %.1f MB to the archive (records %.1f MB, CSVs "
      "%.1f MB; the pictures take %.1f MB), from the %d days it holds\n",
      name.c_str(), (bytes.records + bytes.csvs) * per_year, bytes.records * per_year,
      bytes.csvs * per_year, bytes.pictures * per_year, bytes.days);
}

std::string iso_date(const year_month_day& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

std::optional<int> parse_runs(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size() || value < 1 || value > 100000)
    return std::nullopt;
  return value;
}

std::optional<std::string> program_path(const char* given) {
  std::error_code error;
  std::string path = fs::absolute(given, error).lexically_normal().string();
  if (error || ::access(path.c_str(), X_OK) != 0) return std::nullopt;
  return path;
}

// "a / b = r" for each program, on one line.
void print_ratios(const std::string& what, const std::vector<Program>& programs,
                  const std::vector<ProgramReport>& reports,
                  const std::function<double(const ProgramReport&)>& numerator,
                  double denominator) {
  std::cout << what << ":";
  for (std::size_t p = 0; p < programs.size(); ++p) {
    char text[96];
    std::snprintf(text, sizeof text, "%s %.2f", p == 0 ? "" : ",",
                  numerator(reports[p]) / denominator);
    std::cout << text << " (" << programs[p].label << ")";
  }
  std::cout << '\n';
}

// A thousand stations served one after the other, as by a machine that draws the figures of a
// network of stations: each station's working folder, with a small week of measurements (one
// file an hour), run once in turn by each program after a first pass that writes their
// pictures. Prints the CPU and wall time per station run; returns whether all runs succeeded.
bool measure_stations(const std::vector<Program>& programs, const fs::path& parent,
                      year_month_day today, int station_count) {
  const auto start = steady_clock::now();
  const fs::path folder = parent / "stations";
  make_folder(folder);
  std::vector<WorkingFolder> stations;
  for (int i = 0; i < station_count; ++i) {
    stations.push_back(make_working_folder(folder, "station" + std::to_string(i), today, 7, 60));
    stop_if_interrupted();
  }
  ::sync();
  for (const WorkingFolder& station : stations)
    set_modification_time(station.path / "measurements", 60);
  std::printf("stations: prepared %d working folders of %d measurement files each in %.1f s\n",
              station_count, stations.front().measurement_files,
              duration<double>(steady_clock::now() - start).count());
  std::fflush(stdout);

  bool all_succeeded = true;
  const auto pass = [&](const Program& program, bool timed) {
    const auto started = steady_clock::now();
    double cpu_ms = 0;
    long peak_kib = 0;
    int failures = 0;
    for (const WorkingFolder& station : stations) {
      const RunResult run = run_program(program.path, station.path);
      if (!succeeded(run.status)) ++failures;
      cpu_ms += run.cpu_ms;
      peak_kib = std::max(peak_kib, run.peak_kib);
      stop_if_interrupted();
    }
    if (failures > 0) {
      all_succeeded = false;
      std::printf("stations (%s): %d of %d runs failed\n", program.label.c_str(), failures,
                  station_count);
    }
    if (!timed) return;
    const double wall_s = duration<double>(steady_clock::now() - started).count();
    std::printf(
        "stations (%s): %d station runs one after the other in %.2f s: %.2f ms CPU and %.2f ms "
        "wall per station run (%.5f CPU seconds), peak memory max %.1f MiB\n",
        program.label.c_str(), station_count, wall_s, cpu_ms / station_count,
        wall_s * 1e3 / station_count, cpu_ms / 1e3 / station_count, peak_kib / 1024.0);
  };
  pass(programs.front(), false);  // writes every station's pictures
  for (const Program& program : programs) pass(program, true);
  std::fflush(stdout);
  return all_succeeded;
}

int run(int argc, char** argv) {
  const auto usage = [] {
    std::cerr << "usage: " << kProgram
              << " <path to norvane_foF2> [<path to a static norvane_foF2>] [runs]\n";
    return 2;
  };
  if (argc < 2 || argc > 4) return usage();
  std::vector<Program> programs;
  std::optional<int> runs;
  for (int i = 1; i < argc; ++i) {
    if (i > 1 && !runs && (runs = parse_runs(argv[i]))) continue;
    if (runs || programs.size() == 2) return usage();
    const auto path = program_path(argv[i]);
    if (!path) {
      std::cerr << kProgram << ": \"" << argv[i] << "\" is not a program that can be run\n";
      return 2;
    }
    programs.push_back({programs.empty() ? "dynamic" : "static", *path});
  }
  const int week_runs = runs.value_or(21);
  const int year_runs = runs.value_or(7);

  catch_interrupts();
  const year_month_day today = today_local();
  TemporaryFolder temporary;
  std::cout << kProgram << ": today " << date_label(today) << " (local date), temporary folder "
            << temporary.path().string() << '\n';
  for (const Program& program : programs)
    std::cout << kProgram << ": " << program.label << " program " << program.path << '\n';

  const auto prepare = [&](const std::string& name, int day_count, int minutes_apart) {
    const auto start = steady_clock::now();
    WorkingFolder folder =
        make_working_folder(temporary.path(), name, today, day_count, minutes_apart);
    // Write the folder out before timing anything, so that no run pays for the disk writing
    // back what preparing it left in memory.
    ::sync();
    set_modification_time(folder.path / "measurements", 60);
    std::printf("%s: prepared %d measurement files in %.1f s\n", name.c_str(),
                folder.measurement_files, duration<double>(steady_clock::now() - start).count());
    std::fflush(stdout);
    return folder;
  };
  // What starting any program costs on this machine: a trivial program started the same way.
  std::vector<double> trivial_times;
  long trivial_peak_kib = 0;
  for (int i = 0; i < 21; ++i) {
    const RunResult trivial = run_program("/bin/true", temporary.path());
    if (!succeeded(trivial.status)) break;
    trivial_times.push_back(trivial.wall_ms);
    trivial_peak_kib = std::max(trivial_peak_kib, trivial.peak_kib);
  }
  const double start_ms = median(trivial_times);
  std::printf(
      "start: /bin/true started the same way takes %.2f ms (median) and peaks at %.1f MiB\n",
      start_ms, trivial_peak_kib / 1024.0);

  // The floor's start, timed in turn with the runs as its reading is.
  const auto start_time = [&] { return run_program("/bin/true", temporary.path()).wall_ms; };

  bool all_succeeded = true;
  const auto tally = [&](const std::vector<ProgramReport>& reports) {
    for (const ProgramReport& report : reports)
      all_succeeded = all_succeeded && report.all_succeeded;
  };

  // The week. Its I/O floor is starting a program, listing the folder once and reading the
  // files of the six days a run draws, timed in turn with the runs.
  const std::vector<std::string> stems = six_days_stems(today);
  const WorkingFolder week = prepare("week", 7, 15);
  const fs::path week_measurements = week.path / "measurements";
  const long week_read = 6 * 96;
  std::vector<double> week_read_times;
  std::vector<double> week_start_times;
  const auto week_reports = measure_runs(programs, week, week_runs, today, temporary.path(), [&] {
    week_start_times.push_back(start_time());
    week_read_times.push_back(list_and_read_folder(week_measurements, week_read, stems));
  });
  tally(week_reports);
  print_archive_bytes("week (96 files a day)", week.path / "forecasts" / "previous_foF2_plots");
  const double week_floor_ms = median(week_start_times) + median(week_read_times);
  std::printf(
      "week: I/O floor %.2f ms: starting a program %.2f ms, listing the folder and reading the "
      "six days' %ld files %.2f ms (medians of %d)\n",
      week_floor_ms, median(week_start_times), week_read, median(week_read_times), week_runs);
  print_ratios(
      "week: run / I/O floor", programs, week_reports,
      [](const ProgramReport& report) { return report.median_ms; }, week_floor_ms);
  if (programs.size() == 2) {
    std::printf("week: CPU dynamic / static = %.2f (%.2f ms / %.2f ms)\n",
                week_reports[0].median_cpu_ms / week_reports[1].median_cpu_ms,
                week_reports[0].median_cpu_ms, week_reports[1].median_cpu_ms);
  }

  WorkingFolder week_changing = week;
  week_changing.name = "week, folder changed just before each run";
  const auto just_changed = [&] { set_modification_time(week_measurements, 0); };
  tally(measure_runs(programs, week_changing, week_runs, today, temporary.path(), {}, {},
                     just_changed));
  set_modification_time(week_measurements, 60);
  const bool sparse_named =
      measure_sparse_file(programs.front().path, week, week_runs, today, temporary.path());

  all_succeeded = measure_stations(programs, temporary.path(), today, 1000) && all_succeeded;

  // The year. A run lists the folder once while it does not change; listing it once and six
  // times, and the I/O floor (starting a program, listing the folder once and reading the six
  // days' files), are timed in turn with the runs. The folder holds its files plus "." and "..".
  const WorkingFolder year = prepare("year", 365, 3);
  const fs::path year_measurements = year.path / "measurements";
  const long expected_entries = year.measurement_files + 2;
  list_folder(year_measurements, expected_entries, 6);  // warm-up
  std::vector<double> one_listing_times;
  std::vector<double> six_listing_times;
  std::vector<double> year_read_times;
  std::vector<double> year_start_times;
  const auto year_reports = measure_runs(programs, year, year_runs, today, temporary.path(), [&] {
    year_start_times.push_back(start_time());
    one_listing_times.push_back(list_folder(year_measurements, expected_entries, 1));
    six_listing_times.push_back(list_folder(year_measurements, expected_entries, 6));
    year_read_times.push_back(list_and_read_folder(year_measurements, 6 * 480, stems));
  });
  tally(year_reports);
  const double one_listing_ms = median(one_listing_times);
  std::printf("year: listing the measurement folder once: median %.2f ms, six times: %.2f ms\n",
              one_listing_ms, median(six_listing_times));
  print_ratios(
      "year: run / list once", programs, year_reports,
      [](const ProgramReport& report) { return report.median_ms; }, one_listing_ms);
  const double year_floor_ms = median(year_start_times) + median(year_read_times);
  std::printf(
      "year: I/O floor %.2f ms: starting a program %.2f ms, listing the folder and reading the "
      "six days' %d files %.2f ms\n",
      year_floor_ms, median(year_start_times), 6 * 480, median(year_read_times));
  print_ratios(
      "year: run / I/O floor", programs, year_reports,
      [](const ProgramReport& report) { return report.median_ms; }, year_floor_ms);

  // --check lists the folder once for all six days. It looks up users, which a static program
  // cannot do where the C library's name service modules are shared libraries (it crashes in
  // them), so only the dynamic program is timed.
  WorkingFolder year_check = year;
  year_check.name = "year, --check";
  one_listing_times.clear();
  const std::vector<Program> dynamic_only{programs.front()};
  const auto check_reports = measure_runs(
      dynamic_only, year_check, year_runs, today, temporary.path(),
      [&] { one_listing_times.push_back(list_folder(year_measurements, expected_entries, 1)); },
      {"--check"});
  tally(check_reports);
  print_ratios(
      "year: --check / list once", dynamic_only, check_reports,
      [](const ProgramReport& report) { return report.median_ms; }, median(one_listing_times));

  // A backfill of the whole year reads every file once; it is set against listing the folder
  // and reading its files once, timed in turn with it. Each timed backfill writes all 365
  // archive pictures anew.
  WorkingFolder year_backfill = year;
  year_backfill.name = "year, --backfill of 365 days";
  const year_month_day first_day{sys_days{today} - days{364}};
  const fs::path archive = year.path / "forecasts" / "previous_foF2_plots";
  std::vector<double> read_times;
  const int backfill_runs = std::min(year_runs, 3);
  const auto backfill_reports = measure_runs(
      programs, year_backfill, backfill_runs, today, temporary.path(),
      [&] {
        read_times.push_back(list_and_read_folder(year_measurements, year.measurement_files));
      },
      {"--backfill", iso_date(first_day), iso_date(today)},
      [&] {
        for (const auto& picture : fs::directory_iterator(archive)) fs::remove(picture.path());
      });
  tally(backfill_reports);
  const double read_ms = median(read_times);
  print_archive_bytes("year (480 files a day)", archive);
  std::printf(
      "year: listing the measurement folder once and reading each file once: median %.2f ms "
      "(%d repetitions)\n",
      read_ms, backfill_runs);
  print_ratios(
      "year: backfill / list and read", programs, backfill_reports,
      [](const ProgramReport& report) { return report.median_ms; }, read_ms);

  if (!all_succeeded || !sparse_named) {
    std::cout << kProgram << ": some runs failed; their times are not those of working runs\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::cout.flush();
    std::cerr << kProgram << ": " << error.what() << '\n';
    return 1;
  }
}
