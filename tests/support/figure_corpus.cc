// SPDX-License-Identifier: MIT
#include "support/figure_corpus.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <optional>
#include <stdexcept>

#include "driver/day_table.h"
#include "support/station_files.h"

namespace norvane::testing {
namespace {

using namespace std::chrono;

void write_file(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

void prepare_folders(const std::string& folder) {
  write_file(folder + "norvane_foF2.ini",
             "forecasts\r\nfc\\\r\nmeasurements\r\nobs\\\r\npictures\r\nwww\\\r\n");
  std::filesystem::create_directories(folder + "fc/previous_foF2_plots");
  std::filesystem::create_directories(folder + "obs");
  std::filesystem::create_directories(folder + "www");
}

// A smooth day: about 3 MHz before dawn, 9 to 11 MHz in the afternoon, shifted by `shift`.
double daily_curve(double hour, double shift) {
  return 6.5 + shift - 3.5 * std::cos((hour - 2.0) * 2 * std::numbers::pi / 24.0);
}

using ForecastValues = std::array<std::optional<double>, 24>;

ForecastValues forecast_values(double shift) {
  ForecastValues values;
  for (int hour = 0; hour < 24; ++hour) values[hour] = daily_curve(hour, shift);
  return values;
}

// A forecast file; an hour without a value is a blank field.
std::string forecast_text(const ForecastValues& values) {
  std::string line;
  for (const auto& value : values) {
    line += ' ';
    line += value ? value_field(*value) : "    ";
  }
  return "monthly median forecast of foF2\r\n" + line + "\r\n";
}

struct StationStyle {
  std::string first_line;
  std::string prefix;
  bool letter_hours;
  bool four_digit_year;
  std::string suffix;
};

const std::array<StationStyle, 6> styles{{
    {"Gibilmanna ionosonde", "", true, false, ".TXT"},
    {"Tucuman ionosonde", "TUJ2O_", false, true, ".TXT"},
    {"Bahia Blanca ionosonde", "BBJ3R_", false, true, ".TXT"},
    {"Rome ionosonde", "RM041_", false, true, "00.TXT"},
    {"La_Spezia ionosonde", "SP044_", false, true, "00.TXT"},
    {"Malindi ionosonde", "ML10L_", false, true, "00.TXT"},
}};

// Writes the measurement files of one station's day.
class StationDay {
 public:
  StationDay(const std::string& folder, int kind, year_month_day date, std::string first_line = "")
      : folder_(folder),
        style_(styles.at(static_cast<std::size_t>(kind - 1))),
        day_(Day::of(date)),
        first_line_(first_line.empty() ? style_.first_line : std::move(first_line)) {}

  void file(int hour, int minute, const std::string& field) const {
    char hour_code[16];
    if (style_.letter_hours) {
      std::snprintf(hour_code, sizeof hour_code, "%c", 'A' + hour);
    } else {
      std::snprintf(hour_code, sizeof hour_code, "%02d", hour);
    }
    char minute_code[16];
    std::snprintf(minute_code, sizeof minute_code, "%02d", minute);
    const std::string year = day_.year_digits(style_.four_digit_year ? 4 : 2);
    write_file(folder_ + "obs/" + style_.prefix + year + day_.doy_code + hour_code + minute_code +
                   style_.suffix,
               measurement_file(first_line_, field));
  }
  void value(int hour, int minute, double mhz) const { file(hour, minute, value_field(mhz)); }
  // A value every `step` minutes from `from_hour` to before `to_hour`, following the curve.
  void every(int step, int from_hour, int to_hour, double shift) const {
    for (int minute = from_hour * 60; minute < to_hour * 60; minute += step) {
      value(minute / 60, minute % 60, daily_curve(minute / 60.0, shift));
    }
  }

 private:
  std::string folder_;
  const StationStyle& style_;
  Day day_;
  std::string first_line_;
};

year_month_day day_before(year_month_day today, int days_before) {
  return year_month_day{sys_days{today} - days{days_before}};
}

// Every rule of drawing in one run of a Rome station: joined traces, gaps, dots too far apart
// to join, measurements without a value, a value of 0, values off the scale and beyond the
// frame, the right edge and the hh:00 slot drawn last, a day without files, a forecast with
// gaps and a month without one.
void prepare_rules(const std::string& folder, year_month_day today) {
  // February's forecast has gaps and goes over the top at 20:00; March's is missing.
  ForecastValues february = forecast_values(1.0);
  february[5] = february[6] = february[15] = std::nullopt;
  february[20] = 20.5;
  write_file(folder + "fc/022026.txt", forecast_text(february));
  const auto day = [&](int before) { return StationDay(folder, 4, day_before(today, before)); };

  const StationDay joined = day(5);
  joined.every(15, 0, 24, 0.0);
  joined.file(6, 15, "N/A ");
  joined.file(12, 45, "N/A ");

  const StationDay gaps = day(4);
  gaps.every(15, 0, 6, 0.5);
  gaps.every(30, 9, 13, 0.5);
  gaps.every(20, 13, 17, 0.5);
  gaps.file(17, 5, "N/A ");
  gaps.file(17, 25, "ab.c");
  gaps.file(17, 45, "1E.9");
  gaps.value(18, 30, 0.0);
  gaps.value(18, 45, 7.5);
  gaps.value(19, 0, 7.0);
  gaps.every(10, 20, 24, 0.5);

  const StationDay edges = day(3);
  edges.value(0, 1, 4.0);
  edges.value(0, 0, 4.5);
  edges.value(1, 0, 19.9);
  edges.value(1, 15, 19.0);
  edges.value(2, 0, 21.0);
  edges.value(2, 15, 25.0);
  edges.file(2, 30, "99.9");
  edges.file(3, 0, "-3.0");
  edges.file(3, 15, "  .5");
  edges.value(4, 0, 0.0);
  edges.every(15, 5, 22, -1.0);
  // 22:58 lands on 23:00's x; 23:58 and 23:59 on the right border; 23:00 comes last.
  edges.value(22, 58, 6.0);
  for (const int minute : {45, 50, 55, 57, 58, 59, 0}) edges.value(23, minute, 6.0 + minute / 20.0);
  // day(2): no file at all
  day(1).every(15, 0, 24, 1.0);
  for (int hour = 0; hour < 24; ++hour) day(0).file(hour, 10, "N/A ");
}

// Two days of December and four of January from a station whose names carry two-digit years.
void prepare_year_turn(const std::string& folder, year_month_day today) {
  write_file(folder + "fc/122025.txt", forecast_text(forecast_values(-1.0)));
  write_file(folder + "fc/012026.txt", forecast_text(forecast_values(0.5)));
  for (int before = 0; before < 6; ++before) {
    StationDay(folder, 1, day_before(today, before)).every(20, 0, 24, 0.3 * before - 0.8);
  }
}

// A station of style `kind`, each day a different stretch of the day.
void prepare_style(const std::string& folder, year_month_day today, int kind) {
  write_file(folder + "fc/062026.txt", forecast_text(forecast_values(0.2 * kind)));
  // Style 1 has three keys; its case takes the one with a leading blank.
  const std::string first_line = kind == 1 ? " (la station" : "";
  for (int before = 0; before < 6; ++before) {
    StationDay(folder, kind, day_before(today, before), first_line)
        .every(15, before + kind - 1, 24 - before, 0.4 * kind - 1.2 + 0.1 * before);
  }
}

void run_demo_tool(const std::string& tool, const std::string& folder, year_month_day today) {
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02u-%02u", static_cast<int>(today.year()),
                static_cast<unsigned>(today.month()), static_cast<unsigned>(today.day()));
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int null_fd = ::open("/dev/null", O_WRONLY);
    if (null_fd >= 0) ::dup2(null_fd, STDOUT_FILENO);
    ::execl(tool.c_str(), tool.c_str(), folder.c_str(), date, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(tool + " failed for " + folder);
  }
}

}  // namespace

std::vector<CorpusCase> corpus_cases() {
  std::vector<CorpusCase> cases{{"demo", 2026y / April / 20d},
                                {"rules", 2026y / March / 2d},
                                {"year_turn", 2026y / January / 2d}};
  for (int kind = 1; kind <= 6; ++kind) {
    cases.push_back({"style" + std::to_string(kind), 2026y / June / 15d});
  }
  return cases;
}

void prepare_corpus_case(const CorpusCase& corpus_case, const std::string& folder,
                         const std::string& demo_tool) {
  const std::string& name = corpus_case.name;
  if (name == "demo") return run_demo_tool(demo_tool, folder, corpus_case.today);
  prepare_folders(folder);
  if (name == "rules") return prepare_rules(folder, corpus_case.today);
  if (name == "year_turn") return prepare_year_turn(folder, corpus_case.today);
  if (name.starts_with("style")) {
    return prepare_style(folder, corpus_case.today, std::stoi(name.substr(5)));
  }
  throw std::invalid_argument("no corpus case " + name);
}

}  // namespace norvane::testing
