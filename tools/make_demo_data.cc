// SPDX-License-Identifier: MIT
// norvane_make_demo_data: prepares a demo working folder for norvane_foF2.
//
//   norvane_make_demo_data <working folder> [yyyy-mm-dd]
//
// For a run on the given date (today's local date when none is given) it writes the settings
// file, creates the forecast (mode 0771), archive, measurement and picture folders, writes the
// monthly forecast files of the months that the run's six days (that date and the five days before
// it) fall in, and fills the measurement folder with the files of one station, Rome, one every 15
// minutes of the six days. For today only measurements up to the current universal time exist,
// as at a real station; for an explicit date every day is complete.
//
// Everything it writes follows from the date alone (the pseudo-random numbers are seeded from
// the date and time of each value), so running it again for the same date writes the same files.
//
// The measurement folder is the generator's own: before writing it removes the Rome measurement
// files there from earlier runs. It never removes anything else: a folder that holds other
// visible files is refused, since the program would take the first of them to tell the station.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
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

constexpr std::string_view kProgram = "norvane_make_demo_data";
constexpr std::string_view kCrLf = "\r\n";
constexpr int kDays = 6;                  // a run draws the day and the five days before it
constexpr int kMinutesBetweenFiles = 15;  // the station measures every 15 minutes

// ---------------------------------------------------------------------------------------------
// Errors and files

// A failure that ends the generator, with a message naming the file and the system's reason.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string in_quotes(const fs::path& path) { return "\"" + path.string() + "\""; }

[[noreturn]] void fail_with_errno(const std::string& what, const fs::path& path, int error) {
  throw Failure(what + " " + in_quotes(path) + ": " + std::strerror(error));
}

// Writes `content` as the whole of the file at `path`, replacing what it held.
void write_file(const fs::path& path, std::string_view content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) fail_with_errno("cannot create", path, errno);
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      fail_with_errno("cannot write", path, error);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) fail_with_errno("cannot write", path, errno);
}

// Creates the folder at `path` unless a folder is already there; a new one gets `mode` when
// given, whatever the umask.
void ensure_folder(const fs::path& path, std::optional<fs::perms> mode = std::nullopt) {
  std::error_code error;
  if (fs::create_directory(path, error)) {
    if (mode) fs::permissions(path, *mode);
    return;
  }
  if (error) throw Failure("cannot create folder " + in_quotes(path) + ": " + error.message());
  if (!fs::is_directory(path, error))
    throw Failure(in_quotes(path) + " exists and is not a folder");
}

// ---------------------------------------------------------------------------------------------
// Dates

year_month_day today_local() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (::localtime_r(&now, &local) == nullptr)
    throw Failure(std::string("cannot read the local date: ") + std::strerror(errno));
  return year{local.tm_year + 1900} / month{static_cast<unsigned>(local.tm_mon + 1)} /
         day{static_cast<unsigned>(local.tm_mday)};
}

// The date written as yyyy-mm-dd (four-digit year, two-digit month and day), or nothing.
std::optional<year_month_day> parse_date(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto number = [&](std::size_t from, std::size_t length) -> std::optional<int> {
    int value = 0;
    const char* first = text.data() + from;
    const char* last = first + length;
    if (!std::all_of(first, last, [](char c) { return c >= '0' && c <= '9'; })) return std::nullopt;
    std::from_chars(first, last, value);
    return value;
  };
  const auto y = number(0, 4);
  const auto m = number(5, 2);
  const auto d = number(8, 2);
  if (!y || !m || !d || *y < 1000) return std::nullopt;
  const year_month_day date =
      year{*y} / month{static_cast<unsigned>(*m)} / day{static_cast<unsigned>(*d)};
  if (!date.ok()) return std::nullopt;
  return date;
}

int day_of_year(const year_month_day& date) {
  return static_cast<int>((sys_days{date} - sys_days{date.year() / January / 1}).count()) + 1;
}

int year_number(const year_month_day& date) { return static_cast<int>(date.year()); }
unsigned month_number(const year_month_day& date) { return static_cast<unsigned>(date.month()); }
unsigned day_number(const year_month_day& date) { return static_cast<unsigned>(date.day()); }

// dd/mm/yyyy
std::string date_label(const year_month_day& date) {
  char text[64];
  std::snprintf(text, sizeof text, "%02u/%02u/%04d", day_number(date), month_number(date),
                year_number(date));
  return text;
}

// The monthly forecast file's name: two-digit month, four-digit year, ".txt".
std::string forecast_file_name(const year_month_day& date) {
  char text[64];
  std::snprintf(text, sizeof text, "%02u%04d.txt", month_number(date), year_number(date));
  return text;
}

// ---------------------------------------------------------------------------------------------
// Deterministic pseudo-random numbers

// SplitMix64's finaliser: a well-mixed 64-bit value for any key.
std::uint64_t mix(std::uint64_t key) {
  key += 0x9E3779B97F4A7C15ull;
  key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ull;
  key = (key ^ (key >> 27)) * 0x94D049BB133111EBull;
  return key ^ (key >> 31);
}

// A number in [0, 1) that depends only on the day, the minute of the day and a stream number.
double uniform(sys_days date, int minute_of_day, std::uint64_t stream) {
  const auto day_key = static_cast<std::uint64_t>(date.time_since_epoch().count());
  const std::uint64_t h = mix(mix(mix(day_key) ^ static_cast<std::uint64_t>(minute_of_day)) ^
                              (stream * 0xD1B54A32D192ED03ull));
  return static_cast<double>(h >> 11) * 0x1.0p-53;
}

// ---------------------------------------------------------------------------------------------
// The station's ionosphere

// Monthly median foF2 (MHz) at each whole hour UT for a mid-latitude station near 12 degrees
// east: lowest shortly before dawn (about 04-05 UT), highest early in the afternoon (about
// 13 UT). Winter days rise higher and winter nights fall lower than summer ones.
std::array<double, 24> monthly_median_mhz(unsigned month_of_year) {
  const double season = std::cos(2.0 * std::numbers::pi * (month_of_year - 1) / 12.0);  // 1 in Jan
  const double equinox = std::cos(4.0 * std::numbers::pi * (month_of_year - 3.5) / 12.0);
  const double night = 3.2 - 0.4 * season;                 // 2.8 in winter, 3.6 in summer
  const double noon = 9.3 + 0.9 * season + 0.5 * equinox;  // about 8 to 11
  constexpr double kMinimumHour = 4.5;
  constexpr double kPeakHour = 13.0;
  std::array<double, 24> values{};
  for (int hour = 0; hour < 24; ++hour) {
    const double since_minimum = std::fmod(hour - kMinimumHour + 24.0, 24.0);
    const double rise = kPeakHour - kMinimumHour;
    // A quick rise through the morning, a slow decay through the evening and the night.
    const double shape =
        since_minimum <= rise
            ? 0.5 - 0.5 * std::cos(std::numbers::pi * since_minimum / rise)
            : 0.5 + 0.5 * std::cos(std::numbers::pi * (since_minimum - rise) / (24.0 - rise));
    values[static_cast<std::size_t>(hour)] = night + (noon - night) * shape;
  }
  return values;
}

// `mhz` in tenths of MHz, kept within what the two whole-MHz characters of a field can hold.
int to_tenths(double mhz) { return std::clamp(static_cast<int>(std::lround(mhz * 10.0)), 0, 999); }

// A value field: two characters of whole MHz right-aligned, ".", one digit of tenths.
std::string value_field(int tenths) {
  char text[64];
  std::snprintf(text, sizeof text, "%2d.%d", tenths / 10, tenths % 10);
  return text;
}

// The measured foF2 in tenths of MHz at `minute_of_day` UT of `date`: the month's forecast,
// scaled by how the day runs above or below the median, with a slow wave of a few hours
// (travelling disturbances) and a little scaling noise.
int measured_tenths(const year_month_day& date, int minute_of_day) {
  const sys_days day_key{date};
  const std::array<double, 24> median = monthly_median_mhz(month_number(date));
  const double hours = minute_of_day / 60.0;
  const auto hour = static_cast<std::size_t>(minute_of_day / 60);
  const double fraction = hours - static_cast<double>(hour);
  const double forecast = median[hour] * (1.0 - fraction) + median[(hour + 1) % 24] * fraction;

  const double day_factor = 0.88 + 0.24 * uniform(day_key, 0, 1);
  const double wave_period = 2.5 + 2.0 * uniform(day_key, 0, 2);
  const double wave_phase = 2.0 * std::numbers::pi * uniform(day_key, 0, 3);
  const double wave = 0.35 * std::sin(2.0 * std::numbers::pi * hours / wave_period + wave_phase);
  const double noise = 0.3 * (uniform(day_key, minute_of_day, 4) - 0.5);
  return std::clamp(to_tenths(forecast * day_factor + wave + noise), 10, 199);
}

// About 3 in 100 measurements yield no value.
bool has_no_value(const year_month_day& date, int minute_of_day) {
  return uniform(sys_days{date}, minute_of_day, 5) < 0.03;
}

// ---------------------------------------------------------------------------------------------
// Files

constexpr std::string_view kStationPrefix = "RM041_";
constexpr std::string_view kStationSuffix = "00.TXT";
constexpr std::size_t kStationNameLength = 6 + 4 + 3 + 2 + 2 + 6;

// RM041_ + four-digit year + three-digit day of year + hour + minute + 00.TXT
std::string measurement_file_name(const year_month_day& date, int minute_of_day) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*s%04d%03d%02d%02d%.*s",
                static_cast<int>(kStationPrefix.size()), kStationPrefix.data(), year_number(date),
                day_of_year(date), minute_of_day / 60, minute_of_day % 60,
                static_cast<int>(kStationSuffix.size()), kStationSuffix.data());
  return text;
}

bool is_measurement_file_name(std::string_view name) {
  if (name.size() != kStationNameLength || !name.starts_with(kStationPrefix) ||
      !name.ends_with(kStationSuffix))
    return false;
  const std::string_view digits = name.substr(
      kStationPrefix.size(), name.size() - kStationPrefix.size() - kStationSuffix.size());
  return std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string measurement_file_content(const year_month_day& date, int minute_of_day) {
  char when[96];
  std::snprintf(when, sizeof when, "Date %s  Time %02d:%02d:00 UT", date_label(date).c_str(),
                minute_of_day / 60, minute_of_day % 60);
  const std::string value = has_no_value(date, minute_of_day)
                                ? "N/A "
                                : value_field(measured_tenths(date, minute_of_day));
  std::string content = "Rome ionospheric station - automatic scaling";
  content += kCrLf;
  content += when;
  content += kCrLf;
  content += "foF2 (MHz)     " + value;
  content += kCrLf;
  return content;
}

std::string forecast_file_content(const year_month_day& date) {
  static constexpr std::array<const char*, 12> kMonthNames = {
      "January", "February", "March",     "April",   "May",      "June",
      "July",    "August",   "September", "October", "November", "December"};
  std::string content = "Rome foF2 monthly median forecast (MHz, 00 to 23 UT), ";
  content += kMonthNames[month_number(date) - 1];
  content += ' ';
  content += std::to_string(year_number(date));
  content += kCrLf;
  for (const double mhz : monthly_median_mhz(month_number(date))) {
    content += ' ';
    content += value_field(to_tenths(mhz));
  }
  content += kCrLf;
  return content;
}

constexpr std::string_view kSettings =
    "forecast folder\r\n"
    "forecasts\\\r\n"
    "measurement folder\r\n"
    "measurements\\\r\n"
    "picture folder\r\n"
    "pictures\\\r\n";

// Removes the station's measurement files left in `folder` by earlier runs; returns how many.
// Refuses a folder that holds any other visible file: the generator does not own it, and the
// program would take such a file, if listed first, to tell the station.
int clear_measurement_folder(const fs::path& folder) {
  std::vector<fs::path> ours;
  std::error_code error;
  for (fs::directory_iterator entry(folder, error), end; !error && entry != end;
       entry.increment(error)) {
    const std::string name = entry->path().filename().string();
    if (name.starts_with(".") || !entry->is_regular_file(error)) continue;
    if (!is_measurement_file_name(name))
      throw Failure("measurement folder " + in_quotes(folder) + " holds " + in_quotes(name) +
                    ", which is not a demo measurement file; remove it or choose another folder");
    ours.push_back(entry->path());
  }
  if (error) throw Failure("cannot list folder " + in_quotes(folder) + ": " + error.message());
  for (const fs::path& path : ours) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
      fail_with_errno("cannot remove", path, errno);
  }
  return static_cast<int>(ours.size());
}

int run(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: " << kProgram << " <working folder> [yyyy-mm-dd]\n";
    return 2;
  }
  const fs::path folder = argv[1];
  const bool for_today = argc == 2;
  year_month_day run_date{};
  if (for_today) {
    run_date = today_local();
  } else if (const auto date = parse_date(argv[2])) {
    run_date = *date;
  } else {
    std::cerr << kProgram << ": \"" << argv[2] << "\" is not a valid date written as yyyy-mm-dd\n";
    return 2;
  }
  // Measurements exist up to now (universal time); for an explicit date, whole days.
  const sys_time<minutes> last_measurement =
      for_today ? floor<minutes>(system_clock::now()) : sys_time<minutes>::max();

  const fs::path forecasts = folder / "forecasts";
  const fs::path measurements = folder / "measurements";
  ensure_folder(folder);
  // The forecast folder holds the run lock: others may pass through it to the archive, but not
  // open it, which would let them hold the lock.
  ensure_folder(forecasts, fs::perms(0771));
  ensure_folder(forecasts / "previous_foF2_plots");
  ensure_folder(measurements);
  ensure_folder(folder / "pictures");
  const int removed = clear_measurement_folder(measurements);

  write_file(folder / "norvane_foF2.ini", kSettings);

  std::vector<year_month_day> run_days;
  for (int offset = -(kDays - 1); offset <= 0; ++offset)
    run_days.emplace_back(sys_days{run_date} + days{offset});

  std::vector<std::string> forecast_names;
  for (const year_month_day& date : run_days) {
    const std::string name = forecast_file_name(date);
    if (std::find(forecast_names.begin(), forecast_names.end(), name) != forecast_names.end())
      continue;
    write_file(forecasts / name, forecast_file_content(date));
    forecast_names.push_back(name);
  }

  int written = 0;
  for (const year_month_day& date : run_days) {
    for (int minute_of_day = 0; minute_of_day < 24 * 60; minute_of_day += kMinutesBetweenFiles) {
      if (sys_days{date} + minutes{minute_of_day} > last_measurement) break;
      write_file(measurements / measurement_file_name(date, minute_of_day),
                 measurement_file_content(date, minute_of_day));
      ++written;
    }
  }

  std::string forecast_list;
  for (const std::string& name : forecast_names)
    forecast_list += (forecast_list.empty() ? "" : ", ") + name;
  std::cout << kProgram << ": wrote " << in_quotes(folder) << ": norvane_foF2.ini, forecasts "
            << forecast_list << ", " << written << " Rome measurement files for "
            << date_label(run_days.front()) << " to " << date_label(run_days.back())
            << (for_today ? " (up to now, UT)" : "") << " (" << removed
            << " earlier ones removed)\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {
    std::cerr << kProgram << ": " << error.what() << '\n';
    return 1;
  }
}
