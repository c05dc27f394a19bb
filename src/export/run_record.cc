// SPDX-License-Identifier: MIT
#include "export/run_record.h"

#include <cstdio>

#include "archive/json_file.h"
#include "driver/version.h"
#include "state/file_names.h"
#include "util/iso_date.h"

namespace norvane {
namespace {

using std::chrono::year_month_day;

constexpr std::string_view record_format = "norvane_foF2 run record";

std::string two_digits(long value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02ld", value % 100);
  return text;
}

// "2026-12-05T14:35:02Z".
std::string utc_time_text(std::chrono::sys_seconds time) {
  const auto day = std::chrono::floor<std::chrono::days>(time);
  const std::chrono::hh_mm_ss clock{time - day};
  return iso_date(year_month_day{day}) + "T" + two_digits(clock.hours().count()) + ":" +
         two_digits(clock.minutes().count()) + ":" + two_digits(clock.seconds().count()) + "Z";
}

std::string_view picture_outcome(DaySummary::Picture picture) {
  switch (picture) {
    case DaySummary::Picture::written:
      return "written";
    case DaySummary::Picture::unchanged:
      return "unchanged";
    case DaySummary::Picture::kept:
      return "kept";
    case DaySummary::Picture::failed:
      return "failed";
    case DaySummary::Picture::not_written:
      break;
  }
  return "not_written";
}

}  // namespace

void write_run_record(const std::string& picture_dir, const RunSummary& summary,
                      Diagnostics& diagnostics) {
  Json days = Json::array();
  for (const DaySummary& day : summary.days) {
    days.push_back({{"slot", day.slot},
                    {"date", iso_date(day.date)},
                    {"date_label", day.date_label},
                    {"current_picture", day.current_name},
                    {"archive_picture", day.archive_name},
                    {"current", picture_outcome(day.current)},
                    {"archive", picture_outcome(day.archive)},
                    {"measurements", measurements_of(day)},
                    {"newest", newest_of(day)}});
  }
  const Json record = {{"format", record_format},
                       {"version", json_format_version},
                       {"program", "norvane_foF2 " + std::string(program_version)},
                       {"station", summary.station},
                       {"station_folder", summary.station_folder},
                       {"today", iso_date(summary.today)},
                       {"run_started", utc_time_text(summary.started)},
                       {"run_finished", utc_time_text(summary.finished)},
                       {"success", summary.success},
                       {"days", std::move(days)}};
  const std::string path = picture_dir + std::string(file_names::run_record);
  report_write(write_json(path, record, 2, true), "run record", path, diagnostics);
}

}  // namespace norvane
