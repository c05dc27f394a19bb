// SPDX-License-Identifier: MIT
#include "export/run_record.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "support/messages.h"
#include "support/temp_folder.h"

namespace norvane {
namespace {

using namespace std::chrono;
using Json = nlohmann::json;
using Picture = DaySummary::Picture;

DaySummary day_of(year_month_day date, Picture archive, int with_value = 0) {
  DaySummary day;
  day.date = date;
  const auto doy = (sys_days{date} - sys_days{date.year() / January / 1}).count() + 1;
  char name[32];
  std::snprintf(name, sizeof name, "%04d%03d.gif", static_cast<int>(date.year()),
                static_cast<int>(doy));
  day.archive_name = name;
  day.archive = archive;
  day.figures.with_value = with_value;
  return day;
}

Json json_in(const testing::TempFolder& folder, const std::string& name) {
  return Json::parse(folder.read(name));
}

TEST(RunRecord, SaysWhatTheRunDrewAndReportsAFolderItCannotWrite) {
  testing::TempFolder folder;
  RunSummary summary;
  summary.station = "Rome \xff station";  // not UTF-8
  summary.station_folder = "rome";
  summary.today = 2026y / December / 10d;
  summary.started = sys_days{2026y / December / 10d} + 14h + 35min + 2s;
  summary.finished = summary.started + 1s;
  summary.success = true;
  DaySummary day = day_of(2026y / December / 5d, Picture::unchanged, 90);
  day.slot = 1;
  day.date_label = "05/12/2026";
  day.current_name = "plotfoF21.gif";
  day.current = Picture::written;
  day.figures.without_value = 6;
  day.figures.newest = NewestMeasurement{23 * 60 + 45, 7.3, std::nullopt, 7.55, -3.3};
  day.extremes.lowest = MeasuredValue{4 * 60 + 15, 2.4};
  day.extremes.highest = MeasuredValue{13 * 60, 11.0};
  day.figures.mean_deviation_percent = -0.8;
  summary.days.push_back(day);
  day.figures.newest->value_mhz.reset();  // the newest measurement gave no value
  day.figures.newest->forecast_mhz = 8.1;
  day.figures.newest->deviation_percent.reset();
  day.drawn_from = DrawnFrom::folder_and_record;
  summary.days.push_back(day);
  summary.days.push_back(day_of(2026y / December / 10d, Picture::failed));  // nothing drawn
  summary.archive = ArchiveRange{2025y / December / 8d, 2026y / December / 10d};

  std::ostringstream messages;
  Diagnostics diagnostics(testing::into(messages));
  write_run_record(folder.path(), summary, diagnostics);
  EXPECT_FALSE(diagnostics.failed()) << messages.str();
  const Json record = json_in(folder, "plotfoF2.json");
  EXPECT_EQ(record["format"], "norvane_foF2 run record");
  EXPECT_EQ(record["version"], 1);
  EXPECT_EQ(record["station"], "Rome \xef\xbf\xbd station");
  EXPECT_EQ(record["today"], "2026-12-10");
  EXPECT_EQ(record["run_started"], "2026-12-10T14:35:02Z");
  EXPECT_EQ(record["run_finished"], "2026-12-10T14:35:03Z");
  EXPECT_EQ(record["days"][0],
            Json::parse(R"({"slot": 1, "date": "2026-12-05", "date_label": "05/12/2026",
              "current_picture": "plotfoF21.gif", "archive_picture": "2026339.gif",
              "current": "written", "archive": "unchanged", "drawn_from": "folder",
              "measurements": {"with_value": 90, "without_value": 6},
              "newest": {"time": "23:45", "value_mhz": 7.3, "forecast_mhz": null,
                         "curve_mhz": 7.55, "deviation_percent": -3.3},
              "lowest": {"time": "04:15", "value_mhz": 2.4},
              "highest": {"time": "13:00", "value_mhz": 11.0},
              "mean_deviation_percent": -0.8})"));
  EXPECT_EQ(record["days"][1]["newest"],
            Json::parse(R"({"time": "23:45", "value_mhz": null, "forecast_mhz": 8.1,
                            "curve_mhz": 7.55, "deviation_percent": null})"));
  EXPECT_EQ(record["days"][1]["drawn_from"], "folder and record");
  EXPECT_EQ(record["days"][2]["newest"], nullptr);
  EXPECT_EQ(record["days"][2]["archive"], "failed");
  EXPECT_EQ(record["days"][2]["lowest"], nullptr);
  EXPECT_EQ(record["days"][2]["mean_deviation_percent"], nullptr);
  EXPECT_EQ(record["archive"], Json::parse(R"({"first": "2025-12-08", "last": "2026-12-10"})"));

  summary.archive.reset();  // the archive's range could not be told
  write_run_record(folder.path(), summary, diagnostics);
  EXPECT_EQ(json_in(folder, "plotfoF2.json")["archive"], nullptr);

  write_run_record(folder / "missing/", summary, diagnostics);
  EXPECT_TRUE(diagnostics.failed());
  EXPECT_NE(messages.str().find("cannot write run record \"" + folder.path() +
                                "missing/plotfoF2.json\": No such file or directory"),
            std::string::npos)
      << messages.str();
}

}  // namespace
}  // namespace norvane
